// The controller's BridgeHost face: the sink that carries announcements to
// the page, the page's messages and the editor's open/close/error events.
#include "plugin/controller.h"

namespace orbel {

void OrbelController::setBridgeSink(std::function<void(const std::string&)> sink) {
  bridgeSink = std::move(sink);
}

void OrbelController::sendToUi(const std::string& json) {
  if (!bridgeSink) return;
  // Called through a copy: a sink may replace or remove itself (the page
  // closing the editor) while it delivers.
  const std::function<void(const std::string&)> sink = bridgeSink;
  sink(json);
}

void OrbelController::handleBridgeMessage(const char* /*data*/, size_t /*length*/) {
  // The page's messages (parameter edits, state, subscriptions) are read
  // here once the bridge protocol exists; until then they are ignored.
}

void OrbelController::onEditorOpened() { emitLifecycle(DiagnosticLifecycleKind::EditorOpened); }

void OrbelController::onEditorClosed() {
  emitLifecycle(DiagnosticLifecycleKind::EditorClosed);
  feedMask = 0;
  maxFeedHz = 0.0;
  helloSent = false;
}

void OrbelController::onEditorError(const char* reason) {
  recordLifecycle(DiagnosticLifecycleKind::EditorError).addString("reason", reason ? reason : "unknown");
  publishLastLifecycle();
}

} // namespace orbel
