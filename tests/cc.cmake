# CC resolution and takeover; CC map publication and the activity feed.
orbel_add_test(cc_resolve_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cc/cc_resolve_test.cpp
  LIBS orbel_ccmap)
orbel_add_test(cc_activity_feed_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cc/cc_activity_feed_test.cpp
  LIBS orbel_ccmap)
# Replaces the global allocation functions to inject failures and count
# frees, which would fight a sanitizer's own allocator: plain trees only.
if(ORBEL_SANITIZE STREQUAL "")
  orbel_add_test(cc_map_store_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cc/cc_map_store_test.cpp
    LIBS orbel_ccmap)
endif()
orbel_add_test(cc_concurrency_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cc/cc_concurrency_test.cpp
  LIBS orbel_ccmap
  CONCURRENCY)
