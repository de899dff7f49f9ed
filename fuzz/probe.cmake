# Readers of outside data in orbel-probe.
if(TARGET orbel_probe_core)
  orbel_add_fuzzer(probe_midi_file SOURCE ${CMAKE_CURRENT_LIST_DIR}/probe/midi_file_fuzz.cpp LIBS orbel_probe_core)
endif()
