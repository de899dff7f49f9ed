# Editor bridge: the page's message grammar (no SDK needed), and the
# controller's dispatch and announcements as the page sees them.
orbel_add_test(bridge_message_test
  SOURCES editor/bridge_message_test.cpp editor/ui_root_test.cpp
  LIBS orbel_editor
  LABELS editor)

orbel_add_test(bank_control_test
  SOURCES editor/bank_control_test.cpp
  LIBS orbel_editor
  LABELS editor)

if(ORBEL_BUILD_PLUGIN AND TARGET orbel_plugin)
  orbel_add_test(bridge_controller_test
    SOURCES editor/bridge_dispatch_test.cpp editor/announcements_test.cpp editor/cadence_test.cpp
            editor/bank_bridge_test.cpp
    LIBS orbel_plugin orbel_kernel
    LABELS editor)
endif()
