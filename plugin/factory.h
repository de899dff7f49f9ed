#pragma once
#include "pluginterfaces/base/ipluginbase.h"

namespace orbel {

// The module's class factory: one object while any reference to it lives.
// The first call creates it and registers the processor and then the
// controller class; later calls add a reference to the same object. The
// caller owns the returned reference.
Steinberg::IPluginFactory* acquirePluginFactory();

}  // namespace orbel
