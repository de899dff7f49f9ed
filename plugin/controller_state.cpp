// The controller's side of the plug-in state: the processor's state handed
// over by the host (setComponentState) and the controller's own state (CC map
// and pad overrides) saved and restored by the host.
#include <string>

#include "state/state_document.h"
#include "plugin/controller.h"
#include "plugin/state_stream.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The stream's text parsed into `chunk`; false when the stream is too long or
// the text is not a state document.
bool readStateChunk(IBStream* stream, std::string& text, StateChunk& chunk) {
  if (!readStateStream(stream, text)) return false;
  return parseStateJson(text.data(), text.size(), chunk);
}

}  // namespace

void OrbelController::restorePadOverrides(const SamplerPadOverrides& overrides) {
  bankControl.adoptRestoredPadOverrides(overrides);
  sendBankState("restore", nullptr, nullptr);
}

void OrbelController::sendBankState(const char* reason, const char* errorCode,
                                    const char* requestedId) {
  bankControl.sendBankState(reason, errorCode, requestedId);
}

tresult PLUGIN_API OrbelController::setComponentState(IBStream* state) {
  if (!state) return kResultFalse;
  std::string text;
  StateChunk chunk;
  if (!readStateChunk(state, text, chunk)) return kResultFalse;

  presetState.lastStateBytes = static_cast<int64_t>(text.size());
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    if (!chunk.hasParam[i]) continue;
    const double normalized = orbel_param_normalize(&ORBEL_PARAMS[i], chunk.params[i]);
    // The base call: the announcement follows the same echo rule as a host's
    // setParamNormalized.
    if (EditController::setParamNormalized(i, normalized) == kResultOk)
      announceParamChange(i, normalized);
  }
  if (chunk.hasCcMap) adoptCcMap(chunk.ccMap, true);
  // The bank the processor recalls from this state; the page learns of it
  // with the report below.
  if (chunk.hasRef)
    bankControl.adoptRestoredRef(chunk.source, chunk.locator, chunk.sha256, chunk.instrument,
                                 chunk.presetId);
  restorePadOverrides(chunk.hasPadOverrides ? chunk.padOverrides : SamplerPadOverrides{});
  recordLifecycle(DiagnosticLifecycleKind::StateRestored)
      .addNumber("stateBytes", static_cast<double>(text.size()))
      .addString("source", "component");
  publishLastLifecycle();
  return kResultOk;
}

tresult PLUGIN_API OrbelController::setState(IBStream* state) {
  if (!state) return kResultFalse;
  std::string text;
  if (!readStateStream(state, text)) return kResultFalse;
  if (text.empty()) return kResultOk;  // a host that never saved our state
  StateChunk chunk;
  if (!parseStateJson(text.data(), text.size(), chunk)) return kResultFalse;
  // Parameter values belong to the component state; only the controller's
  // own members are taken from here.
  if (chunk.hasCcMap) adoptCcMap(chunk.ccMap, true);
  if (chunk.hasPadOverrides) bankControl.adoptRestoredPadOverrides(chunk.padOverrides);
  sendBankState("restore", nullptr, nullptr);
  return kResultOk;
}

tresult PLUGIN_API OrbelController::getState(IBStream* state) {
  if (!state) return kResultFalse;
  std::string text = "{";
  if (hasCcMap) {
    text += "\"ccMap\":";
    writeCcMapJson(text, ccMap);
  }
  if (!bankControl.padOverrides.empty()) {
    if (hasCcMap) text += ",";
    text += "\"sampler\":{\"v\":1,\"pads\":";
    writeSamplerPadOverridesJson(text, bankControl.padOverrides);
    text += "}";
  }
  text += "}";

  return writeStateStream(state, text);
}

}  // namespace orbel
