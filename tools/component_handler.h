// The host's IComponentHandler: the controller reports edits and restart
// requests here. A command-line render has no user editing parameters, so
// edits are accepted and counted; the bridge console also keeps them for the
// processor's next block, as a host does with its editor's edits.
#pragma once

#include <utility>
#include <vector>

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

  // While kept, every performEdit is also queued for takeEdits.
  void keepEdits(bool keep) { keepEdits_ = keep; }

  // While recorded, every beginEdit/performEdit/endEdit call is logged in
  // order (the editor session reports what a gesture in the page did).
  struct EditCall {
    char kind;  // 'b' begin, 'p' perform, 'e' end
    Steinberg::Vst::ParamID id;
    Steinberg::Vst::ParamValue value;  // perform only
  };
  void recordCalls(bool record) { recordCalls_ = record; }
  const std::vector<EditCall>& calls() const { return calls_; }
  using Edit = std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>;
  std::vector<Edit> takeEdits() { return std::exchange(pending_, {}); }

private:
  bool keepEdits_ = false;
  bool recordCalls_ = false;
  std::vector<EditCall> calls_;
  std::vector<Edit> pending_;
  int edits_ = 0;
  Steinberg::int32 restartFlags_ = 0;
};

}  // namespace orbel
