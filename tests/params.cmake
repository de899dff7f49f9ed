# Parameter table and conversions.
orbel_add_test(params_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/params/param_table_test.cpp
  LIBS orbel_params)
