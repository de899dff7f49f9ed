# CC resolution over random maps (read by the document reader, or raw) and
# random controller streams; results must stay in range.
orbel_add_fuzzer(cc_resolve
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/cc/cc_resolve_fuzz.cpp
  LIBS orbel_ccmap)
