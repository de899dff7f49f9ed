#include "tools/host_application.h"

#include "sdk/missing/utf16.h"
#include "tools/text16.h"

namespace orbel {

using namespace Steinberg;

tresult PLUGIN_API ProbeHostApplication::getName(Vst::String128 name) {
  if (name == nullptr) return kInvalidArgument;
  utf8ToUtf16(kProbeHostName, reinterpret_cast<char16_t*>(name), 128);
  return kResultOk;
}

tresult PLUGIN_API ProbeHostApplication::queryInterface(const TUID iid, void** obj) {
  if (runLoop_ != nullptr && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
    runLoop_->addRef();
    *obj = runLoop_;
    return kResultOk;
  }
  return HostApplication::queryInterface(iid, obj);
}

}  // namespace orbel
