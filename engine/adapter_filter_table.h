// The sample-rate adapter's interpolation filters: 1024 phases of a 32-tap
// Hann-windowed sinc for one cutoff, as immutable tables shared by every
// engine that needs the same cutoff. A table depends on its cutoff alone, so
// instances at the same host rate (and every instance, for the cutoff 1 one
// direction always has) build it once per process instead of once per set-up.
#pragma once

#include <cstdint>
#include <memory>

namespace orbel {

struct AdapterFilterTable {
  static constexpr uint32_t kPhases = 1024;
  static constexpr uint32_t kTaps = 32;

  double cutoff = 0.0;
  // Row i holds the taps of phase i; each row starts on a 64-byte boundary,
  // so the taps load as whole vectors.
  alignas(64) float taps[kPhases * kTaps];
  // Per phase, the single-precision sum of its taps (left to right).
  float sums[kPhases];

  const float* row(uint64_t phase) const { return taps + phase * kTaps; }
};

// Main thread (set-up): the table for `cutoff` (the ratio of the lower rate
// to the higher one, at most 1). Null only when memory runs out. Holds a lock
// of its own; never called on the audio thread.
std::shared_ptr<const AdapterFilterTable> adapterFilterTable(double cutoff);

}  // namespace orbel
