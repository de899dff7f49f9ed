# Parameter text typed by the user in the host (fromString), in ASCII and UTF-16.
orbel_add_fuzzer(param_text SOURCE ${CMAKE_CURRENT_LIST_DIR}/params/param_text_fuzz.cpp LIBS orbel_params)
