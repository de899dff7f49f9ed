#pragma once
// The controller's parameter object: an SDK Parameter built from one row of
// ORBEL_PARAMS, converting and printing values through the shared table
// functions so that host, page and state agree on every value.
#include "params/param_table.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace orbel {

class OrbelParameter : public Steinberg::Vst::Parameter {
public:
  explicit OrbelParameter(const orbel_param_desc& desc);

  void toString(Steinberg::Vst::ParamValue valueNormalized,
                Steinberg::Vst::String128 string) const override;
  bool fromString(const Steinberg::Vst::TChar* string,
                  Steinberg::Vst::ParamValue& valueNormalized) const override;
  Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue valueNormalized) const override;
  Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plainValue) const override;

  const orbel_param_desc& descriptor() const { return desc_; }

  OBJ_METHODS(OrbelParameter, Parameter)

private:
  const orbel_param_desc& desc_;  // a row of ORBEL_PARAMS, which outlives every parameter
};

}  // namespace orbel
