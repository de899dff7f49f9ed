# Main-thread cost of the state document (save and restore) and of skipping.
orbel_add_bench(json_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json/json_bench.cpp
  LIBS orbel_state)
