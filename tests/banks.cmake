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

# Hosted banks: downloads from a loopback https server the tests start
# (tests/banks/https_bank_server.py, which makes its own certificate
# authority), of archives made by tests/banks/make_bank_zips.py.
orbel_add_test(banks_hosted_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/banks/hosted_bank_test.cpp
  LIBS orbel_banks)
orbel_add_test(banks_hosted_fetcher_test CONCURRENCY
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/banks/hosted_bank_fetcher_test.cpp
  LIBS orbel_banks)
foreach(t banks_hosted_test banks_hosted_fetcher_test)
  if(TARGET ${t})
    target_compile_definitions(${t} PRIVATE ORBEL_TEST_SCRIPTS="${CMAKE_CURRENT_LIST_DIR}/banks")
  endif()
endforeach()
