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
  // Applied before the first block (a parameter flush) and again at offset 0
  // of the first block, for plug-ins that ignore flushes.
  std::vector<TimedChange> initialChanges;
  std::vector<TimedChange> automation;  // sorted by frame
  std::vector<TimedEvent> events;       // sorted by frame
};

struct RenderStats {
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
using RenderSink = std::function<bool(const float* interleaved, int32_t frames, std::string& error)>;

// The instance must be configured and active.
bool renderJob(PluginInstance& instance, const RenderJob& job, const RenderSink& sink, RenderStats& stats,
               std::string& error);

}  // namespace orbel
