# Sample banks: WAV decoding, asset verification, the sound pack loader.
orbel_add_test(banks_wav_decoder_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/banks/wav_decoder_test.cpp
  LIBS orbel_banks)
orbel_add_test(banks_asset_verify_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/banks/asset_verify_test.cpp
  LIBS orbel_banks)
orbel_add_test(banks_sound_pack_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/banks/sound_pack_test.cpp
  LIBS orbel_banks)
