#include "editor/bridged_web_view.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "editor/ui_scheme.h"
#include "json/line_safe.h"

namespace orbel {

const char kBridgeBootstrapScript[] =
    "(function () {  if (window.orbelHost) { return; }  var handlers = [];  window.orbelHost = {   "
    " postMessage: "
    "function (message) {      "
    "window.webkit.messageHandlers.orbel.postMessage(JSON.stringify(message));    },    "
    "onMessage: function (handler) { handlers.push(handler); },    _deliver: function (message) {  "
    "    for (var i = "
    "0; i < handlers.length; i += 1) {        try { handlers[i](message); } catch (error) { "
    "console.error(error); }   "
    "   }    }  };})();";

namespace {

constexpr const char* kHelloPrefix = "{\"type\":\"orbel.hello\"";

bool validUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    size_t extra = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++p;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) <= extra) return false;
    for (size_t i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    p += extra + 1;
  }
  return true;
}

}  // namespace

std::string bridgeDeliveryScript(const std::string& json) {
  if (!validUtf8(json)) return {};
  std::string script = "window.orbelHost && window.orbelHost._deliver(";
  appendLineSafeJson(script, json);
  script += ");";
  return script;
}

double BridgedWebView::nowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::unique_ptr<BridgedWebView> BridgedWebView::open(BridgeHost* host, const std::string& root,
                                                     const Placement& placement, RunLoop& loop) {
  if (host == nullptr) return nullptr;
  if (root.empty()) {
    host->onEditorError("no ui root");
    return nullptr;
  }
  std::unique_ptr<BridgedWebView> view(new BridgedWebView(host, root));
  view->openedAtMs_ = nowMs();
  WebViewSetup setup;
  setup.parentWindow = placement.parentWindow;
  setup.width = placement.width;
  setup.height = placement.height;
  setup.url = uiBundleUrl(root);
  setup.scheme = "orbel-ui";
  setup.documentStartScript = kBridgeBootstrapScript;
  setup.messageHandler = "orbel";
  setup.helperPath = placement.helperPath;
  std::string error;
  view->webView_ = openWebView(loop, *view, setup, error);
  if (!view->webView_) {
    std::fprintf(stderr, "orbel-plugin-shell: %s\n", error.c_str());
    view->host_ = nullptr;  // never opened, so nothing to close
    host->onEditorError("webview allocation failed");
    return nullptr;
  }
  view->self_ = std::make_shared<BridgedWebView*>(view.get());
  std::weak_ptr<BridgedWebView*> self = view->self_;
  host->setBridgeSink([self](const std::string& json) {
    if (const std::shared_ptr<BridgedWebView*> alive = self.lock()) (*alive)->deliver(json);
  });
  host->onEditorOpened();
  return view;
}

BridgedWebView::~BridgedWebView() {
  if (host_ != nullptr) {
    host_->onEditorClosed();
    host_->setBridgeSink({});
  }
  host_ = nullptr;
  self_.reset();
  webView_.reset();
}

void BridgedWebView::resize(int width, int height) {
  if (webView_) webView_->resize(width, height);
}

void BridgedWebView::deliver(const std::string& json) {
  if (!webView_) return;
  const std::string script = bridgeDeliveryScript(json);
  if (script.empty()) return;
  webView_->evaluateScript(script);
  // Two frames after the hello the page shows it; the first such frame is
  // the end of the editor's opening.
  if (json.compare(0, std::strlen(kHelloPrefix), kHelloPrefix) == 0)
    webView_->requestFrame(++helloToken_);
}

void BridgedWebView::onWebViewMessage(std::string_view text) {
  if (host_ != nullptr) host_->handleBridgeMessage(text.data(), text.size());
}

void BridgedWebView::onWebViewRequest(uint64_t request, std::string_view path) {
  if (!webView_) return;
  if (firstRequestAtMs_ == 0) firstRequestAtMs_ = nowMs();
  UiSchemeFile file;
  if (serveUiSchemeRequest(root_, path, file))
    webView_->answerRequest(request, file.mimeType, file.bytes.data(), file.bytes.size());
  else
    webView_->failRequest(request, kUiSchemeLoadFailed);
}

void BridgedWebView::onWebViewFrame(uint64_t token) {
  if (token != helloToken_) return;
  ++hellosDrawn_;
  if (firstDrawnAtMs_ == 0) firstDrawnAtMs_ = nowMs();
}

void BridgedWebView::onWebViewFailed(std::string_view reason) {
  failure_.assign(reason);
  std::fprintf(stderr, "orbel-plugin-shell: editor web view failed: %.*s\n",
               static_cast<int>(reason.size()), reason.data());
  // The page is gone; the controller keeps running and the view stays in
  // the host's window, empty, until the host closes it.
  webView_.reset();
  if (host_ != nullptr) host_->onEditorError(failure_.c_str());
}

}  // namespace orbel
