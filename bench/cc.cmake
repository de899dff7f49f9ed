# Cost of resolving one control change and of recording activity (audio thread).
orbel_add_bench(cc_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cc/cc_bench.cpp
  LIBS orbel_ccmap)
