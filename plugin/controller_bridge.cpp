// The controller's BridgeHost face: the sink that carries announcements to
// the page, the page's messages, the hello and the editor's open/close/error
// events.
#include <cstdio>
#include <string>

#include "editor/announcements.h"
#include "editor/bridge_message.h"
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

void OrbelController::handleBridgeMessage(const char* data, size_t length) {
  BridgeMessage message;
  if (data == nullptr || !parseBridgeMessage(data, length, message)) {
    std::fprintf(stderr, "orbel-plugin-shell: malformed bridge message (%zu bytes)\n", length);
    return;
  }
  dispatchBridgeMessage(message, length);
}

void OrbelController::sendHello() {
  double normalized[ORBEL_PARAM_COUNT];
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i) normalized[i] = getParamNormalized(i);
  refreshPresetState();
  HelloFacts facts;
  facts.normalized = normalized;
  facts.ccMap = hasCcMap ? &ccMap : nullptr;
  facts.runtimeHealth = runtimeHealthReport;
  facts.host = &hostFacts;
  facts.presetState = &presetState;
  // Marked first: a sink that closes the editor while it delivers clears it.
  helloSent = true;
  if (!bridgeSink) return;
  std::string out;
  writeHelloJson(out, facts);
  sendToUi(out);
}

void OrbelController::onEditorOpened() { emitLifecycle(DiagnosticLifecycleKind::EditorOpened); }

void OrbelController::onEditorClosed() {
  emitLifecycle(DiagnosticLifecycleKind::EditorClosed);
  feedMask = 0;
  maxFeedHz = 0.0;
  helloSent = false;
}

void OrbelController::onEditorError(const char* reason) {
  recordLifecycle(DiagnosticLifecycleKind::EditorError)
      .addString("reason", reason ? reason : "unknown");
  publishLastLifecycle();
}

}  // namespace orbel
