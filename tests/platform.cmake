# Platform services: clocks on borrowed run loops, and the host's VST 3 run
# loop behind the platform interface.
orbel_add_test(platform_clock_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/clock_scheduler_test.cpp
  LIBS orbel_platform)
if(TARGET orbel_host_run_loop)
  orbel_add_test(platform_host_run_loop_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/host_run_loop_test.cpp
    LIBS orbel_host_run_loop)
endif()
# The line protocol between the plug-in and its web view helper.
orbel_add_test(platform_webview_pipe_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/webview_pipe_test.cpp
  LIBS orbel_webview_protocol)
if(TARGET fake_webview_helper)
  orbel_add_test(platform_web_view_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/helper_web_view_test.cpp
    LIBS orbel_platform)
  if(TARGET platform_web_view_test)
    target_compile_definitions(platform_web_view_test PRIVATE ORBEL_FAKE_HELPER="$<TARGET_FILE:fake_webview_helper>")
    add_dependencies(platform_web_view_test fake_webview_helper)
  endif()
endif()
# Web view helpers that outlive their view.
orbel_add_test(platform_child_reaper_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/child_reaper_test.cpp
  LIBS orbel_platform)
