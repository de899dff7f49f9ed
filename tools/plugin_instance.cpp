#include "tools/plugin_instance.h"

#include <cstdio>
#include <cstring>

#include "tools/memory_stream.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::string resultText(tresult result) {
  const char* name = nullptr;
  switch (result) {
    case kResultOk:
      name = "kResultOk";
      break;
    case kResultFalse:
      name = "kResultFalse";
      break;
    case kInvalidArgument:
      name = "kInvalidArgument";
      break;
    case kNotImplemented:
      name = "kNotImplemented";
      break;
    case kInternalError:
      name = "kInternalError";
      break;
    case kNotInitialized:
      name = "kNotInitialized";
      break;
    case kOutOfMemory:
      name = "kOutOfMemory";
      break;
    case kNoInterface:
      name = "kNoInterface";
      break;
    default:
      break;
  }
  return (name ? std::string(name) + " " : std::string()) + "(" + std::to_string(result) + ")";
}

namespace {

template <typename T>
T* queryAs(FUnknown* object) {
  if (object == nullptr) return nullptr;
  T* out = nullptr;
  if (object->queryInterface(T::iid, reinterpret_cast<void**>(&out)) != kResultOk) return nullptr;
  return out;
}

template <typename T>
void releaseAndClear(T*& object) {
  if (object != nullptr) object->release();
  object = nullptr;
}

}  // namespace

PluginInstance::~PluginInstance() { close(); }

bool PluginInstance::open(IPluginFactory* factory, const FactoryClass& audioClass,
                          std::string& error) {
  close();
  if (auto* factory3 = queryAs<IPluginFactory3>(factory)) {
    factory3->setHostContext(static_cast<IHostApplication*>(&host_));
    hostContextFactory_ = factory3;
  }
  void* object = nullptr;
  if (factory->createInstance(audioClass.cid, IComponent::iid, &object) != kResultOk ||
      object == nullptr) {
    error = "cannot create the audio module class '" + audioClass.name + "'";
    return false;
  }
  component_ = static_cast<IComponent*>(object);
  const tresult init = component_->initialize(static_cast<IHostApplication*>(&host_));
  if (init != kResultOk) {
    error = "the audio module '" + audioClass.name + "' failed to initialize: " + resultText(init);
    close();
    return false;
  }
  componentInitialized_ = true;
  processor_ = queryAs<IAudioProcessor>(component_);
  if (processor_ == nullptr) {
    error = "the audio module '" + audioClass.name + "' has no IAudioProcessor interface";
    close();
    return false;
  }

  controller_ = queryAs<IEditController>(component_);
  if (controller_ == nullptr) {
    TUID controllerId{};
    if (component_->getControllerClassId(controllerId) == kResultOk) {
      object = nullptr;
      if (factory->createInstance(controllerId, IEditController::iid, &object) == kResultOk &&
          object) {
        controller_ = static_cast<IEditController*>(object);
        separateController_ = true;
        const tresult cinit = controller_->initialize(static_cast<IHostApplication*>(&host_));
        if (cinit != kResultOk) {
          error = "the edit controller of '" + audioClass.name +
                  "' failed to initialize: " + resultText(cinit);
          close();
          return false;
        }
        controllerInitialized_ = true;
      }
    }
  }
  if (controller_ == nullptr) {
    std::fprintf(stderr, "orbel-probe: warning: '%s' has no edit controller\n",
                 audioClass.name.c_str());
    return true;
  }
  controller_->setComponentHandler(&handler_);

  if (separateController_) {
    componentPoint_ = queryAs<IConnectionPoint>(component_);
    controllerPoint_ = queryAs<IConnectionPoint>(controller_);
    if (componentPoint_ && controllerPoint_) {
      componentPoint_->connect(controllerPoint_);
      controllerPoint_->connect(componentPoint_);
    } else {
      releaseAndClear(componentPoint_);
      releaseAndClear(controllerPoint_);
    }
  }
  return syncController(error);
}

bool PluginInstance::syncController(std::string& error) {
  if (controller_ == nullptr || !separateController_) return true;
  MemoryStream state;
  if (component_->getState(&state) != kResultOk) return true;  // nothing to give the controller
  state.rewind();
  controller_->setComponentState(&state);
  return true;
}

void PluginInstance::close() {
  deactivate();
  if (componentPoint_ && controllerPoint_) {
    componentPoint_->disconnect(controllerPoint_);
    controllerPoint_->disconnect(componentPoint_);
  }
  releaseAndClear(componentPoint_);
  releaseAndClear(controllerPoint_);
  if (controller_ != nullptr) {
    controller_->setComponentHandler(nullptr);
    if (controllerInitialized_) controller_->terminate();
    controller_->release();
    controller_ = nullptr;
  }
  controllerInitialized_ = false;
  separateController_ = false;
  releaseAndClear(processor_);
  if (component_ != nullptr) {
    if (componentInitialized_) component_->terminate();
    component_->release();
    component_ = nullptr;
  }
  componentInitialized_ = false;
  if (hostContextFactory_ != nullptr) {
    hostContextFactory_->setHostContext(nullptr);
    releaseAndClear(hostContextFactory_);
  }
}

bool PluginInstance::saveState(std::vector<uint8_t>& bytes, std::string& error) {
  MemoryStream stream;
  const tresult r = component_->getState(&stream);
  if (r != kResultOk) {
    error = "the plug-in could not save its state: getState returned " + resultText(r);
    return false;
  }
  bytes = stream.bytes();
  return true;
}

bool PluginInstance::loadState(const std::vector<uint8_t>& bytes, std::string& error) {
  MemoryStream stream(bytes);
  const tresult r = component_->setState(&stream);
  if (r != kResultOk) {
    error = "setState returned " + resultText(r);
    return false;
  }
  if (controller_ != nullptr && separateController_) {
    MemoryStream copy(bytes);
    const tresult c = controller_->setComponentState(&copy);
    if (c != kResultOk)
      std::fprintf(stderr, "orbel-probe: warning: the controller refused the state: %s\n",
                   resultText(c).c_str());
  }
  return true;
}

bool PluginInstance::processorAccepts(const std::string& text) {
  MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
  return component_->setState(&stream) == kResultOk;
}

bool PluginInstance::configure(double sampleRate, int32_t maxBlockFrames, std::string& error,
                               bool realtime) {
  // Ask for a stereo main output and stereo inputs; a plug-in that refuses
  // keeps the arrangement it reports.
  std::vector<SpeakerArrangement> inputs(
      static_cast<std::size_t>(component_->getBusCount(kAudio, kInput)));
  std::vector<SpeakerArrangement> outputs(
      static_cast<std::size_t>(component_->getBusCount(kAudio, kOutput)));
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (processor_->getBusArrangement(kInput, static_cast<int32>(i), inputs[i]) != kResultOk)
      inputs[i] = SpeakerArr::kStereo;
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (processor_->getBusArrangement(kOutput, static_cast<int32>(i), outputs[i]) != kResultOk)
      outputs[i] = SpeakerArr::kStereo;
  }
  if (!outputs.empty()) outputs[0] = SpeakerArr::kStereo;
  if (!inputs.empty()) inputs[0] = SpeakerArr::kStereo;
  processor_->setBusArrangements(
      inputs.empty() ? nullptr : inputs.data(), static_cast<int32>(inputs.size()),
      outputs.empty() ? nullptr : outputs.data(), static_cast<int32>(outputs.size()));

  for (MediaType type : {MediaTypes::kAudio, MediaTypes::kEvent}) {
    for (BusDirection dir : {BusDirections::kInput, BusDirections::kOutput}) {
      const int32 count = component_->getBusCount(type, dir);
      for (int32 i = 0; i < count; ++i) {
        BusInfo info{};
        if (component_->getBusInfo(type, dir, i, info) != kResultOk) continue;
        if (info.busType == kMain || (info.flags & BusInfo::kDefaultActive))
          component_->activateBus(type, dir, i, true);
      }
    }
  }

  if (processor_->canProcessSampleSize(kSample32) != kResultOk) {
    error = "the plug-in cannot process 32-bit float samples";
    return false;
  }
  ProcessSetup setup{};
  setup.processMode = realtime ? kRealtime : kOffline;
  setup.symbolicSampleSize = kSample32;
  setup.maxSamplesPerBlock = maxBlockFrames;
  setup.sampleRate = sampleRate;
  const tresult r = processor_->setupProcessing(setup);
  if (r != kResultOk) {
    char line[256];
    std::snprintf(
        line, sizeof line,
        "the plug-in refused the processing setup (sample rate %.9g Hz, block size %d frames): "
        "setupProcessing returned %s",
        sampleRate, static_cast<int>(maxBlockFrames), resultText(r).c_str());
    error = line;
    return false;
  }
  return true;
}

bool PluginInstance::activate(std::string& error) {
  const tresult r = component_->setActive(true);
  if (r != kResultOk) {
    error = "the plug-in refused to activate: setActive returned " + resultText(r);
    return false;
  }
  active_ = true;
  // setProcessing is optional for a plug-in (kNotImplemented is fine).
  processing_ = processor_->setProcessing(true) == kResultOk;
  return true;
}

void PluginInstance::deactivate() {
  if (processing_ && processor_) processor_->setProcessing(false);
  processing_ = false;
  if (active_ && component_) component_->setActive(false);
  active_ = false;
}

}  // namespace orbel
