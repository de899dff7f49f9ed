# JSON primitives, state document, CC map document, pad overrides.
orbel_add_test(json_primitives_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json/json_primitives_test.cpp ${CMAKE_CURRENT_LIST_DIR}/json/line_safe_test.cpp
  LIBS orbel_json_primitives)
orbel_add_test(json_cc_map_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json/cc_map_test.cpp
  LIBS orbel_ccmap)
orbel_add_test(json_pad_overrides_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json/pad_overrides_test.cpp
  LIBS orbel_banks)
orbel_add_test(json_state_document_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json/state_document_test.cpp
  LIBS orbel_state)
