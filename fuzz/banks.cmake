# Readers of outside data in sound packs: WAV bytes, bank manifests with
# instrument and preset documents, and manifest paths.
orbel_add_fuzzer(wav_decode SOURCE ${CMAKE_CURRENT_LIST_DIR}/banks/wav_decode_fuzz.cpp LIBS orbel_banks)
orbel_add_fuzzer(sound_pack SOURCE ${CMAKE_CURRENT_LIST_DIR}/banks/sound_pack_fuzz.cpp LIBS orbel_banks)
orbel_add_fuzzer(bank_paths SOURCE ${CMAKE_CURRENT_LIST_DIR}/banks/bank_paths_fuzz.cpp LIBS orbel_banks)
# Downloaded archives: zip extraction into a folder (seeds written by
# fuzz/banks/make_archive_corpus.py).
orbel_add_fuzzer(archive_extract SOURCE ${CMAKE_CURRENT_LIST_DIR}/banks/archive_extract_fuzz.cpp LIBS orbel_platform)
