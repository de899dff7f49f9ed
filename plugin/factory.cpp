#include "plugin/factory.h"

#include <mutex>

#include "plugin/controller.h"
#include "plugin/plugin_ids.h"
#include "plugin/processor.h"
#include "sdk/missing/pluginfactory.h"

namespace orbel {

using namespace Steinberg;

namespace {

const PClassInfo2& processorClassInfo() {
  static const PClassInfo2 info(kProcessorUID.toTUID(), PClassInfo::kManyInstances,
                                kVstAudioEffectClass, kProcessorName, Vst::kDistributable,
                                kProcessorSubCategories, nullptr, kClassVersion, kSdkVersionText);
  return info;
}

const PClassInfo2& controllerClassInfo() {
  static const PClassInfo2 info(kControllerUID.toTUID(), PClassInfo::kManyInstances,
                                kVstComponentControllerClass, kControllerName, 0, "", nullptr,
                                kClassVersion, kSdkVersionText);
  return info;
}

std::mutex factoryMutex;

}  // namespace

IPluginFactory* acquirePluginFactory() {
  std::lock_guard<std::mutex> lock(factoryMutex);
  if (gPluginFactory) {
    gPluginFactory->addRef();
    return gPluginFactory;
  }
  static const PFactoryInfo factoryInfo(kVendorName, kVendorUrl, kVendorEmail,
                                        PFactoryInfo::kUnicode);
  auto* factory = new CPluginFactory(factoryInfo);
  factory->registerClass(&processorClassInfo(), &OrbelProcessor::createInstance);
  factory->registerClass(&controllerClassInfo(), &OrbelController::createInstance);
  gPluginFactory = factory;
  return factory;
}

}  // namespace orbel
