# Helpers shared by every area's CMakeLists.txt.

# Which parts of the tree a flavour builds:
#   main tree       unit tests + benchmarks + plug-in
#   fuzz tree       (ORBEL_FUZZ) fuzz targets, and the unit tests again under
#                   ASan+UBSan (same libraries, no extra compile of them)
#   tsan tree       (ORBEL_SANITIZE=thread) tests marked CONCURRENCY only
option(ORBEL_BUILD_TESTS "Build the unit tests" ON)
set(ORBEL_WANT_TESTS ${ORBEL_BUILD_TESTS})

# No leak suppressions: a leak anywhere fails the test, and LeakSanitizer
# needs no symbolizer to say so.
set(ORBEL_SANITIZER_ENV "UBSAN_OPTIONS=print_stacktrace=1")

set(ORBEL_FUZZ_SECONDS 25 CACHE STRING "Bounded libFuzzer run per target in the test suite")

# orbel_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l1 l2] [CONCURRENCY] [PLAIN_ONLY] [NO_MAIN])
# One GoogleTest executable registered as one CTest test (gtest output is kept
# per executable so a failure names its case). CONCURRENCY marks tests that the
# ThreadSanitizer tree builds and runs as well. PLAIN_ONLY keeps a test out of
# sanitizer trees (e.g. one that interposes malloc, which fights ASan's own).
function(orbel_add_test name)
  cmake_parse_arguments(T "CONCURRENCY;PLAIN_ONLY;NO_MAIN" "" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
  if(NOT ORBEL_WANT_TESTS)
    return()
  endif()
  if(ORBEL_SANITIZE STREQUAL "thread" AND NOT T_CONCURRENCY)
    return()
  endif()
  if(T_PLAIN_ONLY AND NOT ORBEL_SANITIZE STREQUAL "")
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE orbel_common ${T_LIBS} GTest::gtest Threads::Threads)
  if(NOT T_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  set(labels ${T_LABELS})
  if(T_CONCURRENCY)
    list(APPEND labels concurrency)
  endif()
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
  if(NOT ORBEL_SANITIZE STREQUAL "")
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${ORBEL_SANITIZER_ENV}")
  endif()
endfunction()

# orbel_add_fuzzer(name SOURCE f.cpp LIBS ...)
# Builds fuzz_<name> with libFuzzer (fuzz tree only) and registers a bounded
# smoke run over the seed corpus fuzz/corpus/<name>.
function(orbel_add_fuzzer name)
  cmake_parse_arguments(F "" "SOURCE" "LIBS" ${ARGN})
  if(NOT ORBEL_FUZZ)
    return()
  endif()
  add_executable(fuzz_${name} ${F_SOURCE})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_${name} PRIVATE orbel_common ${F_LIBS})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/corpus-run/${name})
  file(MAKE_DIRECTORY ${work})
  add_test(NAME fuzz_${name}
    COMMAND fuzz_${name} -max_total_time=${ORBEL_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
            -print_final_stats=1 ${work} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT 300 ENVIRONMENT "${ORBEL_SANITIZER_ENV}")
endfunction()

# orbel_add_bench(name SOURCES ... LIBS ...)
function(orbel_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ORBEL_BUILD_BENCH OR ORBEL_FUZZ OR NOT ORBEL_SANITIZE STREQUAL "")
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE orbel_common ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()
