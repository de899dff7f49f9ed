# The edit controller's readers of outside data: state streams and the
# processor's message payloads.
if(TARGET orbel_plugin)
  orbel_add_fuzzer(controller_input
    SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/controller/controller_fuzz.cpp
    LIBS orbel_plugin orbel_kernel)
endif()
