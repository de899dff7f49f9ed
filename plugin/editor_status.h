#pragma once
// What a host of this project (orbel-probe, the benchmarks, tests) can ask
// Mirel's editor view besides IPlugView: whether the page has drawn the
// controller's hello yet, how long the opening took, and which process shows
// the page. Reached with queryInterface on the IPlugView; hosts that do not
// know it never see it.
#include "pluginterfaces/base/funknown.h"

namespace orbel {

struct OrbelEditorStatus {
  Steinberg::int32 attached = 0;      // 1 between attached and removed
  Steinberg::int32 processId = 0;     // the process showing the page, 0 when none
  Steinberg::uint32 hellosDrawn = 0;  // hellos the page has drawn since attached
  double attachedAtMs = 0;            // steady clock, ms: when attached was called
  double pageRequestedAtMs = 0;       // steady clock, ms: the page's first request (0 until then)
  double firstHelloDrawnAtMs = 0;     // steady clock, ms: first hello drawn (0 until then)
  char failure[128] = {};             // why the page went away; empty while it works
};

class IOrbelEditorStatus : public Steinberg::FUnknown {
public:
  virtual Steinberg::tresult PLUGIN_API getEditorStatus(OrbelEditorStatus* status) = 0;
  static inline const Steinberg::FUID iid{0x4F52424C, 0x45444954, 0x53544154, 0x55530001};
};

}  // namespace orbel
