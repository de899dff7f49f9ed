#include "plugin/web_view_plug_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "editor/ui_root.h"
#include "platform/clock_scheduler.h"
#include "platform/linux/host_run_loop.h"
#include "platform/web_view.h"
#include "plugin/controller.h"
#include "pluginterfaces/gui/iplugview.h"

namespace orbel {

using namespace Steinberg;

namespace {

// The one platform type the platform's web view embeds into.
bool isEmbeddable(FIDString type) {
  return type != nullptr && std::strcmp(type, webViewWindowType()) == 0;
}

}  // namespace

void clampEditorRect(ViewRect& rect) {
  const int32 width = std::clamp<int32>(rect.getWidth(), kEditorMinWidth, kEditorMaxWidth);
  const int32 height = std::clamp<int32>(rect.getHeight(), kEditorMinHeight, kEditorMaxHeight);
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
}

WebViewPlugView::WebViewPlugView(OrbelController* controller, std::string rootPath)
    : controller_(controller), rootPath_(std::move(rootPath)) {
  ViewRect initial(0, 0, kEditorDefaultWidth, kEditorDefaultHeight);
  setRect(initial);
  controller_->addRef();
}

WebViewPlugView::~WebViewPlugView() {
  detach();
  controller_->release();
}

tresult PLUGIN_API WebViewPlugView::isPlatformTypeSupported(FIDString type) {
  return isEmbeddable(type) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API WebViewPlugView::attached(void* parent, FIDString type) {
  if (parent == nullptr || !isEmbeddable(type) || webView_) return kResultFalse;
  std::shared_ptr<RunLoop> loop = hostRunLoopFrom(plugFrame);
  if (!loop) {
    std::fputs(
        "orbel-plugin-shell: the host lends no run loop through the plug frame; editor disabled\n",
        stderr);
    controller_->onEditorError("no host run loop");
    return kResultFalse;
  }
  BridgedWebView::Placement placement;
  placement.parentWindow = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(parent));
  placement.width = getRect().getWidth();
  placement.height = getRect().getHeight();
  placement.helperPath = helperPath_;
  webView_ = BridgedWebView::open(controller_, rootPath_, placement, *loop);
  if (!webView_) return kResultFalse;
  loop_ = std::move(loop);
  // The controller's own clock runs on this loop too when the host lent
  // none through its context.
  processClockScheduler().offer(this, loop_);
  if (timerRunning_) loop_->removeTimer(*this);
  timerRunning_ = loop_->addTimer(*this, ClockScheduler::kDefaultIntervalMs);
  return CPluginView::attached(parent, type);
}

tresult PLUGIN_API WebViewPlugView::removed() {
  detach();
  return CPluginView::removed();
}

void WebViewPlugView::detach() {
  if (loop_ && timerRunning_) loop_->removeTimer(*this);
  timerRunning_ = false;
  // Closing the web view takes its descriptor handler off the loop, so the
  // loop goes last.
  webView_.reset();
  if (loop_) processClockScheduler().withdraw(this);
  loop_.reset();
}

void WebViewPlugView::onRunLoopTimer() { controller_->tickCadence(); }

tresult PLUGIN_API WebViewPlugView::onSize(ViewRect* newSize) {
  if (newSize == nullptr) return kResultFalse;
  ViewRect clamped = *newSize;
  clampEditorRect(clamped);
  CPluginView::onSize(&clamped);
  if (webView_) webView_->resize(clamped.getWidth(), clamped.getHeight());
  return kResultTrue;
}

tresult PLUGIN_API WebViewPlugView::checkSizeConstraint(ViewRect* rect) {
  if (rect == nullptr) return kInvalidArgument;
  clampEditorRect(*rect);
  return kResultTrue;
}

tresult PLUGIN_API WebViewPlugView::getEditorStatus(OrbelEditorStatus* status) {
  if (status == nullptr) return kInvalidArgument;
  *status = OrbelEditorStatus{};
  status->attached = isAttached() ? 1 : 0;
  if (webView_) {
    status->processId = webView_->processId();
    status->hellosDrawn = webView_->hellosDrawn();
    status->attachedAtMs = webView_->openedAtMs();
    status->pageRequestedAtMs = webView_->firstRequestAtMs();
    status->firstHelloDrawnAtMs = webView_->firstHelloDrawnAtMs();
    const std::string& failure = webView_->failure();
    std::snprintf(status->failure, sizeof status->failure, "%s", failure.c_str());
  }
  return kResultOk;
}

IPlugView* createWebViewEditor(OrbelController* controller, const char* uiRoot) {
  const std::string root = uiRoot != nullptr ? std::string(uiRoot) : pluginUiRoot();
  if (controller != nullptr && !root.empty()) return new WebViewPlugView(controller, root);
  std::fputs("orbel-plugin-shell: no UI bundle found; editor disabled\n", stderr);
  if (controller != nullptr) controller->onEditorError("no ui bundle in plugin");
  return nullptr;
}

}  // namespace orbel
