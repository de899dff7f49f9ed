# Editor bridge: the page's message grammar (no SDK needed), and the
# controller's dispatch and announcements as the page sees them; the UI
# scheme and manifest; the editor view with a stand-in for the web view
# helper.
orbel_add_test(bridge_message_test
  SOURCES editor/bridge_message_test.cpp editor/ui_root_test.cpp editor/ui_scheme_test.cpp
          editor/ui_manifest_test.cpp
  LIBS orbel_editor
  LABELS editor)

orbel_add_test(bank_control_test
  SOURCES editor/bank_control_test.cpp
  LIBS orbel_editor
  LABELS editor)
# Speaks the helper's side of the web view's line protocol without a window
# (the editor view's tests and the platform's use it).
if(ORBEL_WANT_TESTS AND NOT ORBEL_SANITIZE STREQUAL "thread")
  add_executable(fake_webview_helper ${CMAKE_CURRENT_LIST_DIR}/editor/fake_webview_helper.cpp)
  target_link_libraries(fake_webview_helper PRIVATE orbel_common orbel_webview_protocol)
endif()

if(ORBEL_BUILD_PLUGIN AND TARGET orbel_plugin)
  orbel_add_test(bridge_controller_test
    SOURCES editor/bridge_dispatch_test.cpp editor/announcements_test.cpp editor/cadence_test.cpp
            editor/bank_bridge_test.cpp
    LIBS orbel_plugin orbel_kernel
    LABELS editor)

  if(TARGET bridge_controller_test AND TARGET fake_webview_helper)
    orbel_add_test(editor_view_test
      SOURCES editor/web_view_plug_view_test.cpp ${PROJECT_SOURCE_DIR}/tools/probe_run_loop.cpp
      LIBS orbel_plugin orbel_kernel
      LABELS editor)
    target_compile_definitions(editor_view_test PRIVATE ORBEL_FAKE_HELPER="$<TARGET_FILE:fake_webview_helper>")
    add_dependencies(editor_view_test fake_webview_helper)
  endif()
endif()

# The built module's editor with the real helper, under an X server of the
# test's own, and end to end through orbel-probe with the mouse (xdotool).
if(ORBEL_WANT_TESTS AND TARGET orbel_probe_editor AND TARGET Mirel AND TARGET orbel-webview)
  add_executable(editor_xvfb_test ${CMAKE_CURRENT_LIST_DIR}/editor/editor_xvfb_test.cpp)
  target_link_libraries(editor_xvfb_test PRIVATE orbel_common orbel_probe_editor GTest::gtest GTest::gtest_main)
  target_compile_definitions(editor_xvfb_test PRIVATE ORBEL_BUNDLE_PATH="${CMAKE_BINARY_DIR}/Mirel.vst3")
  add_dependencies(editor_xvfb_test Mirel)
  add_test(NAME editor_xvfb_test
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/support/with_xvfb.sh $<TARGET_FILE:editor_xvfb_test>)
  add_test(NAME editor_end_to_end
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/support/with_xvfb.sh ${CMAKE_CURRENT_LIST_DIR}/editor/editor_e2e.sh
            $<TARGET_FILE:orbel-probe> ${CMAKE_BINARY_DIR}/Mirel.vst3 ${CMAKE_BINARY_DIR}/editor-e2e)
  set_tests_properties(editor_xvfb_test editor_end_to_end PROPERTIES
    LABELS "editor;xvfb" SKIP_RETURN_CODE 77 TIMEOUT 600 RESOURCE_LOCK webview)
endif()
