# The editor bridge's reader of outside data: page messages, parsed alone and
# dispatched through a whole controller.
orbel_add_fuzzer(bridge_message
  SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/bridge/bridge_message_fuzz.cpp
  LIBS orbel_editor)
if(TARGET orbel_plugin)
  orbel_add_fuzzer(bridge_dispatch
    SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/bridge/bridge_dispatch_fuzz.cpp
    LIBS orbel_plugin orbel_kernel)
endif()
# The exported bridge functions driving a live controller and processor.
if(TARGET orbel_plugin)
  orbel_add_fuzzer(bridge_exports
    SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/bridge/bridge_exports_fuzz.cpp
    LIBS orbel_plugin orbel_kernel)
endif()
