#pragma once
// Judges a host's render of Mirel against what the host was asked to play.
//
// The plan is the text the session script writes:
//   rate <Hz> / length <frames> / param <label> <value> / note <key> <velocity> <start> <end>
// The checks assume the sine wave (label "Wave" = 0) and read the level from
// "Gain": what a listener would notice first — sound where there are notes,
// silence where there are none, the right pitch, a clean sine, the set level.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/host/wav_file.h"

namespace orbel {

struct RenderNote {
  int key = 0;
  int velocity = 0;
  std::int64_t start = 0;  // frames
  std::int64_t end = 0;    // frames, exclusive
};

struct RenderPlan {
  int sampleRate = 0;
  std::int64_t length = 0;
  std::map<std::string, double> params;
  std::vector<RenderNote> notes;  // in time order, not overlapping
};

bool parseRenderPlan(const std::string& text, RenderPlan& plan, std::string& error);

// Signal measures over frames [from, to) of one channel (clamped to its size).
double peakOf(const std::vector<float>& x, std::size_t from, std::size_t to);
double rmsOf(const std::vector<float>& x, std::size_t from, std::size_t to);
// Frequency from rising zero crossings (linearly interpolated); 0 when fewer
// than two crossings.
double estimatePitch(const std::vector<float>& x, std::size_t from, std::size_t to, int sampleRate);
// Largest amplitude among harmonics 2 to 5 (below Nyquist) relative to the
// fundamental f0, Hann-windowed: about 0 for a sine, 1/k for a saw.
double harmonicRatio(const std::vector<float>& x, std::size_t from, std::size_t to, int sampleRate,
                     double f0);

// Peak level a held note settles at: Mirel's default sustain level (0.7) times
// velocity / 127 times the gain.
double expectedSustainPeak(const RenderNote& note, double gain);

// Empty when the render matches the plan; otherwise one line per problem. A
// render whose first note starts within the onset tolerance (5 ms) of its
// plan is judged as moved by that much as a whole (a host's export may start
// a few samples off).
std::vector<std::string> checkRender(const RenderPlan& plan, const WavAudio& render);
// First frame from `from` on whose level is above the onset threshold (1e-4);
// the channel's size when there is none.
std::size_t firstOnset(const std::vector<float>& x, std::size_t from);

// Empty when two renders of the same session sound the same (10 ms RMS
// envelopes agree within 2 %). Renders whose sound starts up to the onset
// tolerance (5 ms) apart are compared aligned; `lag`, when given, receives
// how many frames later the second starts (negative: earlier).
std::vector<std::string> compareRenders(const WavAudio& first, const WavAudio& second,
                                        long* lag = nullptr);

}  // namespace orbel
