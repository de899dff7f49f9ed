# The editor page (ui/) in headless Chromium: Debian's chromium driven by npm
# playwright-core (tests/page/package-lock.json, installed into the build tree
# by the page_npm_ci fixture; no browser download). page_check gives the tests
# the real announcements and the controller's own readers. Main tree only:
# sanitizers add nothing to a browser test.
if(NOT ORBEL_WANT_TESTS OR NOT ORBEL_SANITIZE STREQUAL "")
  return()
endif()
set(page_dir ${CMAKE_CURRENT_LIST_DIR}/page)

add_executable(page_check ${page_dir}/page_check.cpp)
target_link_libraries(page_check PRIVATE orbel_common orbel_editor)

find_program(ORBEL_NODE node)
find_program(ORBEL_NPM npm)
if(NOT ORBEL_NODE OR NOT ORBEL_NPM)
  message(STATUS "page tests off: node or npm not found (scripts/deps.sh test installs them)")
  return()
endif()

# The page as the bundle ships it when the module is built, else the source.
if(TARGET orbel_ui)
  get_target_property(page_ui orbel_ui ORBEL_UI_DIR)
else()
  set(page_ui ${PROJECT_SOURCE_DIR}/ui)
endif()

set(page_node ${CMAKE_BINARY_DIR}/page-node)
add_test(NAME page_npm_ci COMMAND bash ${page_dir}/install.sh ${page_dir} ${page_node})
set_tests_properties(page_npm_ci PROPERTIES FIXTURES_SETUP page_node LABELS page TIMEOUT 300)

foreach(suite controls announcements ccmap panels layout preload)
  add_test(NAME page_${suite} COMMAND ${ORBEL_NODE} --test ${page_dir}/${suite}.test.mjs)
  set_tests_properties(page_${suite} PROPERTIES
    LABELS page
    FIXTURES_REQUIRED page_node
    RESOURCE_LOCK chromium
    TIMEOUT 300
    ENVIRONMENT "ORBEL_UI_DIR=${page_ui};ORBEL_PAGE_NODE=${page_node};ORBEL_PAGE_CHECK=$<TARGET_FILE:page_check>;ORBEL_PAGE_SHOTS=${CMAKE_BINARY_DIR}/page-shots")
endforeach()
