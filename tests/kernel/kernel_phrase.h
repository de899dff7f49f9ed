// A reproducible musical phrase for the kernel (notes, releases, retriggers and
// automation of every parameter at varied frames and block sizes) and a
// driver that renders it through any binding of the eleven entry points.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "kernel/kernel_abi.h"

namespace orbel::test {

struct KernelApi {
  double (*runtimeInit)();
  double (*create)(uint32_t, uint32_t, uint32_t, double);
  double (*outputView)(uint32_t, float**, uint64_t*);
  double (*pushEvent)(uint32_t, uint32_t, uint32_t, uint32_t, double);
  double (*process)(uint32_t, uint32_t);
  double (*destroy)(uint32_t);
};

inline KernelApi linkedKernel() {
  return KernelApi{
      scpr_music_orbel_mirel_9ff6eb2b48a9_runtime_init,
      scpr_music_orbel_mirel_9ff6eb2b48a9_create,
      scpr_music_orbel_mirel_9ff6eb2b48a9_output_view,
      scpr_music_orbel_mirel_9ff6eb2b48a9_push_event,
      scpr_music_orbel_mirel_9ff6eb2b48a9_process,
      scpr_music_orbel_mirel_9ff6eb2b48a9_destroy,
  };
}

struct PhraseEvent {
  uint32_t kind;
  uint32_t frame;
  uint32_t a;
  double value;
};

struct PhraseBlock {
  uint32_t frames;
  std::vector<PhraseEvent> events;
};

class PhraseRandom {
public:
  explicit PhraseRandom(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double range(double low, double high) { return low + (high - low) * uniform(); }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
  bool chance(double p) { return uniform() < p; }

private:
  uint64_t state_;
};

// A random value for parameter `index`, sometimes a little outside its range
// so that clamping takes part.
inline double phraseParameterValue(PhraseRandom& r, uint32_t index) {
  switch (index) {
    case 1:
      return r.range(-2.7, 2.7);
    case 2:
      return r.range(-110, 110);
    case 3:
      return std::exp2(r.range(3.5, 14.5));
    case 4:
      return r.range(0.05, 18.5);
    case 5:
      return r.range(-8.5, 8.5);
    case 6:
      return r.chance(0.3) ? 0.0 : r.range(0, 0.05);
    case 7:
      return r.range(0, 0.3);
    case 8:
      return r.range(-0.1, 1.1);
    case 9:
      return r.range(0, 0.3);
    default:
      return r.range(0, 1.05);
  }
}

// Wave fixed for the whole phrase; pitches stay below the sample rate.
inline std::vector<PhraseBlock> makePhrase(uint64_t seed, int wave, double seconds, double rate) {
  PhraseRandom r(seed);
  std::vector<PhraseBlock> blocks;
  const auto totalFrames = static_cast<uint64_t>(seconds * rate);
  uint64_t rendered = 0;
  int held = -1;
  bool first = true;
  while (rendered < totalFrames) {
    PhraseBlock block;
    block.frames = r.chance(0.5) ? 128u : 1u + r.below(128);
    if (first) {
      block.events.push_back({ORBEL_KERNEL_EVENT_PARAMETER, 0, 0, static_cast<double>(wave)});
      first = false;
    }
    if (r.chance(0.15)) {
      held = 30 + static_cast<int>(r.below(70));
      block.events.push_back({ORBEL_KERNEL_EVENT_NOTE_ON, r.below(block.frames),
                              static_cast<uint32_t>(held), r.range(0.05, 1.0)});
    }
    if (held >= 0 && r.chance(0.08)) {
      block.events.push_back({ORBEL_KERNEL_EVENT_NOTE_OFF, r.below(block.frames),
                              static_cast<uint32_t>(r.chance(0.8) ? held : 64), 0.0});
    }
    const int changes = r.chance(0.4) ? 1 + static_cast<int>(r.below(3)) : 0;
    for (int c = 0; c < changes; ++c) {
      const uint32_t index = 1 + r.below(10);
      block.events.push_back({ORBEL_KERNEL_EVENT_PARAMETER, r.below(block.frames), index,
                              phraseParameterValue(r, index)});
    }
    // Same-frame groups on purpose now and then: a parameter after a note.
    if (block.events.size() >= 2 && r.chance(0.3))
      block.events.back().frame = block.events.front().frame;
    std::stable_sort(block.events.begin(), block.events.end(),
                     [](const PhraseEvent& x, const PhraseEvent& y) { return x.frame < y.frame; });
    rendered += block.frames;
    blocks.push_back(std::move(block));
  }
  return blocks;
}

// Renders the phrase on a new instance; every status must be 0. Returns the
// concatenated output, or an empty vector when a call failed.
inline std::vector<float> renderPhrase(const KernelApi& api, double rate,
                                       const std::vector<PhraseBlock>& blocks) {
  std::vector<float> out;
  const auto handle = static_cast<uint32_t>(api.create(128, 0, 1, rate));
  if (handle == 0) return {};
  float* view = nullptr;
  uint64_t length = 0;
  api.outputView(handle, &view, &length);
  if (view == nullptr || length < 128) return {};
  for (const PhraseBlock& block : blocks) {
    for (const PhraseEvent& e : block.events) {
      if (api.pushEvent(handle, e.kind, e.frame, e.a, e.value) != 0) return {};
    }
    if (api.process(handle, block.frames) != 0) return {};
    out.insert(out.end(), view, view + block.frames);
  }
  api.destroy(handle);
  return out;
}

}  // namespace orbel::test
