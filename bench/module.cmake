# Processor block cost.
if(TARGET orbel_plugin)
  orbel_add_bench(bench_processor SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/module/processor_bench.cpp
    LIBS orbel_plugin orbel_kernel)
endif()
