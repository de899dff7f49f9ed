# The edit controller: in-process tests of the class (with a real processor
# where the two talk), and orbel-probe's host instance against the bundle.
if(NOT ORBEL_BUILD_PLUGIN OR NOT TARGET orbel_plugin)
  return()
endif()

orbel_add_test(controller_test
  SOURCES controller/controller_state_test.cpp controller/controller_host_test.cpp
          controller/controller_messages_test.cpp
  LIBS orbel_plugin orbel_kernel
  LABELS controller)

if(TARGET Mirel AND TARGET orbel_probe_host)
  orbel_add_test(controller_probe_sync_test
    SOURCES controller/probe_sync_test.cpp
    LIBS orbel_probe_host orbel_state
    LABELS controller)
  if(TARGET controller_probe_sync_test)
    target_compile_definitions(controller_probe_sync_test PRIVATE
      ORBEL_BUNDLE_PATH="${CMAKE_BINARY_DIR}/Mirel.vst3")
    add_dependencies(controller_probe_sync_test Mirel)
  endif()
endif()
