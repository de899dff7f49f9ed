#include "tools/host_application.h"

#include "sdk/missing/utf16.h"
#include "tools/text16.h"

namespace orbel {

Steinberg::tresult PLUGIN_API ProbeHostApplication::getName(Steinberg::Vst::String128 name) {
  if (name == nullptr) return Steinberg::kInvalidArgument;
  utf8ToUtf16(kProbeHostName, reinterpret_cast<char16_t*>(name), 128);
  return Steinberg::kResultOk;
}

}  // namespace orbel
