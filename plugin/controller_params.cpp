// Parameter changes reaching the controller and their announcement to the
// page. The page's own edits are not echoed back: the bridge marks the value
// it is about to set, and the setParamNormalized call carrying exactly that
// value consumes the mark instead of announcing it.
#include <cmath>
#include <string>

#include "editor/announcements.h"
#include "plugin/controller.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API OrbelController::setParamNormalized(ParamID id, ParamValue value) {
  // The base clamps to 0..1 but would keep a NaN, which every later reader
  // (the page, the host's display) would then get.
  if (std::isnan(value)) return kResultFalse;
  const tresult result = EditControllerEx1::setParamNormalized(id, value);
  if (result != kResultOk) return result;
  announceParamChange(id, getParamNormalized(id));
  return result;
}

void OrbelController::expectParamEcho(uint32_t index, double normalized) {
  if (index >= ORBEL_PARAM_COUNT) return;
  echoParamId = static_cast<int32_t>(index);
  echoValue = normalized;
}

void OrbelController::announceParamChange(ParamID id, double normalized) {
  if (echoParamId >= 0 && id == static_cast<ParamID>(echoParamId) && normalized == echoValue) {
    echoParamId = -1;
    return;
  }
  sendParamChanged(id, normalized);
}

void OrbelController::sendParamChanged(uint32_t index, double normalized) {
  if (!bridgeSink) return;
  std::string out;
  if (writeParamChangedJson(out, index, normalized)) sendToUi(out);
}

}  // namespace orbel
