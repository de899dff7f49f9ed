#pragma once
// The page in WebKitGTK, in an undecorated GTK window whose X11 window is
// reparented into the host's window. Requests of the private scheme,
// messages the page posts and drawn frames go to the plug-in through the
// channel; the plug-in's commands come here.
#include <cstdint>
#include <map>
#include <string>

#include "platform/linux/webview_helper/helper_channel.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitURISchemeRequest WebKitURISchemeRequest;

namespace orbel {

class HelperPage {
public:
  explicit HelperPage(HelperChannel& channel) : channel_(channel) {}
  HelperPage(const HelperPage&) = delete;
  HelperPage& operator=(const HelperPage&) = delete;

  // Creates the web view inside the host's window and starts loading.
  // False with a reason when that is not possible.
  bool open(const WebViewPipeMessage& open, std::string& error);
  void handle(const WebViewPipeMessage& command);

  // GTK and WebKit callbacks.
  void onSchemeRequest(WebKitURISchemeRequest* request);
  void onScriptMessage(const char* text);
  void onFrameDrawn(uint64_t token);
  void onButtonPress(uint32_t time);
  void onWindowDestroyed();
  void onWebProcessEnded(int reason);
  bool allowsNavigationTo(const char* uri) const;

private:
  void answer(const WebViewPipeMessage& command);
  void fail(const WebViewPipeMessage& command);
  void resize(int width, int height);

  HelperChannel& channel_;
  GtkWidget* window_ = nullptr;
  GtkWidget* webView_ = nullptr;
  unsigned long xid_ = 0;
  std::string scheme_;
  uint64_t nextRequest_ = 0;
  std::map<uint64_t, WebKitURISchemeRequest*> pending_;
  int restarts_ = 0;
};

}  // namespace orbel
