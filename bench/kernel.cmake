# Real-time factor of the synth kernel per wave.
orbel_add_bench(bench_kernel
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel_bench.cpp
  LIBS orbel_kernel)
# Every single-precision phase of the voice's sine against the C library
# (run by hand, about a minute; see docs/voice.md).
if(ORBEL_BUILD_BENCH AND NOT ORBEL_FUZZ AND ORBEL_SANITIZE STREQUAL "")
  add_executable(sine_check ${CMAKE_CURRENT_LIST_DIR}/sine_check.cpp)
  target_link_libraries(sine_check PRIVATE orbel_common orbel_kernel Threads::Threads)
endif()
