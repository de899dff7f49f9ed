# The editor's readers of outside data: the lines the web view helper and the
# plug-in send each other, the paths the page asks the "orbel-ui" scheme
# for, and the UI manifest.
orbel_add_fuzzer(webview_pipe
  SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/webview/webview_pipe_fuzz.cpp
  LIBS orbel_webview_protocol)
orbel_add_fuzzer(ui_scheme_path
  SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/webview/ui_scheme_path_fuzz.cpp
  LIBS orbel_editor)
orbel_add_fuzzer(ui_manifest
  SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/webview/ui_manifest_fuzz.cpp
  LIBS orbel_editor)
