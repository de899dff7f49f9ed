#include "plugin/controller.h"

#include "plugin/param_table.h"
#include "plugin/parameter.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

FUnknown* OrbelController::createInstance(void* /*context*/) {
  return static_cast<IEditController*>(new OrbelController());
}

tresult PLUGIN_API OrbelController::initialize(FUnknown* context) {
  const tresult result = EditControllerEx1::initialize(context);
  if (result != kResultOk) return result;
  // Ids are the table's row indices; the container takes ownership.
  for (const orbel_param_desc& desc : ORBEL_PARAMS) parameters.addParameter(new OrbelParameter(desc));
  return kResultOk;
}

} // namespace orbel
