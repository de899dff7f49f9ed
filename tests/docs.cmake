# The commands README.md and docs/ give, run as a new user types them
# (tests/docs/check_commands.sh). They need the built module, probe and
# benchmarks of a plain tree.
if(NOT ORBEL_WANT_TESTS OR NOT ORBEL_SANITIZE STREQUAL "" OR NOT TARGET Mirel OR NOT TARGET orbel-probe)
  return()
endif()
add_test(NAME docs_commands
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/docs/check_commands.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
set_tests_properties(docs_commands PROPERTIES LABELS docs TIMEOUT 300)
