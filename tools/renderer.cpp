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
      if (component->getBusInfo(kAudio, dir, b, info) == kResultOk)
        channels = std::max(info.channelCount, 0);
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

struct BlockRenderer::Buffers {
  BusBuffers inputs, outputs;
  std::vector<float> interleaved;
  ParameterChanges inChanges, outChanges;
  EventList inEvents, outEvents;
  ProcessContext context{};
  ProcessData data{};
};

BlockRenderer::BlockRenderer(PluginInstance& instance, const RenderJob& job)
    : instance_(instance), job_(job) {}

BlockRenderer::~BlockRenderer() { delete buffers_; }

const float* BlockRenderer::interleaved() const {
  return buffers_ ? buffers_->interleaved.data() : nullptr;
}

void BlockRenderer::addChange(ParamID id, double normalized) {
  TimedChange change;
  change.id = id;
  change.normalized = normalized;
  pending_.push_back(change);
}

bool BlockRenderer::start(std::string& error) {
  const int32 block = job_.blockSize;
  if (block <= 0 || job_.totalFrames < 0) {
    error = "invalid render length or block size";
    return false;
  }
  delete buffers_;
  buffers_ = new Buffers();
  Buffers& b = *buffers_;
  b.interleaved.assign(static_cast<std::size_t>(block) * 2, 0.0f);
  b.inputs.allocate(instance_.component(), kInput, block);
  b.outputs.allocate(instance_.component(), kOutput, block);
  if (b.outputs.buses.empty() || b.outputs.buses[0].numChannels < 1) {
    error = "the plug-in has no audio output";
    return false;
  }
  b.context.sampleRate = job_.sampleRate;
  b.context.tempo = job_.transport.tempo;
  b.context.timeSigNumerator = job_.transport.numerator;
  b.context.timeSigDenominator = job_.transport.denominator;
  b.data.processMode = job_.realtime ? kRealtime : kOffline;
  b.data.symbolicSampleSize = kSample32;

  // Flush: hand the initial values over before any audio is rendered.
  if (!job_.initialChanges.empty()) {
    for (const TimedChange& c : job_.initialChanges) b.inChanges.add(c.id, 0, c.normalized);
    b.data.numSamples = 0;
    b.data.inputParameterChanges = &b.inChanges;
    b.data.outputParameterChanges = &b.outChanges;
    instance_.processor()->process(b.data);
    if (IEditController* controller = instance_.controller())
      for (const TimedChange& c : job_.initialChanges)
        controller->setParamNormalized(c.id, c.normalized);
  }
  return true;
}

bool BlockRenderer::renderNext() {
  if (buffers_ == nullptr || finished()) return false;
  Buffers& b = *buffers_;
  IEditController* controller = instance_.controller();
  const int64_t pos = pos_;
  const int32 frames =
      static_cast<int32>(std::min<int64_t>(job_.blockSize, job_.totalFrames - pos));
  b.inChanges.clear();
  b.outChanges.clear();
  b.inEvents.clear();
  b.outEvents.clear();
  if (pos == 0)
    for (const TimedChange& c : job_.initialChanges) b.inChanges.add(c.id, 0, c.normalized);
  for (const TimedChange& c : pending_) b.inChanges.add(c.id, 0, c.normalized);
  pending_.clear();
  const std::size_t firstChange = nextChange_;
  for (; nextChange_ < job_.automation.size() && job_.automation[nextChange_].frame < pos + frames;
       ++nextChange_) {
    const TimedChange& c = job_.automation[nextChange_];
    b.inChanges.add(c.id, static_cast<int32>(std::max<int64_t>(c.frame - pos, 0)), c.normalized);
  }
  for (; nextEvent_ < job_.events.size() && job_.events[nextEvent_].frame < pos + frames;
       ++nextEvent_) {
    Event e = job_.events[nextEvent_].event;
    e.sampleOffset = static_cast<int32>(std::max<int64_t>(job_.events[nextEvent_].frame - pos, 0));
    b.inEvents.addEvent(e);
  }

  ProcessContext& context = b.context;
  context.state = ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                  ProcessContext::kProjectTimeMusicValid | ProcessContext::kContTimeValid;
  if (job_.transport.playing) {
    context.state |= ProcessContext::kPlaying;
    context.projectTimeSamples = pos;
    context.projectTimeMusic = static_cast<double>(pos) / job_.sampleRate * (context.tempo / 60.0);
  }
  // The start of the bar the position is in, in quarter notes.
  const double quartersPerBar = 4.0 * context.timeSigNumerator / context.timeSigDenominator;
  context.state |= ProcessContext::kBarPositionValid;
  context.barPositionMusic = std::floor(context.projectTimeMusic / quartersPerBar) * quartersPerBar;
  context.continousTimeSamples = pos;

  b.inputs.clear(frames);
  b.outputs.clear(frames);
  ProcessData& data = b.data;
  data.numSamples = frames;
  data.numInputs = static_cast<int32>(b.inputs.buses.size());
  data.inputs = b.inputs.buses.empty() ? nullptr : b.inputs.buses.data();
  data.numOutputs = static_cast<int32>(b.outputs.buses.size());
  data.outputs = b.outputs.buses.data();
  data.inputParameterChanges = &b.inChanges;
  data.outputParameterChanges = &b.outChanges;
  data.inputEvents = &b.inEvents;
  data.outputEvents = &b.outEvents;
  data.processContext = &context;

  const tresult r = instance_.processor()->process(data);
  ++stats_.blocks;
  if (r != kResultOk) {
    if (stats_.failedBlocks++ == 0) {
      stats_.firstFailedBlock = stats_.blocks - 1;
      stats_.firstFailure = r;
    }
  }

  const AudioBusBuffers& main = b.outputs.buses[0];
  float* left = main.channelBuffers32[0];
  float* right = main.numChannels > 1 ? main.channelBuffers32[1] : left;
  float* out = b.interleaved.data();
  for (int32 i = 0; i < frames; ++i) {
    out[2 * i] = left[i];
    out[2 * i + 1] = right[i];
    stats_.peak = std::max({stats_.peak, std::fabs(left[i]), std::fabs(right[i])});
  }
  lastFrames_ = frames;
  pos_ += frames;

  // A host keeps the controller in step with what the processor played:
  // the automation it sent and the values the processor reports back.
  if (controller) {
    for (std::size_t k = firstChange; k < nextChange_; ++k)
      controller->setParamNormalized(job_.automation[k].id, job_.automation[k].normalized);
    for (int32 q = 0; q < b.outChanges.getParameterCount(); ++q) {
      IParamValueQueue* queue = b.outChanges.getParameterData(q);
      int32 offset = 0;
      ParamValue value = 0;
      if (queue && queue->getPointCount() > 0 &&
          queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk)
        controller->setParamNormalized(queue->getParameterId(), value);
    }
  }
  return true;
}

bool renderJob(PluginInstance& instance, const RenderJob& job, const RenderSink& sink,
               RenderStats& stats, std::string& error) {
  stats = RenderStats{};
  BlockRenderer renderer(instance, job);
  if (!renderer.start(error)) return false;
  constexpr float kSilence = 1e-6f;  // -120 dBFS
  int64_t silentRun = 0;
  bool atSilence = false;
  while (!atSilence && renderer.renderNext()) {
    stats = renderer.stats();
    stats.frames = renderer.position();
    if (!sink(renderer.interleaved(), renderer.lastFrames(), error)) return false;
    if (job.stopWhenSilentFrom >= 0) {
      bool silent = true;
      const float* x = renderer.interleaved();
      for (int32_t i = 0; i < 2 * renderer.lastFrames() && silent; ++i)
        silent = std::fabs(x[i]) <= kSilence;
      silentRun = silent ? silentRun + renderer.lastFrames() : 0;
      atSilence = renderer.position() >= job.stopWhenSilentFrom + job.silentFramesToStop &&
                  silentRun >= job.silentFramesToStop;
    }
  }
  stats = renderer.stats();
  stats.frames = renderer.position();
  stats.stoppedAtSilence = atSilence;
  return true;
}

}  // namespace orbel
