// The host's IComponentHandler: the controller reports edits and restart
// requests here. A command-line render has no user editing parameters, so
// edits are accepted and counted but not fed back into the rendering.
#pragma once

#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace orbel {

class ProbeComponentHandler : public Steinberg::Vst::IComponentHandler {
 public:
  ProbeComponentHandler();
  virtual ~ProbeComponentHandler();

  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                            Steinberg::Vst::ParamValue valueNormalized) override;
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

  DECLARE_FUNKNOWN_METHODS

  int edits() const { return edits_; }
  Steinberg::int32 restartFlags() const { return restartFlags_; }

 private:
  int edits_ = 0;
  Steinberg::int32 restartFlags_ = 0;
};

}  // namespace orbel
