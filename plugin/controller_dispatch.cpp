// What each page message does. The steps are tried in a fixed order and the
// first that applies ends the handling: the hello, the diagnostic requests,
// factory presets, the bank messages, parameter edits, state and notes.
// Unknown types, unknown paths and messages missing the member their type
// needs have no effect and are not reported.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "editor/announcements.h"
#include "editor/bridge_message.h"
#include "editor/diagnostic_blocks.h"
#include "state/state_document.h"
#include "plugin/controller.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double kMaxFeedHz = 30.0;

// A note number as the developer line prints it: truncated toward zero, and
// kept in int range (a cast of NaN or a huge value would be undefined).
int truncatedNote(double note) {
  if (std::isnan(note)) return 0;
  if (note <= -2147483648.0) return INT32_MIN;
  if (note >= 2147483647.0) return INT32_MAX;
  return static_cast<int>(note);
}

}  // namespace

void OrbelController::dispatchBridgeMessage(const BridgeMessage& message, size_t length) {
  const std::string& type = message.type;
  if (type == "orbel.ready") {
    sendHello();
    return;
  }
  // The instrument offers no stimulus commands (its capabilities list none).
  if (message.diagOp == kBridgeDiagStimulus) return;
  if (message.diagOp == kBridgeDiagUnsubscribe) {
    feedMask = 0;
    maxFeedHz = 0.0;
    return;
  }
  if (message.diagOp == kBridgeDiagSubscribe) {
    subscribeFeeds(message);
    return;
  }
  // The instrument has no factory presets; an empty id goes on to the bank
  // control like any other message.
  if (type == "orbel.loadFactoryPreset" && !message.id.empty()) return;
  if (offerToBankControl(message)) return;

  if (type == "orbel.setParam" && message.hasValue) {
    setParamFromUi(message);
    return;
  }
  if (type == "orbel.beginEdit") {
    const int32_t index = bridgeParamIndex(message.path);
    if (index >= 0) beginEdit(static_cast<ParamID>(index));
    return;
  }
  if (type == "orbel.endEdit") {
    const int32_t index = bridgeParamIndex(message.path);
    if (index >= 0) endEdit(static_cast<ParamID>(index));
    return;
  }
  if (type == "orbel.getState") {
    sendStateToUi();
    return;
  }
  if (type == "orbel.setCcMap" && message.hasCcMap) {
    adoptCcMap(message.ccMap, true);
    return;
  }
  if (type == "orbel.setState" && message.hasState) {
    setStateFromUi(message, length);
    return;
  }
  if (type == "orbel.noteOn" || type == "orbel.noteOff") {
    // The page's keyboard is not wired to the processor: notes come from the
    // host only. The line helps when testing a page.
    std::fprintf(stderr, "orbel-plugin-shell: bridge %s note=%d\n", type.c_str(),
                 truncatedNote(message.note));
    return;
  }
}

void OrbelController::subscribeFeeds(const BridgeMessage& message) {
  feedMask = message.feeds;
  // No lower bound; a NaN rate counts as none given.
  maxFeedHz = std::isnan(message.hz) ? 0.0 : (message.hz > kMaxFeedHz ? kMaxFeedHz : message.hz);

  replayLifecycle();
  if (transportKnown && bridgeSink && (feedMask & kFeedTransport) != 0) {
    std::string out;
    writeDiagnosticTransportJson(out, lastTransport);
    sendToUi(out);
    lastTransportSentMs = lifecycleLog.nowMs();
  }
  // The processor restarts its transport feed, so the next fact it sends is
  // announced as new.
  transportResetPending = true;
  transportKnown = false;
  pollTransport();
}

// The bank messages ("orbel.loadBank", "orbel.loadBankPreset",
// "orbel.pickFolder", "orbel.getBankState", "orbel.setPadOverrides") belong
// to the bank control.
bool OrbelController::offerToBankControl(const BridgeMessage& message) {
  return bankControl.handleMessage(message);
}

bool OrbelController::applyPadOverrides(const SamplerPadOverrides& overrides) {
  std::string json;
  writeSamplerPadOverridesJson(json, overrides);
  IMessage* message = allocateMessage();
  if (!message) return false;
  message->setMessageID("orbel.padOverrides");
  bool sent = false;
  if (IAttributeList* attrs = message->getAttributes()) {
    attrs->setBinary("json", json.data(), static_cast<uint32>(json.size()));
    sent = sendMessage(message) == kResultOk;
  }
  message->release();
  return sent;
}

void OrbelController::setParamFromUi(const BridgeMessage& message) {
  const int32_t index = bridgeParamIndex(message.path);
  if (index < 0) return;
  // A NaN is no value (the lenient number reader lets "nan" through);
  // infinities clamp to the ends of the range like any other value.
  if (std::isnan(message.value)) return;
  const ParamID id = static_cast<ParamID>(index);
  const double normalized = orbel_param_normalize(&ORBEL_PARAMS[index], message.value);
  // The page already shows this value: the setParamNormalized call below
  // consumes the mark instead of announcing it back.
  expectParamEcho(static_cast<uint32_t>(index), normalized);
  setParamNormalized(id, normalized);
  // Should the call fail, the mark must not linger and swallow a later host
  // change that happens to carry the same value.
  echoParamId = -1;
  performEdit(id, normalized);
}

void OrbelController::sendStateToUi() {
  double plain[ORBEL_PARAM_COUNT];
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i)
    plain[i] = orbel_param_to_plain(&ORBEL_PARAMS[i], getParamNormalized(i));
  const std::string document =
      writeStateJson(plain, -1, hasCcMap ? &ccMap : nullptr, kSamplerAssetNone,
                     kZoneLegacySingleZone, nullptr, &bankControl.padOverrides, nullptr);
  presetState.lastStateBytes = static_cast<int64_t>(document.size());
  recordLifecycle(DiagnosticLifecycleKind::StateSaved)
      .addNumber("stateBytes", static_cast<double>(document.size()))
      .addString("source", "ui");
  publishLastLifecycle();
  if (!bridgeSink) return;
  std::string out;
  writeStateAnnouncementJson(out, document);
  sendToUi(out);
}

void OrbelController::setStateFromUi(const BridgeMessage& message, size_t length) {
  const StateChunk& state = message.state;
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    if (!state.hasParam[i]) continue;
    const double normalized = orbel_param_normalize(&ORBEL_PARAMS[i], state.params[i]);
    beginEdit(i);
    setParamNormalized(i, normalized);  // announced to the page
    performEdit(i, normalized);
    endEdit(i);
  }
  if (state.hasCcMap) adoptCcMap(state.ccMap, true);
  // A state without overrides clears them; the processor must hear of it
  // first, or the two sides would disagree.
  const SamplerPadOverrides none;
  const SamplerPadOverrides& pads = state.hasPadOverrides ? state.padOverrides : none;
  if (applyPadOverrides(pads)) bankControl.adoptRestoredPadOverrides(pads);
  sendBankState("restore", nullptr, nullptr);
  recordLifecycle(DiagnosticLifecycleKind::StateRestored)
      .addNumber("stateBytes", static_cast<double>(length))
      .addString("source", "ui");
  publishLastLifecycle();
}

}  // namespace orbel
