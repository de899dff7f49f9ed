# Mirel in a real DAW: Ardour 7, headless (Dummy backend), driven by its Lua
# session tool and its export tool; plus unit tests of the render checker.
if(NOT ORBEL_WANT_TESTS OR ORBEL_SANITIZE STREQUAL "thread")
  return()
endif()
set(host_dir ${CMAKE_CURRENT_LIST_DIR}/host)

add_library(orbel_host_check STATIC ${host_dir}/wav_file.cpp ${host_dir}/render_check.cpp)
target_link_libraries(orbel_host_check PUBLIC orbel_common)

orbel_add_test(host_render_check_test
  SOURCES ${host_dir}/render_check_test.cpp
  LIBS orbel_host_check
  LABELS host)

# Ardour loads the bundle into its own processes, so only a plain
# (unsanitized) module can go there.
if(NOT ORBEL_BUILD_PLUGIN OR NOT TARGET Mirel OR NOT ORBEL_SANITIZE STREQUAL "")
  return()
endif()

add_executable(mirel_render_check ${host_dir}/render_check_main.cpp)
target_link_libraries(mirel_render_check PRIVATE orbel_host_check)
add_dependencies(mirel_render_check Mirel)

add_test(NAME host_ardour_session
  COMMAND ${host_dir}/play_in_ardour.sh ${CMAKE_BINARY_DIR}/Mirel.vst3 $<TARGET_FILE:mirel_render_check>)
# RUN_SERIAL: the Dummy backend records the placeholder take in real time;
# on two shared cores it should not compete with the rest of the suite.
set_tests_properties(host_ardour_session PROPERTIES
  LABELS host SKIP_RETURN_CODE 77 TIMEOUT 180 RUN_SERIAL TRUE)
# Ardour 7.3's headless export crashes now and then by itself, and a render
# that follows such a crash has been seen to differ; until that is understood
# the session test runs on request (-DORBEL_ARDOUR_SESSION_TEST=ON, or
# `ctest -L host` after configuring with it) and not in the default suite.
option(ORBEL_ARDOUR_SESSION_TEST "Run the headless Ardour session test in the suite" OFF)
if(NOT ORBEL_ARDOUR_SESSION_TEST)
  set_tests_properties(host_ardour_session PROPERTIES DISABLED TRUE)
endif()
