#pragma once
// Identity of the module and its two classes. The processor names the
// controller class through kControllerUID, so both tables read from here.
#include "pluginterfaces/base/funknown.h"

namespace orbel {

inline constexpr const char* kVendorName = "Orbel Music";
inline constexpr const char* kVendorUrl = "https://orbel.music";
inline constexpr const char* kVendorEmail = "mailto:support@orbel.music";

inline constexpr const char* kProcessorName = "Mirel";
inline constexpr const char* kControllerName = "Mirel Controller";
inline constexpr const char* kProcessorSubCategories = "Instrument|Synth";
inline constexpr const char* kClassVersion = "0.0.0";
inline constexpr const char* kSdkVersionText = "VST 3.8.1";

// Bundle id and version reported in the runtime health report.
inline constexpr const char* kBundleId = "music.orbel.mirel";
inline constexpr const char* kBundleVersion = "0.0.0";

// The four words as passed to FUID; stored most significant byte first.
inline const Steinberg::FUID kProcessorUID(0x62F40310, 0x63F404A3, 0x64F40636, 0x65F407C9);
inline const Steinberg::FUID kControllerUID(0x66D95BE4, 0x67D95D77, 0x68D95F0A, 0x69D9609D);

}  // namespace orbel
