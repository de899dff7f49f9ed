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
# on two shared cores it should not compete with the rest of the suite. A
# run takes about 25 s; the timeout leaves room for Ardour steps run again.
set_tests_properties(host_ardour_session PROPERTIES
  LABELS host SKIP_RETURN_CODE 77 TIMEOUT 480 RUN_SERIAL TRUE)
# A failing run (or one that had to run an Ardour step again) is kept with
# its logs, Mirel's traces, the renders and the session.
set_tests_properties(host_ardour_session PROPERTIES ENVIRONMENT "ORBEL_HOST_KEEP=${CMAKE_BINARY_DIR}/host-runs")
