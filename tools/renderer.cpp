#include "tools/renderer.h"

#include <algorithm>
#include <cmath>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "tools/event_list.h"
#include "tools/parameter_changes.h"
#include "tools/plugin_instance.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Audio buffers of all buses in one direction, allocated once for the whole
// rendering (the loop itself does not allocate).
struct BusBuffers {
  std::vector<std::vector<float>> storage;
  std::vector<std::vector<float*>> pointers;
  std::vector<AudioBusBuffers> buses;

  void allocate(IComponent* component, BusDirection dir, int32 frames) {
    const int32 count = component->getBusCount(kAudio, dir);
    buses.assign(static_cast<std::size_t>(std::max(count, 0)), AudioBusBuffers{});
    pointers.assign(buses.size(), {});
    for (int32 b = 0; b < count; ++b) {
      BusInfo info{};
      int32 channels = 0;
      if (component->getBusInfo(kAudio, dir, b, info) == kResultOk) channels = std::max(info.channelCount, 0);
      for (int32 c = 0; c < channels; ++c) {
        storage.emplace_back(static_cast<std::size_t>(frames), 0.0f);
        pointers[static_cast<std::size_t>(b)].push_back(storage.back().data());
      }
      AudioBusBuffers& bus = buses[static_cast<std::size_t>(b)];
      bus.numChannels = channels;
      bus.silenceFlags = dir == kInput ? (channels >= 64 ? ~0ull : (1ull << channels) - 1) : 0;
      bus.channelBuffers32 = channels > 0 ? pointers[static_cast<std::size_t>(b)].data() : nullptr;
    }
  }

  void clear(int32 frames) {
    for (auto& channel : storage) std::fill(channel.begin(), channel.begin() + frames, 0.0f);
  }
};

}  // namespace

int64_t secondsToFrame(double seconds, double sampleRate) {
  const double frame = seconds * sampleRate;
  // Far beyond any rendering; keeps llround inside its range.
  constexpr double kNever = 1e18;
  if (!(frame < kNever)) return static_cast<int64_t>(kNever);
  return frame > 0 ? static_cast<int64_t>(std::llround(frame)) : 0;
}

void addNote(std::vector<TimedEvent>& events, double sampleRate, int pitch, double startSeconds,
             double durationSeconds, double velocity) {
  const int64_t on = secondsToFrame(startSeconds, sampleRate);
  const int64_t off = std::max(on + 1, secondsToFrame(startSeconds + durationSeconds, sampleRate));
  TimedEvent e;
  e.frame = on;
  e.event.busIndex = 0;
  e.event.type = Event::kNoteOnEvent;
  e.event.noteOn.channel = 0;
  e.event.noteOn.pitch = static_cast<int16>(pitch);
  e.event.noteOn.tuning = 0.0f;
  e.event.noteOn.velocity = static_cast<float>(velocity);
  e.event.noteOn.length = static_cast<int32>(std::min<int64_t>(off - on, INT32_MAX));
  e.event.noteOn.noteId = -1;
  events.push_back(e);
  e.frame = off;
  e.event = Event{};
  e.event.busIndex = 0;
  e.event.type = Event::kNoteOffEvent;
  e.event.noteOff.channel = 0;
  e.event.noteOff.pitch = static_cast<int16>(pitch);
  e.event.noteOff.velocity = 0.0f;
  e.event.noteOff.noteId = -1;
  e.event.noteOff.tuning = 0.0f;
  events.push_back(e);
}

void sortEvents(std::vector<TimedEvent>& events) {
  std::stable_sort(events.begin(), events.end(), [](const TimedEvent& a, const TimedEvent& b) {
    if (a.frame != b.frame) return a.frame < b.frame;
    const bool aOff = a.event.type == Event::kNoteOffEvent;
    const bool bOff = b.event.type == Event::kNoteOffEvent;
    return aOff && !bOff;
  });
}

void sortChanges(std::vector<TimedChange>& changes) {
  std::stable_sort(changes.begin(), changes.end(),
                   [](const TimedChange& a, const TimedChange& b) { return a.frame < b.frame; });
}

bool renderJob(PluginInstance& instance, const RenderJob& job, const RenderSink& sink, RenderStats& stats,
               std::string& error) {
  stats = RenderStats{};
  IComponent* component = instance.component();
  IAudioProcessor* processor = instance.processor();
  IEditController* controller = instance.controller();
  const int32 block = job.blockSize;
  if (block <= 0 || job.totalFrames < 0) {
    error = "invalid render length or block size";
    return false;
  }
  std::vector<float> interleaved(static_cast<std::size_t>(block) * 2, 0.0f);

  BusBuffers inputs, outputs;
  inputs.allocate(component, kInput, block);
  outputs.allocate(component, kOutput, block);
  if (outputs.buses.empty() || outputs.buses[0].numChannels < 1) {
    error = "the plug-in has no audio output";
    return false;
  }

  ParameterChanges inChanges, outChanges;
  EventList inEvents, outEvents;
  ProcessContext context{};
  context.sampleRate = job.sampleRate;
  context.tempo = 120.0;
  context.timeSigNumerator = 4;
  context.timeSigDenominator = 4;

  ProcessData data{};
  data.processMode = kOffline;
  data.symbolicSampleSize = kSample32;

  // Flush: hand the initial values over before any audio is rendered.
  if (!job.initialChanges.empty()) {
    for (const TimedChange& c : job.initialChanges) inChanges.add(c.id, 0, c.normalized);
    data.numSamples = 0;
    data.inputParameterChanges = &inChanges;
    data.outputParameterChanges = &outChanges;
    processor->process(data);
    if (controller)
      for (const TimedChange& c : job.initialChanges) controller->setParamNormalized(c.id, c.normalized);
  }

  std::size_t nextChange = 0;
  std::size_t nextEvent = 0;
  const AudioBusBuffers& main = outputs.buses[0];
  for (int64_t pos = 0; pos < job.totalFrames; pos += block) {
    const int32 frames = static_cast<int32>(std::min<int64_t>(block, job.totalFrames - pos));
    inChanges.clear();
    outChanges.clear();
    inEvents.clear();
    outEvents.clear();
    if (pos == 0)
      for (const TimedChange& c : job.initialChanges) inChanges.add(c.id, 0, c.normalized);
    const std::size_t firstChange = nextChange;
    for (; nextChange < job.automation.size() && job.automation[nextChange].frame < pos + frames; ++nextChange) {
      const TimedChange& c = job.automation[nextChange];
      inChanges.add(c.id, static_cast<int32>(std::max<int64_t>(c.frame - pos, 0)), c.normalized);
    }
    for (; nextEvent < job.events.size() && job.events[nextEvent].frame < pos + frames; ++nextEvent) {
      Event e = job.events[nextEvent].event;
      e.sampleOffset = static_cast<int32>(std::max<int64_t>(job.events[nextEvent].frame - pos, 0));
      inEvents.addEvent(e);
    }

    context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                    ProcessContext::kProjectTimeMusicValid | ProcessContext::kContTimeValid;
    context.projectTimeSamples = pos;
    context.continousTimeSamples = pos;
    context.projectTimeMusic = static_cast<double>(pos) / job.sampleRate * (context.tempo / 60.0);

    inputs.clear(frames);
    outputs.clear(frames);
    data.numSamples = frames;
    data.numInputs = static_cast<int32>(inputs.buses.size());
    data.inputs = inputs.buses.empty() ? nullptr : inputs.buses.data();
    data.numOutputs = static_cast<int32>(outputs.buses.size());
    data.outputs = outputs.buses.data();
    data.inputParameterChanges = &inChanges;
    data.outputParameterChanges = &outChanges;
    data.inputEvents = &inEvents;
    data.outputEvents = &outEvents;
    data.processContext = &context;

    const tresult r = processor->process(data);
    ++stats.blocks;
    if (r != kResultOk) {
      if (stats.failedBlocks++ == 0) {
        stats.firstFailedBlock = stats.blocks - 1;
        stats.firstFailure = r;
      }
    }

    float* left = main.channelBuffers32[0];
    float* right = main.numChannels > 1 ? main.channelBuffers32[1] : left;
    float* out = interleaved.data();
    for (int32 i = 0; i < frames; ++i) {
      out[2 * i] = left[i];
      out[2 * i + 1] = right[i];
      stats.peak = std::max({stats.peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    if (!sink(interleaved.data(), frames, error)) return false;

    // A host keeps the controller in step with what the processor played:
    // the automation it sent and the values the processor reports back.
    if (controller) {
      for (std::size_t k = firstChange; k < nextChange; ++k)
        controller->setParamNormalized(job.automation[k].id, job.automation[k].normalized);
      for (int32 q = 0; q < outChanges.getParameterCount(); ++q) {
        IParamValueQueue* queue = outChanges.getParameterData(q);
        int32 offset = 0;
        ParamValue value = 0;
        if (queue && queue->getPointCount() > 0 &&
            queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk)
          controller->setParamNormalized(queue->getParameterId(), value);
      }
    }
  }
  return true;
}

}  // namespace orbel
