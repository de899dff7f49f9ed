#pragma once
// Opens the built bundle once per test process and creates processors through
// its factory, as a host does.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "tests/support/vst3_host.h"

namespace orbel::testhost {

// Class ids as the four words the factory registers.
inline const FUID kProcessorFuid(0x62F40310, 0x63F404A3, 0x64F40636, 0x65F407C9);
inline const FUID kControllerFuid(0x66D95BE4, 0x67D95D77, 0x68D95F0A, 0x69D9609D);

inline LoadedModule& sharedModule() {
  static LoadedModule* module = [] {
    auto* m = new LoadedModule(ORBEL_BUNDLE_PATH);
    if (m->ok()) m->moduleEntry(m->handle);
    return m;
  }();
  return *module;
}

// One processor instance, initialised, with its IAudioProcessor face.
struct Processor {
  IComponent* component = nullptr;
  IAudioProcessor* audio = nullptr;

  Processor() {
    LoadedModule& m = sharedModule();
    if (!m.ok()) return;
    IPluginFactory* factory = m.getPluginFactory();
    void* obj = nullptr;
    if (factory->createInstance(kProcessorFuid.toTUID(), IComponent::iid, &obj) == kResultOk) {
      component = static_cast<IComponent*>(obj);
      component->initialize(nullptr);
      component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&audio));
    }
    factory->release();
  }
  ~Processor() {
    if (audio) audio->release();
    if (component) {
      component->setActive(false);
      component->terminate();
      component->release();
    }
  }
  Processor(const Processor&) = delete;
  Processor& operator=(const Processor&) = delete;

  bool ok() const { return component && audio; }

  // setupProcessing + setActive(true); true when both succeed.
  bool start(double rate = 48000.0, int32 maxBlock = 512) {
    ProcessSetup setup{kRealtime, kSample32, maxBlock, rate};
    if (audio->setupProcessing(setup) != kResultOk) return false;
    if (component->setActive(true) != kResultOk) return false;
    audio->setProcessing(true);
    return true;
  }
};

// Stereo output buffers and the ProcessData that points at them.
struct Block {
  std::vector<float> left, right;
  float* channels[2];
  AudioBusBuffers out{};
  ProcessData data{};
  ParamChanges params;
  EventList events;

  explicit Block(int32 frames, float fill = 0.0f) : left(frames, fill), right(frames, fill) {
    channels[0] = left.data();
    channels[1] = right.data();
    out.numChannels = 2;
    out.channelBuffers32 = channels;
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = 0;
    data.numOutputs = 1;
    data.outputs = &out;
    data.inputParameterChanges = &params;
    data.inputEvents = &events;
  }
  void refill(float value) {
    std::fill(left.begin(), left.end(), value);
    std::fill(right.begin(), right.end(), value);
  }
};

}  // namespace orbel::testhost
