# Kernel host engine tests. The engine is exercised through a scriptable test
# kernel (tests/engine/test_kernel.cpp) bound in place of the product kernel.
set(engine_test_kernel ${CMAKE_CURRENT_SOURCE_DIR}/engine/test_kernel.cpp)

orbel_add_test(engine_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/engine/setup_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/engine/queue_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/engine/render_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/engine/adapter_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/engine/diagnostics_test.cpp
    ${engine_test_kernel}
  LIBS orbel_engine)

orbel_add_test(engine_realtime_test PLAIN_ONLY
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/engine/alloc_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/support/alloc_guard.cpp
    ${engine_test_kernel}
  LIBS orbel_rt_guard orbel_engine ${CMAKE_DL_LIBS})

orbel_add_test(engine_trace_test NO_MAIN
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/engine/trace_test.cpp
    ${engine_test_kernel}
  LIBS orbel_engine)

orbel_add_test(engine_concurrency_test CONCURRENCY
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/engine/concurrency_test.cpp
    ${engine_test_kernel}
  LIBS orbel_engine)

# With the product kernel linked in.
if(TARGET orbel_kernel OR EXISTS ${PROJECT_SOURCE_DIR}/kernel/CMakeLists.txt)
  orbel_add_test(engine_product_kernel_test
    SOURCES
      ${CMAKE_CURRENT_SOURCE_DIR}/engine/product_kernel_test.cpp
      ${CMAKE_CURRENT_SOURCE_DIR}/support/alloc_guard.cpp
    LIBS orbel_rt_guard orbel_engine orbel_kernel ${CMAKE_DL_LIBS})
endif()

# The test kernel as a library for the engine fuzzer.
if(ORBEL_FUZZ)
  add_library(orbel_engine_test_kernel STATIC ${engine_test_kernel})
  target_link_libraries(orbel_engine_test_kernel PUBLIC orbel_common)
endif()

# Set-ups from several threads at once against the product kernel's
# process-wide instance tables.
if(TARGET orbel_kernel OR EXISTS ${PROJECT_SOURCE_DIR}/kernel/CMakeLists.txt)
  orbel_add_test(engine_instances_concurrency_test CONCURRENCY
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/engine/instances_concurrency_test.cpp
    LIBS orbel_engine orbel_kernel)
endif()
