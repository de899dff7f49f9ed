# Host facts and transport images received in messages, and the JSON made
# from them (host block, delta, change announcement, transport).
orbel_add_fuzzer(host_facts_image SOURCE ${CMAKE_CURRENT_LIST_DIR}/diagnostics/host_facts_image_fuzz.cpp
  LIBS orbel_diagnostics)
