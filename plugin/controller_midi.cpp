// The host's MIDI controller mapping queries, answered from the current CC map.
#include "plugin/controller.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API OrbelController::getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                                CtrlNumber midiControllerNumber,
                                                                ParamID& id) {
  if (busIndex != 0 || midiControllerNumber < 0 || midiControllerNumber > 127) return kResultFalse;
  const uint32_t count = ccMap.count < kCcMapMaxBindings ? ccMap.count : kCcMapMaxBindings;
  for (uint32_t i = 0; i < count; ++i) {
    const CcBinding& b = ccMap.bindings[i];
    // Binding channels are 1..16 with 0 for any; the host counts from 0.
    if (!b.enabled || b.cc != midiControllerNumber) continue;
    if (b.channel != 0 && static_cast<int32>(b.channel) != static_cast<int32>(channel) + 1)
      continue;
    if (b.paramIndex < 0 || b.paramIndex >= static_cast<int32_t>(ORBEL_PARAM_COUNT)) continue;
    id = static_cast<ParamID>(b.paramIndex);
    return kResultTrue;
  }
  return kResultFalse;
}

}  // namespace orbel
