# Bank flow: the controller's "orbel.loadRuntimeBank" request text.
orbel_add_fuzzer(runtime_bank_request SOURCE ${CMAKE_CURRENT_LIST_DIR}/bankflow/runtime_bank_request_fuzz.cpp
  LIBS orbel_bank_staging)
