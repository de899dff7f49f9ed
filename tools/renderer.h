// The render loop: drives IAudioProcessor::process block by block with
// sample-accurate note events and parameter changes, and collects the main
// output bus as interleaved stereo.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/vsttypes.h"
#include "tools/transport_spec.h"

namespace orbel {

class PluginInstance;

struct TimedEvent {
  int64_t frame = 0;  // absolute frame from the start of the rendering
  Steinberg::Vst::Event event{};
};

struct TimedChange {
  int64_t frame = 0;
  Steinberg::Vst::ParamID id = 0;
  double normalized = 0.0;
};

struct RenderJob {
  double sampleRate = 48000.0;
  int32_t blockSize = 512;
  int64_t totalFrames = 0;
  bool realtime = false;  // the process mode: offline unless rendering in real time
  TransportSpec transport;
  // Applied before the first block (a parameter flush) and again at offset 0
  // of the first block, for plug-ins that ignore flushes.
  std::vector<TimedChange> initialChanges;
  std::vector<TimedChange> automation;  // sorted by frame
  std::vector<TimedEvent> events;       // sorted by frame
  // When 0 or more: renderJob stops early once the output has stayed below
  // -120 dBFS for silentFramesToStop frames from this frame on (the tail has
  // died away); totalFrames is then only the bound.
  int64_t stopWhenSilentFrom = -1;
  int64_t silentFramesToStop = 0;
};

struct RenderStats {
  int64_t frames = 0;  // rendered
  bool stoppedAtSilence = false;
  int64_t blocks = 0;
  int64_t failedBlocks = 0;
  int64_t firstFailedBlock = -1;
  int32_t firstFailure = 0;
  float peak = 0.0f;
};

// The frame a time in seconds falls on (rounded; huge times saturate).
int64_t secondsToFrame(double seconds, double sampleRate);

// Note-on/off events of one note, sorted into `events` later.
void addNote(std::vector<TimedEvent>& events, double sampleRate, int pitch, double startSeconds,
             double durationSeconds, double velocity);

// Sorts by frame; at the same frame note-offs go before note-ons so that a
// note ending where the next begins retriggers cleanly.
void sortEvents(std::vector<TimedEvent>& events);
void sortChanges(std::vector<TimedChange>& changes);

// Receives each rendered block as interleaved stereo frames; returning false
// (with a reason in the string) stops the rendering.
using RenderSink =
    std::function<bool(const float* interleaved, int32_t frames, std::string& error)>;

// Renders a job one process call at a time, so that a caller can do other
// work between blocks (the bridge console runs its run loop there). The
// instance must be configured and active, and outlive the renderer.
class BlockRenderer {
public:
  BlockRenderer(PluginInstance& instance, const RenderJob& job);
  ~BlockRenderer();
  BlockRenderer(const BlockRenderer&) = delete;
  BlockRenderer& operator=(const BlockRenderer&) = delete;

  // Allocates the buffers and hands the initial changes over in a parameter
  // flush; false (with a reason) when the plug-in has no audio output.
  bool start(std::string& error);
  // Renders the next block (the job's block size, less at the end); false
  // once all frames are rendered. The block's audio is in interleaved().
  bool renderNext();
  // A change for offset 0 of the next block, e.g. an edit the controller
  // reported to the host; the controller already holds it.
  void addChange(Steinberg::Vst::ParamID id, double normalized);

  const float* interleaved() const;  // stereo frames of the last block
  int32_t lastFrames() const { return lastFrames_; }
  int32_t blockFrames() const { return job_.blockSize; }
  int64_t position() const { return pos_; }  // frames rendered so far
  bool finished() const { return pos_ >= job_.totalFrames; }
  const RenderStats& stats() const { return stats_; }

private:
  struct Buffers;

  PluginInstance& instance_;
  const RenderJob& job_;
  Buffers* buffers_ = nullptr;
  std::vector<TimedChange> pending_;
  std::size_t nextChange_ = 0;
  std::size_t nextEvent_ = 0;
  int64_t pos_ = 0;
  int32_t lastFrames_ = 0;
  RenderStats stats_;
};

// The instance must be configured and active.
bool renderJob(PluginInstance& instance, const RenderJob& job, const RenderSink& sink,
               RenderStats& stats, std::string& error);

}  // namespace orbel
