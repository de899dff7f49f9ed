# Bank flow: engine publication of banks and pad overrides, staged bank
# replies and recall, the processor's bank and pad-override handling.
orbel_add_test(bankflow_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bankflow/publication_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bankflow/staged_bank_test.cpp
  LIBS orbel_engine orbel_bank_staging)

orbel_add_test(bankflow_concurrency_test CONCURRENCY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bankflow/concurrency_test.cpp
  LIBS orbel_engine)

orbel_add_test(bankflow_realtime_test PLAIN_ONLY
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bankflow/realtime_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/alloc_guard.cpp
  LIBS orbel_rt_guard orbel_engine ${CMAKE_DL_LIBS})

if(TARGET orbel_plugin)
  orbel_add_test(bankflow_processor_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bankflow/processor_bank_test.cpp
    LIBS orbel_plugin)
endif()
