# Synth kernel: voice, entry points and tables, traps, the sound under filter
# motion and at a triangle's start, and the bit-exactness
# of the optimised build against an unoptimised one and a plain model.

orbel_add_test(test_kernel_voice
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel/voice_test.cpp
  LIBS orbel_kernel)

orbel_add_test(test_kernel_entry
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel/entry_test.cpp
  LIBS orbel_kernel)

orbel_add_test(test_kernel_sound
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel/sound_test.cpp
  LIBS orbel_kernel)

orbel_add_test(test_kernel_reference
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel/reference_test.cpp
  LIBS orbel_kernel)
if(TARGET test_kernel_reference)
  # The model's roundings are explicit; keep the compiler from fusing around them.
  target_compile_options(test_kernel_reference PRIVATE -ffp-contract=off)
endif()

if(TARGET mirel_kernel_O0)
  orbel_add_test(test_kernel_builds
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel/build_equivalence_test.cpp
    LIBS ${CMAKE_DL_LIBS})
  if(TARGET test_kernel_builds)
    add_dependencies(test_kernel_builds mirel_kernel mirel_kernel_O0)
    target_compile_definitions(test_kernel_builds PRIVATE
      ORBEL_KERNEL_MODULE="$<TARGET_FILE:mirel_kernel>"
      ORBEL_KERNEL_MODULE_O0="$<TARGET_FILE:mirel_kernel_O0>")
  endif()
endif()

orbel_add_test(test_kernel_concurrency
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel/concurrency_test.cpp
  LIBS orbel_kernel
  CONCURRENCY)

orbel_add_test(test_kernel_parameter_table
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel/parameter_table_test.cpp
  LIBS orbel_kernel orbel_params)
