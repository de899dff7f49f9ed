// The processor's persistent state: the plug-in state document written into
// and read from the host's state stream.
#include <string>

#include "plugin/host_call_trace.h"
#include "params/param_table.h"
#include "plugin/processor.h"
#include "plugin/state_stream.h"
#include "pluginterfaces/base/ibstream.h"

namespace orbel {

using namespace Steinberg;

tresult PLUGIN_API OrbelProcessor::getState(IBStream* state) {
  flushDeferredReports();
  if (!state) return kResultFalse;
  // Audio-thread problems reach the controller no later than the next save.
  if (engine.pendingRealtimeDiagnostics() > 0) sendRuntimeDiagnostics(false);

  double values[kStateParamCount];
  for (int i = 0; i < kStateParamCount; ++i)
    values[i] = engine.paramValue(static_cast<uint32_t>(i));
  const std::string text =
      writeStateJson(values, engine.variation(), ccMapPresent ? &ccMap : nullptr, kSamplerAssetNone,
                     kZoneLegacySingleZone, currentBankReference(), currentPadOverrides(), nullptr);

  return writeStateStream(state, text);
}

tresult PLUGIN_API OrbelProcessor::setState(IBStream* state) {
  flushDeferredReports();
  if (!state) return kResultFalse;
  std::string text;
  if (!readStateStream(state, text)) return kResultFalse;
  StateChunk chunk;
  const bool parsed = parseStateJson(text.data(), text.size(), chunk);
  host_call_trace::line(this, "setState", "bytes=%zu parsed=%d", text.size(), parsed ? 1 : 0);
  if (!parsed) return kResultFalse;

  for (int i = 0; i < kStateParamCount; ++i)
    if (chunk.hasParam[i]) engine.setParamValue(static_cast<uint32_t>(i), chunk.params[i]);
  if (chunk.variation >= 0) engine.setVariation(chunk.variation);
  if (chunk.hasCcMap) {
    ccMap = chunk.ccMap;
    ccMapPresent = true;
  }
  adoptRestoredPadOverrides(chunk.hasPadOverrides ? chunk.padOverrides : SamplerPadOverrides{});
  if (recallBank(chunk)) return kResultOk;
  withdrawBankAfterRecall(chunk);
  return kResultOk;
}

}  // namespace orbel
