// The host context handed to the processor and the controller: the SDK's
// host application (messages, attribute lists, interface support) under the
// probe's own name, which modules may use to recognise it. When given a run
// loop it also answers for `Steinberg::Linux::IRunLoop`, as Linux hosts that
// lend their UI loop through the context do.
#pragma once

#include "pluginterfaces/gui/iplugview.h"
#include "sdk/hosting/host_classes.h"

namespace orbel {

inline constexpr const char* kProbeHostName = "orbel-probe";

class ProbeHostApplication : public orbel::hosting::HostApplication {
public:
  Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;

  // The loop offered from now on (null: none); not owned.
  void setRunLoop(Steinberg::Linux::IRunLoop* loop) { runLoop_ = loop; }

private:
  Steinberg::Linux::IRunLoop* runLoop_ = nullptr;
};

}  // namespace orbel
