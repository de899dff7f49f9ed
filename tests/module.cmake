# Module, factory, processor and parameter objects. Most tests load the built
# bundle through its exported entry points, as a host does.
if(NOT ORBEL_BUILD_PLUGIN OR NOT TARGET Mirel)
  return()
endif()

set(ORBEL_MODULE_BUNDLE ${CMAKE_BINARY_DIR}/Mirel.vst3)
set(ORBEL_MODULE_SO ${ORBEL_MODULE_BUNDLE}/Contents/x86_64-linux/Mirel.so)

function(orbel_module_test name)
  orbel_add_test(${name} ${ARGN})
  if(TARGET ${name})
    target_compile_definitions(${name} PRIVATE ORBEL_BUNDLE_PATH="${ORBEL_MODULE_BUNDLE}")
    target_link_libraries(${name} PRIVATE ${CMAKE_DL_LIBS})
    add_dependencies(${name} Mirel)
    set_tests_properties(${name} PROPERTIES LABELS module)
  endif()
endfunction()

orbel_module_test(module_entry_test
  SOURCES module/module_entry_test.cpp module/bridge_exports_test.cpp
  LIBS orbel_vst3sdk)
orbel_module_test(module_processor_test
  SOURCES module/processor_test.cpp module/render_test.cpp module/host_events_test.cpp
          module/lifecycle_test.cpp
  LIBS orbel_vst3sdk)
orbel_module_test(module_host_trace_test NO_MAIN
  SOURCES module/host_trace_test.cpp
  LIBS orbel_vst3sdk)
orbel_module_test(module_host_sequence_test
  SOURCES module/host_sequence_test.cpp
  LIBS orbel_vst3sdk orbel_state orbel_params)
orbel_module_test(module_state_test
  SOURCES module/state_test.cpp
  LIBS orbel_vst3sdk orbel_state orbel_ccmap orbel_diagnostics)
orbel_module_test(module_realtime_test PLAIN_ONLY
  SOURCES module/realtime_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/support/alloc_guard.cpp
  LIBS orbel_rt_guard orbel_vst3sdk)
orbel_module_test(module_unit_test
  SOURCES module/parameter_test.cpp module/utf16_test.cpp module/module_path_test.cpp
          module/state_stream_test.cpp
  LIBS orbel_plugin)

if(ORBEL_WANT_TESTS AND ORBEL_SANITIZE STREQUAL "")
  add_test(NAME module_exports
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/module/check_exports.sh ${ORBEL_MODULE_SO})
  set_tests_properties(module_exports PROPERTIES LABELS module)
  if(TARGET orbel-webview)
    add_test(NAME module_no_gui_libs
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/module/check_no_gui_libs.sh ${ORBEL_MODULE_SO} $<TARGET_FILE:orbel-webview>)
    set_tests_properties(module_no_gui_libs PROPERTIES LABELS module)
  endif()
  add_test(NAME module_ardour_scan
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/module/scan_with_ardour.sh ${ORBEL_MODULE_BUNDLE})
  set_tests_properties(module_ardour_scan PROPERTIES LABELS module SKIP_RETURN_CODE 77 TIMEOUT 120)
endif()
