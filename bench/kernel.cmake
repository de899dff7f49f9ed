# Real-time factor of the synth kernel per wave.
orbel_add_bench(bench_kernel
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel_bench.cpp
  LIBS orbel_kernel)
