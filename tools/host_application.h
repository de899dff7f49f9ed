// The host context handed to the processor and the controller: the SDK's
// host application (messages, attribute lists, interface support) under the
// probe's own name, which modules may use to recognise it.
#pragma once

#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace orbel {

inline constexpr const char* kProbeHostName = "orbel-probe";

class ProbeHostApplication : public Steinberg::Vst::HostApplication {
 public:
  Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
};

}  // namespace orbel
