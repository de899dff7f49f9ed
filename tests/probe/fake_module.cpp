// A VST 3 module whose factory offers only a controller class, so a host
// finds no audio module class in it.
#include <cstring>

#include "pluginterfaces/base/ipluginbase.h"

using namespace Steinberg;

namespace {

class ControllerOnlyFactory : public IPluginFactory {
public:
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IPluginFactory::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = this;
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
  tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) override {
    if (info == nullptr) return kInvalidArgument;
    *info = PFactoryInfo("Nobody", "", "", 0);
    return kResultOk;
  }
  int32 PLUGIN_API countClasses() override { return 1; }
  tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) override {
    if (index != 0 || info == nullptr) return kInvalidArgument;
    const TUID cid = INLINE_UID(1, 2, 3, 4);
    *info = PClassInfo(cid, PClassInfo::kManyInstances, "Component Controller Class",
                       "Lonely Controller");
    return kResultOk;
  }
  tresult PLUGIN_API createInstance(FIDString, FIDString, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
};

ControllerOnlyFactory gFactory;

}  // namespace

extern "C" {
__attribute__((visibility("default"))) bool ModuleEntry(void*) { return true; }
__attribute__((visibility("default"))) bool ModuleExit() { return true; }
__attribute__((visibility("default"))) IPluginFactory* GetPluginFactory() { return &gFactory; }
}
