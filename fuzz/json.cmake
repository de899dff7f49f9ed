# Readers of outside JSON: state document, CC map, pad overrides, the document
# model and base64.
orbel_add_fuzzer(state_json SOURCE ${CMAKE_CURRENT_LIST_DIR}/json/state_json_fuzz.cpp LIBS orbel_state)
orbel_add_fuzzer(cc_map_json SOURCE ${CMAKE_CURRENT_LIST_DIR}/json/cc_map_json_fuzz.cpp LIBS orbel_ccmap)
orbel_add_fuzzer(pad_overrides_json SOURCE ${CMAKE_CURRENT_LIST_DIR}/json/pad_overrides_json_fuzz.cpp LIBS orbel_banks)
orbel_add_fuzzer(json_document SOURCE ${CMAKE_CURRENT_LIST_DIR}/json/json_document_fuzz.cpp LIBS orbel_json_primitives)
orbel_add_fuzzer(base64_decode SOURCE ${CMAKE_CURRENT_LIST_DIR}/json/base64_decode_fuzz.cpp LIBS orbel_json_primitives)
