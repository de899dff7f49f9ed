# Diagnostics: records and ring, health report, lifecycle log, host facts.
orbel_add_test(diagnostics_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/diagnostics/runtime_diagnostics_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/diagnostics/runtime_health_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/diagnostics/lifecycle_log_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/diagnostics/host_facts_test.cpp
  LIBS orbel_diagnostics)

# The transport ring is crossed by the audio thread: also run under TSan.
orbel_add_test(diagnostics_transport_ring_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/diagnostics/transport_ring_test.cpp
  LIBS orbel_diagnostics
  CONCURRENCY)
