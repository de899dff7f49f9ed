#pragma once
// The page in a web view, bridged to the controller: the web view loads the
// UI root's index.html through the "orbel-ui" scheme (every request answered
// by the containment rule of ui_scheme.h), gets the bootstrap script that
// defines window.orbelHost at document start, hands each posted message to
// the controller's BridgeHost, and evaluates each announcement the
// controller sends through its sink. The platform's web view
// (platform/web_view.h) does the showing; this is the same on every
// platform. Everything runs on the run loop's (the host's UI) thread.
#include <cstdint>
#include <memory>
#include <string>

#include "editor/bridge_host.h"
#include "platform/run_loop.h"
#include "platform/web_view.h"

namespace orbel {

// The script injected at document start into the top frame, verbatim.
extern const char kBridgeBootstrapScript[];

// The JavaScript that delivers one announcement to the page, or empty when
// the text cannot be made into script (it is not valid UTF-8).
std::string bridgeDeliveryScript(const std::string& json);

class BridgedWebView final : private WebViewEvents {
public:
  struct Placement {
    uint64_t parentWindow = 0;
    int width = 0;
    int height = 0;
    std::string helperPath;  // see WebViewSetup::helperPath
  };

  // Opens the page of `root` for `host`. Null when there is no host; with a
  // host: null after host->onEditorError("no ui root") for an empty root, and
  // after "webview allocation failed" when the web view cannot start.
  // Otherwise the host's sink delivers to this page and
  // host->onEditorOpened() was called.
  static std::unique_ptr<BridgedWebView> open(BridgeHost* host, const std::string& root,
                                              const Placement& placement, RunLoop& loop);

  // Detaches, in this order: host->onEditorClosed(), the host's sink
  // removed, the page's messages no longer taken, the web view closed.
  ~BridgedWebView();

  void resize(int width, int height);

  // For the editor's status: the process showing the page (0: none), and
  // the steady-clock times (ms) of opening, of the page's first request and
  // of the first hello drawn (0 until then), how many hellos were drawn, and
  // why the web view went away (empty while it works).
  int processId() const { return webView_ ? webView_->processId() : 0; }
  double openedAtMs() const { return openedAtMs_; }
  double firstRequestAtMs() const { return firstRequestAtMs_; }
  double firstHelloDrawnAtMs() const { return firstDrawnAtMs_; }
  uint32_t hellosDrawn() const { return hellosDrawn_; }
  const std::string& failure() const { return failure_; }

  // The steady clock in milliseconds, as the times above count.
  static double nowMs();

private:
  BridgedWebView(BridgeHost* host, std::string root) : host_(host), root_(std::move(root)) {}

  void deliver(const std::string& json);

  void onWebViewMessage(std::string_view text) override;
  void onWebViewRequest(uint64_t request, std::string_view path) override;
  void onWebViewFrame(uint64_t token) override;
  void onWebViewFailed(std::string_view reason) override;

  BridgeHost* host_;
  std::string root_;
  std::unique_ptr<WebView> webView_;
  // Lets the sink tell whether this view still exists: the controller keeps
  // a copy of the sink until it is replaced.
  std::shared_ptr<BridgedWebView*> self_;
  uint64_t helloToken_ = 0;  // the frame request after the last hello
  double openedAtMs_ = 0;
  double firstRequestAtMs_ = 0;
  double firstDrawnAtMs_ = 0;
  uint32_t hellosDrawn_ = 0;
  std::string failure_;
};

}  // namespace orbel
