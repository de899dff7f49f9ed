#pragma once
// The edit controllers of this module that exist right now. The exported
// bridge functions take an object from outside; only one found here is ever
// treated as a controller, so a stale or foreign pointer is refused instead
// of being cast.
#include "pluginterfaces/base/funknown.h"

namespace orbel {

class OrbelController;

void addLiveController(OrbelController* controller);
void removeLiveController(OrbelController* controller);

// The live controller behind `object` (any of its interfaces), or null.
OrbelController* liveControllerOf(Steinberg::FUnknown* object);

}  // namespace orbel
