#pragma once
// The instrument's edit controller: registers the eleven parameters of
// ORBEL_PARAMS so hosts can show and automate them. State, MIDI mapping,
// processor messages and the editor bridge build on this class.
#include "public.sdk/source/vst/vsteditcontroller.h"

namespace orbel {

class OrbelController : public Steinberg::Vst::EditControllerEx1 {
public:
  OrbelController() = default;

  // Factory hook: a new controller as its IEditController.
  static Steinberg::FUnknown* createInstance(void* context);

  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;

  OBJ_METHODS(OrbelController, EditControllerEx1)
  REFCOUNT_METHODS(EditControllerEx1)
};

} // namespace orbel
