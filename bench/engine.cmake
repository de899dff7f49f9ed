# Kernel host engine: the engine's cost around the product kernel (direct path
# and sample-rate adapter path).
if(TARGET orbel_kernel OR EXISTS ${PROJECT_SOURCE_DIR}/kernel/CMakeLists.txt)
  orbel_add_bench(bench_engine
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.cpp
    LIBS orbel_engine orbel_kernel)
endif()
