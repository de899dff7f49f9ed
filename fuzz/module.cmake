# The processor's readers of outside data: state streams and message payloads.
if(TARGET orbel_plugin)
  orbel_add_fuzzer(processor_state
    SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/module/processor_state_fuzz.cpp
    LIBS orbel_plugin orbel_kernel)
endif()
