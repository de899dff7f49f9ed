# orbel-probe: helper unit tests and host tests that run the built tool
# against the built Mirel bundle and a fake module (render and the bridge
# console).
if(NOT TARGET orbel-probe OR NOT ORBEL_WANT_TESTS)
  return()
endif()
set(probe_dir ${CMAKE_CURRENT_LIST_DIR}/probe)

orbel_add_test(probe_helpers_test
  SOURCES ${probe_dir}/probe_helpers_test.cpp ${probe_dir}/probe_editor_options_test.cpp ${probe_dir}/wav_reader.cpp
  LIBS orbel_probe_host)

if(NOT TARGET probe_helpers_test)
  return()
endif()

# A bundle whose factory has no audio module class.
set(probe_fake_bundle ${CMAKE_CURRENT_BINARY_DIR}/probe/NoAudio.vst3)
add_library(probe_fake_module MODULE ${probe_dir}/fake_module.cpp)
set_target_properties(probe_fake_module PROPERTIES
  PREFIX ""
  OUTPUT_NAME NoAudio
  LIBRARY_OUTPUT_DIRECTORY ${probe_fake_bundle}/Contents/x86_64-linux)
target_link_libraries(probe_fake_module PRIVATE orbel_common orbel_vst3sdk)

if(TARGET Mirel)
  set(probe_have_module 1)
else()
  set(probe_have_module 0)
endif()
orbel_add_test(probe_host_test
  SOURCES ${probe_dir}/probe_host_test.cpp ${probe_dir}/bridge_console_test.cpp ${probe_dir}/wav_reader.cpp
  LIBS orbel_common orbel_json_primitives)
target_compile_definitions(probe_host_test PRIVATE
  ORBEL_PROBE_EXE="$<TARGET_FILE:orbel-probe>"
  ORBEL_TEST_BUNDLE="${CMAKE_BINARY_DIR}/Mirel.vst3"
  ORBEL_FAKE_BUNDLE="${probe_fake_bundle}"
  ORBEL_HAVE_MODULE_TARGET=${probe_have_module})
add_dependencies(probe_host_test orbel-probe probe_fake_module)
if(TARGET Mirel)
  add_dependencies(probe_host_test Mirel)
endif()
