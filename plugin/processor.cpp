#include "plugin/processor.h"

#include <algorithm>
#include <cmath>

#include "plugin/host_call_trace.h"
#include "params/param_table.h"
#include "plugin/plugin_ids.h"
#include "plugin/realtime_guard_hook.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

OrbelProcessor::OrbelProcessor() { setControllerClass(kControllerUID); }

FUnknown* OrbelProcessor::createInstance(void* /*context*/) {
  return static_cast<IAudioProcessor*>(new OrbelProcessor());
}

tresult PLUGIN_API OrbelProcessor::initialize(FUnknown* context) {
  const tresult result = AudioEffect::initialize(context);
  host_call_trace::line(this, "initialize", "result=%d", result);
  if (result != kResultOk) return result;
  mainThread = std::this_thread::get_id();
  addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo, kMain, BusInfo::kDefaultActive);
  for (uint32 i = 0; i < engine.eventInputCount(); ++i)
    addEventInput(STR16("Event In"), 1, kMain, BusInfo::kDefaultActive);
  // Kernels that report MIDI outputs get one event output per output.
  for (uint32 i = 0; i < engine.eventOutputCount(); ++i)
    addEventOutput(STR16("Event Out"), 1, kMain, BusInfo::kDefaultActive);
  return kResultOk;
}

tresult PLUGIN_API OrbelProcessor::setupProcessing(ProcessSetup& setup) {
  const tresult result = runSetupProcessing(setup);
  host_call_trace::line(this, "setupProcessing",
                        "mode=%d sampleSize=%d maxBlock=%d rate=%.17g active=%d result=%d",
                        setup.processMode, setup.symbolicSampleSize, setup.maxSamplesPerBlock,
                        setup.sampleRate, active ? 1 : 0, result);
  return result;
}

tresult OrbelProcessor::runSetupProcessing(ProcessSetup& setup) {
  flushDeferredReports();
  const tresult result = AudioEffect::setupProcessing(setup);
  if (result != kResultOk) return result;
  // The kernel allows a fixed number of instances per process, so only an
  // active processor holds one: set-up checks the format and sizes the
  // buffers, activation takes the instance.
  const bool ready = active ? engine.setup(setup.sampleRate, setup.maxSamplesPerBlock)
                            : engine.configure(setup.sampleRate, setup.maxSamplesPerBlock);
  if (!ready) {
    onSetupFailed();
    return kResultFalse;
  }
  onSetupSucceeded();
  return kResultOk;
}

tresult PLUGIN_API OrbelProcessor::setActive(TBool state) {
  const tresult result = runSetActive(state);
  host_call_trace::line(this, "setActive", "state=%d result=%d", state ? 1 : 0, result);
  return result;
}

tresult PLUGIN_API OrbelProcessor::setProcessing(TBool state) {
  const tresult result = AudioEffect::setProcessing(state);
  host_call_trace::line(this, "setProcessing", "state=%d result=%d", state ? 1 : 0, result);
  return result;
}

tresult PLUGIN_API OrbelProcessor::terminate() {
  host_call_trace::line(this, "terminate", "active=%d", active ? 1 : 0);
  return AudioEffect::terminate();
}

tresult OrbelProcessor::runSetActive(TBool state) {
  flushDeferredReports();
  if (state) {
    if (!engine.setup(processSetup.sampleRate, processSetup.maxSamplesPerBlock)) {
      onSetupFailed();
      return kResultFalse;
    }
  } else {
    // A deactivated processor (a disabled track) gives its kernel instance
    // back for others to use.
    engine.releaseKernel();
  }
  active = state != 0;
  const tresult result = AudioEffect::setActive(state);
  if (result != kResultOk) return result;
  onActivated(state != 0);
  return kResultOk;
}

tresult PLUGIN_API OrbelProcessor::canProcessSampleSize(int32 symbolicSampleSize) {
  return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API OrbelProcessor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                      SpeakerArrangement* outputs, int32 numOuts) {
  flushDeferredReports();
  // Only the one layout the instrument has: no inputs, one stereo output.
  if (numIns != 0 || numOuts != 1 || !outputs || outputs[0] != SpeakerArr::kStereo)
    return kResultFalse;
  const tresult result = AudioEffect::setBusArrangements(inputs, 0, outputs, 1);
  if (result == kResultTrue) onBusArrangementAccepted();
  return result;
}

uint32 PLUGIN_API OrbelProcessor::getLatencySamples() {
  if (!engine.rateConverted() || engine.hostRate() == 48000.0) return 0;
  // The adapter's fixed delay: 16 host frames plus 20 kernel frames.
  return static_cast<uint32>(engine.hostRate() * 20.0 / 48000.0 + 16.0 + 0.999999);
}

uint32 PLUGIN_API OrbelProcessor::getTailSamples() {
  // After its note-off the voice falls exponentially: by 40 dB over the
  // release time, and it goes silent (the kernel's idle threshold, 66 dB
  // down) after ln(1 / 0.0005) / 4.6 = 1.65 release times. The host keeps
  // processing for that long plus one 128-frame quantum, so it never cuts a
  // release that still sounds.
  const double release = std::max(engine.paramValue(ORBEL_PARAM_AMP_RELEASE), 0.0);
  const double rate = engine.hostRate();
  const double releaseFrames = std::ceil(release * (std::log(1.0 / 0.0005) / 4.6) * rate);
  const double quantum =
      std::ceil(KernelEngine::kChunkFrames * rate /
                (engine.usesRateAdapter() ? double(KernelEngine::kKernelRate) : rate));
  const double tail = releaseFrames + quantum + getLatencySamples();
  return tail < 4294967295.0 ? static_cast<uint32>(tail) : kInfiniteTail;
}

void OrbelProcessor::queueParameterChanges(IParameterChanges* changes) {
  if (!changes) return;
  const int32 count = changes->getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    IParamValueQueue* queue = changes->getParameterData(i);
    if (!queue) continue;
    const ParamID id = queue->getParameterId();
    const int32 points = queue->getPointCount();
    if (points <= 0) continue;
    const bool known = id < ORBEL_PARAM_COUNT;
    for (int32 p = 0; p < points; ++p) {
      int32 offset = 0;
      ParamValue value = 0;
      if (queue->getPoint(p, offset, value) != kResultOk) continue;
      if (known) engine.pushParamNormalized(id, value, offset);
    }
  }
}

void OrbelProcessor::queueNoteEvents(IEventList* events) {
  if (!events) return;
  const int32 count = events->getEventCount();
  for (int32 i = 0; i < count; ++i) {
    Event e{};
    if (events->getEvent(i, e) != kResultOk) continue;
    const uint32 route =
        engine.eventRouteForInput(e.busIndex < 0 ? 0u : static_cast<uint32>(e.busIndex));
    switch (e.type) {
      case Event::kNoteOffEvent:
        engine.pushNoteOff(e.noteOff.pitch, e.sampleOffset, route,
                           static_cast<uint32>(e.noteOff.channel), e.noteOff.noteId);
        break;
      case Event::kNoteOnEvent:
        // Velocities above 1 (some hosts overshoot) play at full velocity
        // rather than being refused by the kernel.
        if (e.noteOn.velocity > 0.0f)
          engine.pushNoteOn(e.noteOn.pitch, std::min(e.noteOn.velocity, 1.0f), e.sampleOffset,
                            route, static_cast<uint32>(e.noteOn.channel), e.noteOn.noteId);
        else
          engine.pushNoteOff(e.noteOn.pitch, e.sampleOffset, route,
                             static_cast<uint32>(e.noteOn.channel), e.noteOn.noteId);
        break;
      default:
        break;
    }
  }
}

tresult PLUGIN_API OrbelProcessor::process(ProcessData& data) {
  const tresult result = runProcess(data);
  if (host_call_trace::stream() != nullptr) host_call_trace::process(this, data, result);
  return result;
}

tresult OrbelProcessor::runProcess(ProcessData& data) {
  const RealtimeGuardScope guard("OrbelProcessor::process");
  if (data.symbolicSampleSize != kSample32) return kResultFalse;

  // Events that find the engine's queue full are lost; the engine counts them
  // against the block, which then does not report success.
  queueParameterChanges(data.inputParameterChanges);
  queueNoteEvents(data.inputEvents);

  if (data.numSamples <= 0) {
    // A flush: parameter values take effect in the engine's table now and
    // reach the kernel with the next rendered block; note events wait for
    // that block's first frame.
    engine.processBlock(nullptr, 0, nullptr, 0, 0);
    return engine.lastBlockDroppedEvents() ? kResultFalse : kResultOk;
  }

  if (data.numOutputs < 1 || !data.outputs) return kResultFalse;
  AudioBusBuffers& out = data.outputs[0];
  float** outputChannels = out.channelBuffers32;
  if (!outputChannels || out.numChannels < 1) return kResultFalse;
  float** inputChannels = nullptr;
  int32 inputCount = 0;
  if (data.numInputs >= 1 && data.inputs) {
    inputChannels = data.inputs[0].channelBuffers32;
    inputCount = inputChannels ? data.inputs[0].numChannels : 0;
  }

  engine.processBlock(inputChannels, inputCount, outputChannels, out.numChannels, data.numSamples);
  captureTransportFact(data);

  uint64 silence = 0;
  const int32 flagged = out.numChannels < 63 ? out.numChannels : 63;
  for (int32 c = 0; c < flagged; ++c) {
    const float* channel = outputChannels[c];
    bool silent = true;
    if (channel) {
      for (int32 s = 0; s < data.numSamples; ++s)
        if (channel[s] != 0.0f) {
          silent = false;
          break;
        }
    }
    if (silent) silence |= uint64(1) << c;
  }
  out.silenceFlags = silence;

  return engine.lastBlockFailed() || engine.lastBlockDroppedEvents() ? kResultFalse : kResultOk;
}

}  // namespace orbel
