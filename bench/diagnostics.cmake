# Audio-thread cost of a transport snapshot push, and the main-thread costs of
# draining, lifecycle recording, the health report and parameter text.
orbel_add_bench(diagnostics_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/diagnostics/diagnostics_bench.cpp
  LIBS orbel_diagnostics orbel_params)
