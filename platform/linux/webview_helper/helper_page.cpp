#include "platform/linux/webview_helper/helper_page.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstring>

namespace orbel {

namespace {

// Two animation frames after the call, whatever it followed has been drawn.
constexpr const char* kFrameScript =
    "await new Promise(function (done) { requestAnimationFrame(function () { "
    "requestAnimationFrame(done); }); });"
    "return true;";

// A web page process that ends is started again this often before the
// helper gives up.
constexpr int kMaxRestarts = 2;

void schemeRequest(WebKitURISchemeRequest* request, gpointer page) {
  static_cast<HelperPage*>(page)->onSchemeRequest(request);
}

void scriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer page) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (value == nullptr || !jsc_value_is_string(value)) return;  // only texts are messages
  char* text = jsc_value_to_string(value);
  static_cast<HelperPage*>(page)->onScriptMessage(text);
  g_free(text);
}

struct FrameRequest {
  HelperPage* page;
  uint64_t token;
};

void frameDone(GObject* view, GAsyncResult* result, gpointer data) {
  auto* request = static_cast<FrameRequest*>(data);
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (value != nullptr) {
    request->page->onFrameDrawn(request->token);
    g_object_unref(value);
  }
  if (error != nullptr) g_error_free(error);
  delete request;
}

gboolean buttonPress(GtkWidget*, GdkEventButton* event, gpointer page) {
  static_cast<HelperPage*>(page)->onButtonPress(event->time);
  return FALSE;  // the page gets the press as well
}

void windowDestroyed(GtkWidget*, gpointer page) {
  static_cast<HelperPage*>(page)->onWindowDestroyed();
}

gboolean noContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                       gpointer) {
  return TRUE;
}

void webProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer page) {
  static_cast<HelperPage*>(page)->onWebProcessEnded(static_cast<int>(reason));
}

gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                      gpointer page) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
      type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
    return FALSE;
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  // The editor shows its own page only, never in a second window.
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION ||
      !static_cast<HelperPage*>(page)->allowsNavigationTo(uri)) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  return FALSE;
}

// Hardware rendering only where a GPU render node can be opened.
bool haveGpu() {
  for (int node = 128; node < 136; ++node) {
    char path[32];
    std::snprintf(path, sizeof path, "/dev/dri/renderD%d", node);
    if (::access(path, R_OK | W_OK) == 0) return true;
  }
  return false;
}

Display* xDisplay(GtkWidget* widget) {
  return GDK_DISPLAY_XDISPLAY(gtk_widget_get_display(widget));
}

}  // namespace

bool HelperPage::open(const WebViewPipeMessage& open, std::string& error) {
  if (window_ != nullptr) return true;
  scheme_ = open.scheme;
  // Nothing the page does is kept on disk.
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
  g_object_unref(data);
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  webkit_web_context_register_uri_scheme(context, open.scheme.c_str(), schemeRequest, this,
                                         nullptr);

  WebKitUserContentManager* content = webkit_user_content_manager_new();
  WebKitUserScript* script =
      webkit_user_script_new(open.script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
  const std::string signal = "script-message-received::" + open.handler;
  g_signal_connect(content, signal.c_str(), G_CALLBACK(scriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(content, open.handler.c_str());

  webView_ = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                     "user-content-manager", content, nullptr));
  g_object_unref(context);
  g_object_unref(content);
  if (webView_ == nullptr) {
    error = "the web view could not be created";
    return false;
  }
  WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(webView_));
  if (!haveGpu())
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, TRUE);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  GdkRGBA dark = {0.07, 0.08, 0.10, 1.0};  // the page's own background, shown until it paints
  webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(webView_), &dark);
  g_signal_connect(webView_, "context-menu", G_CALLBACK(noContextMenu), this);
  g_signal_connect(webView_, "decide-policy", G_CALLBACK(decidePolicy), this);
  g_signal_connect(webView_, "web-process-terminated", G_CALLBACK(webProcessTerminated), this);
  g_signal_connect(webView_, "button-press-event", G_CALLBACK(buttonPress), this);
  // Loading starts WebKit's page process, which takes longest; the window
  // is set up while it starts.
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(webView_), open.url.c_str());

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), TRUE);
  gtk_window_set_skip_pager_hint(GTK_WINDOW(window_), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(window_), open.width, open.height);
  gtk_container_add(GTK_CONTAINER(window_), webView_);
  g_signal_connect(window_, "destroy", G_CALLBACK(windowDestroyed), this);
  gtk_widget_realize(window_);

  // Into the host's window before it is ever mapped, so no window manager
  // takes it as a toplevel of its own.
  GdkDisplay* display = gtk_widget_get_display(window_);
  xid_ = GDK_WINDOW_XID(gtk_widget_get_window(window_));
  const Window parent = static_cast<Window>(open.window);
  gdk_x11_display_error_trap_push(display);
  XWindowAttributes attributes;
  const bool parentExists = XGetWindowAttributes(xDisplay(window_), parent, &attributes) != 0;
  if (parentExists) XReparentWindow(xDisplay(window_), xid_, parent, 0, 0);
  XSync(xDisplay(window_), False);
  const int failed = gdk_x11_display_error_trap_pop(display);
  if (!parentExists || failed != 0) {
    error = "the host's window " + std::to_string(open.window) + " cannot take the editor";
    return false;
  }
  gtk_widget_show_all(window_);
  resize(open.width, open.height);
  return true;
}

void HelperPage::handle(const WebViewPipeMessage& command) {
  switch (command.kind) {
    case WebViewPipeKind::Eval:
      if (webView_ != nullptr)
        webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(webView_), command.script.data(),
                                            static_cast<gssize>(command.script.size()), nullptr,
                                            nullptr, nullptr, nullptr, nullptr);
      break;
    case WebViewPipeKind::Answer:
      answer(command);
      break;
    case WebViewPipeKind::Fail:
      fail(command);
      break;
    case WebViewPipeKind::Frame:
      if (webView_ != nullptr)
        webkit_web_view_call_async_javascript_function(
            WEBKIT_WEB_VIEW(webView_), kFrameScript, -1, nullptr, nullptr, nullptr, nullptr,
            frameDone, new FrameRequest{this, command.id});
      break;
    case WebViewPipeKind::Resize:
      resize(command.width, command.height);
      break;
    default:
      break;
  }
}

void HelperPage::answer(const WebViewPipeMessage& command) {
  const auto it = pending_.find(command.id);
  if (it == pending_.end()) return;
  WebKitURISchemeRequest* request = it->second;
  pending_.erase(it);
  GBytes* bytes = g_bytes_new(command.data.data(), command.data.size());
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(command.data.size()),
                                   command.text.c_str());
  g_object_unref(stream);
  g_bytes_unref(bytes);
  g_object_unref(request);
}

void HelperPage::fail(const WebViewPipeMessage& command) {
  const auto it = pending_.find(command.id);
  if (it == pending_.end()) return;
  WebKitURISchemeRequest* request = it->second;
  pending_.erase(it);
  GError* error = g_error_new(g_quark_from_static_string("orbel-ui-scheme"), command.code,
                              "not served (%d)", command.code);
  webkit_uri_scheme_request_finish_error(request, error);
  g_error_free(error);
  g_object_unref(request);
}

void HelperPage::resize(int width, int height) {
  if (window_ == nullptr) return;
  gtk_window_resize(GTK_WINDOW(window_), width, height);
  GdkDisplay* display = gtk_widget_get_display(window_);
  gdk_x11_display_error_trap_push(display);
  XResizeWindow(xDisplay(window_), xid_, static_cast<unsigned>(width),
                static_cast<unsigned>(height));
  XFlush(xDisplay(window_));
  gdk_x11_display_error_trap_pop_ignored(display);
}

void HelperPage::onSchemeRequest(WebKitURISchemeRequest* request) {
  const uint64_t id = ++nextRequest_;
  const char* path = webkit_uri_scheme_request_get_path(request);
  pending_[id] = WEBKIT_URI_SCHEME_REQUEST(g_object_ref(request));
  WebViewPipeMessage event;
  event.kind = WebViewPipeKind::Request;
  event.id = id;
  event.text = path != nullptr ? path : "";
  if (!channel_.send(event)) _exit(0);
}

void HelperPage::onScriptMessage(const char* text) {
  WebViewPipeMessage event;
  event.kind = WebViewPipeKind::Message;
  event.text = text != nullptr ? text : "";
  if (!channel_.send(event)) _exit(0);
}

void HelperPage::onFrameDrawn(uint64_t token) {
  WebViewPipeMessage event;
  event.kind = WebViewPipeKind::Frame;
  event.id = token;
  if (!channel_.send(event)) _exit(0);
}

void HelperPage::onButtonPress(uint32_t time) {
  // Keys go to the page only after the user clicked into it; the host keeps
  // its keyboard until then.
  if (window_ == nullptr) return;
  GdkDisplay* display = gtk_widget_get_display(window_);
  gdk_x11_display_error_trap_push(display);
  XSetInputFocus(xDisplay(window_), xid_, RevertToParent, time);
  gdk_x11_display_error_trap_pop_ignored(display);
}

void HelperPage::onWindowDestroyed() {
  // The host destroyed its window first. Nothing is left to show; the
  // helper waits for the plug-in to close its pipe.
  window_ = nullptr;
  webView_ = nullptr;
  for (auto& [id, request] : pending_) g_object_unref(request);
  pending_.clear();
}

void HelperPage::onWebProcessEnded(int reason) {
  if (webView_ == nullptr) return;
  if (reason != WEBKIT_WEB_PROCESS_TERMINATED_BY_API && restarts_ < kMaxRestarts) {
    ++restarts_;
    std::fprintf(stderr,
                 "orbel-webview: the page's web process ended (%d); loading the page again\n",
                 reason);
    webkit_web_view_reload(WEBKIT_WEB_VIEW(webView_));
    return;
  }
  WebViewPipeMessage event;
  event.kind = WebViewPipeKind::Failed;
  event.text = "the page's web process ended";
  channel_.send(event);
  _exit(1);
}

bool HelperPage::allowsNavigationTo(const char* uri) const {
  if (uri == nullptr) return false;
  const std::string prefix = scheme_ + "://";
  return std::strncmp(uri, prefix.c_str(), prefix.size()) == 0;
}

}  // namespace orbel
