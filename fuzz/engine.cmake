# Host-driven engine input: formats, event streams with any offsets, block
# sizes, state recall, on the direct path and through the sample-rate adapter.
orbel_add_fuzzer(engine_events
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/engine/engine_events_fuzz.cpp
  LIBS orbel_engine orbel_engine_test_kernel)
