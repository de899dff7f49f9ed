# The editor: cold open, page → controller → page round trip, idle CPU of
# the web view helper. Needs an X display: run it through
# tests/support/with_xvfb.sh (docs/benchmarks.md).
if(TARGET orbel_probe_editor AND TARGET orbel_plugin AND TARGET orbel-webview)
  orbel_add_bench(bench_editor SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/editor/editor_bench.cpp
    LIBS orbel_plugin orbel_kernel orbel_probe_editor)
  if(TARGET bench_editor)
    target_compile_definitions(bench_editor PRIVATE ORBEL_BENCH_BUNDLE="${CMAKE_BINARY_DIR}/Mirel.vst3")
    add_dependencies(bench_editor Mirel)
  endif()
endif()
