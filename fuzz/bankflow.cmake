# Bank flow: the controller's "orbel.loadRuntimeBank" request text.
orbel_add_fuzzer(runtime_bank_request SOURCE ${CMAKE_CURRENT_LIST_DIR}/bankflow/runtime_bank_request_fuzz.cpp
  LIBS orbel_bank_staging)
# The bank control's reading of the processor's runtime bank reply and its
# preset lines.
orbel_add_fuzzer(bank_reply SOURCE ${CMAKE_CURRENT_LIST_DIR}/bankflow/bank_reply_fuzz.cpp LIBS orbel_editor)
