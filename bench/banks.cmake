# Cost of loading sample banks: WAV decoding, hashing and a whole pack load.
orbel_add_bench(banks_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/banks/banks_bench.cpp
  LIBS orbel_banks)
