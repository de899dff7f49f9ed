# No folder includes from a folder above it in docs/architecture.md's table
# (tests/layers/check_layers.py). Run once, in the plain tree.
if(NOT ORBEL_WANT_TESTS OR NOT ORBEL_SANITIZE STREQUAL "")
  return()
endif()
add_test(NAME layers_follow_architecture
  COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/layers/check_layers.py ${PROJECT_SOURCE_DIR})
set_tests_properties(layers_follow_architecture PROPERTIES LABELS docs)
