// What a listener hears, through the kernel's entry points: a filter whose
// cutoff, envelope amount or resonance moves never bursts above the sound it
// moves between (nor above the bound of docs/voice.md, whatever moves), and the
// triangle starts centred.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/kernel/kernel_phrase.h"

namespace {

using orbel::test::PhraseBlock;
using orbel::test::PhraseEvent;
using orbel::test::PhraseRandom;

enum : uint32_t {
  TYPE = 0,
  OCTAVE,
  DETUNE,
  CUTOFF,
  RESONANCE,
  ENV_AMOUNT,
  ATTACK,
  DECAY,
  SUSTAIN,
  RELEASE,
  GAIN
};

struct TimedEvent {
  uint64_t frame;
  uint32_t kind;
  uint32_t a;
  double value;
};

TimedEvent param(uint64_t frame, uint32_t index, double value) {
  return {frame, ORBEL_KERNEL_EVENT_PARAMETER, index, value};
}
TimedEvent noteOn(uint64_t frame, uint32_t note, double velocity) {
  return {frame, ORBEL_KERNEL_EVENT_NOTE_ON, note, velocity};
}

// Renders `frames` samples in 128-frame blocks with each event at its frame.
std::vector<float> render(double rate, uint64_t frames, std::vector<TimedEvent> events) {
  std::stable_sort(events.begin(), events.end(),
                   [](const TimedEvent& x, const TimedEvent& y) { return x.frame < y.frame; });
  std::vector<PhraseBlock> blocks;
  size_t next = 0;
  for (uint64_t start = 0; start < frames; start += 128) {
    PhraseBlock block{static_cast<uint32_t>(std::min<uint64_t>(128, frames - start)), {}};
    for (; next < events.size() && events[next].frame < start + block.frames; ++next) {
      const TimedEvent& e = events[next];
      block.events.push_back({e.kind, static_cast<uint32_t>(e.frame - start), e.a, e.value});
    }
    blocks.push_back(std::move(block));
  }
  const orbel::test::KernelApi kernel = orbel::test::linkedKernel();
  kernel.runtimeInit();
  return orbel::test::renderPhrase(kernel, rate, blocks);
}

float peak(const std::vector<float>& s, size_t from, size_t to) {
  float p = 0;
  for (size_t i = from; i < std::min(to, s.size()); ++i) p = std::max(p, std::fabs(s[i]));
  return p;
}

// The largest output per unit of gain × velocity that any input within ±1 can
// drive from the filter at resonance q, however its cutoff and resonance move
// (docs/voice.md): L(Q), the prototype's impulse-response norm, plus 1.05 for
// the discrete filter near its 0.45 × rate cap, times 1.15 for the gain error
// of single-precision coefficients at the 10 Hz floor (rates up to 96 kHz).
double filterBound(double q) {
  const double norm = q <= 0.5 ? 1.0 : 1.0 / std::tanh(M_PI / (2.0 * std::sqrt(4.0 * q * q - 1.0)));
  return 1.15 * (norm + 1.05);
}

double dB(double ratio) { return 20.0 * std::log10(ratio); }

// The renders that showed bursts of up to +34 dBFS, a 220 Hz saw at gain 0.8.
// After a cutoff step (at 1 s) or along an envelope sweep, the peak stays
// within 1 dB of the louder of the two held filters it moves between
// (resonance up to 2), and within the derived bound above that.
TEST(VoiceSound, MovingFilterStaysWithinTheSoundItMovesBetween) {
  struct Case {
    const char* name;
    double resonance, cutoff, stepTo, envAmount, velocity;
  };
  const Case cases[] = {
      {"cutoff step 20 kHz to 20 Hz", 0.7, 20000, 20, 0, 1},
      {"cutoff step 20 kHz to 300 Hz", 0.7, 20000, 300, 0, 1},
      {"cutoff step 2 kHz to 400 Hz", 0.7, 2000, 400, 0, 1},
      {"cutoff step 20 Hz to 20 kHz", 0.7, 20, 20000, 0, 1},
      {"envelope sweeping down 8 octaves", 0.7, 2000, 0, -8, 0.8},
      {"envelope sweeping down 7 octaves", 0.7, 2000, 0, -7, 0.8},
      {"resonance 18 held at 300 Hz", 18, 300, 0, 0, 1},
      {"resonance 18, step 20 kHz to 300 Hz", 18, 20000, 300, 0, 1},
  };
  const double rate = 48000;
  const uint64_t second = 48000;
  auto play = [&](double q, double cutoff, double envAmount, double velocity, double stepTo) {
    std::vector<TimedEvent> events = {param(0, RESONANCE, q), param(0, CUTOFF, cutoff),
                                      param(0, ENV_AMOUNT, envAmount), noteOn(0, 57, velocity)};
    if (stepTo > 0) events.push_back(param(second, CUTOFF, stepTo));
    return render(rate, 2 * second, events);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool step = c.stepTo > 0;
    const std::vector<float> moving =
        play(c.resonance, c.cutoff, c.envAmount, c.velocity, c.stepTo);
    ASSERT_EQ(moving.size(), 2 * second);
    // The held filters: before and after the step, or at the envelope's start
    // and sustain (0.7); compared over the same stretch of the same note.
    const double from = c.cutoff;
    const double to = step ? c.stepTo : c.cutoff * std::exp2(c.envAmount * 0.7);
    const size_t begin = step ? second : 0;
    const float held = std::max(peak(play(c.resonance, from, 0, c.velocity, 0), begin, 2 * second),
                                peak(play(c.resonance, to, 0, c.velocity, 0), begin, 2 * second));
    const float got = peak(moving, begin, 2 * second);
    EXPECT_LE(got, 0.8 * c.velocity * filterBound(c.resonance)) << dB(got) << " dBFS";
    if (c.resonance <= 2) {
      EXPECT_LE(dB(got / held), 1.0) << dB(got) << " dBFS against " << dB(held) << " dBFS held";
    }
  }
}

// The triangle, wide open, as the listener hears it: centred from its first
// cycle and no louder there than later.
TEST(VoiceSound, TriangleStartsCentred) {
  const double rate = 48000;
  const std::vector<float> out =
      render(rate, 96000,
             {param(0, TYPE, 3), param(0, CUTOFF, 20000), param(0, ATTACK, 0), param(0, SUSTAIN, 1),
              param(0, GAIN, 1), noteOn(0, 57, 1)});
  const auto cycle = static_cast<size_t>(std::lround(rate / 220.0));
  double mean = 0;
  for (size_t i = 0; i < cycle; ++i) mean += out[i];
  mean /= static_cast<double>(cycle);
  EXPECT_NEAR(mean, 0.0, 0.05);
  EXPECT_LE(peak(out, 0, cycle), peak(out, 48000, 96000));
}

// Seeded random patches with the cutoff, envelope amount and resonance
// stepped and ramped while notes play: every sample is finite and within
// gain × velocity × filterBound(highest resonance).
TEST(VoiceSound, RandomFilterMotionStaysWithinTheBound) {
  const double rates[] = {44100, 48000, 96000};
  for (uint64_t seed = 1; seed <= 30; ++seed) {
    PhraseRandom r(seed);
    const double rate = rates[seed % 3];
    const auto frames = static_cast<uint64_t>(rate);
    const double gain = r.range(0.2, 1);
    const double topQ = seed % 2 == 0 ? 2.0 : 18.0;  // half of them mild, where the bound is tight
    double q = r.range(0.1, topQ);
    double cutoff = std::exp2(r.range(4.33, 14.3));
    double envAmount = r.range(-8, 8);
    std::vector<TimedEvent> events = {
        param(0, TYPE, r.below(4)),
        param(0, OCTAVE, static_cast<double>(r.below(5)) - 2),
        param(0, DETUNE, r.range(-100, 100)),
        param(0, ATTACK, r.chance(0.5) ? 0 : r.range(0, 0.05)),
        param(0, DECAY, r.range(0, 0.3)),
        param(0, SUSTAIN, r.range(0, 1)),
        param(0, RELEASE, r.range(0, 0.3)),
        param(0, GAIN, gain),
        param(0, CUTOFF, cutoff),
        param(0, RESONANCE, q),
        param(0, ENV_AMOUNT, envAmount),
    };
    double highestQ = q;
    double loudest = 0;
    for (uint64_t at = 0; at < frames; at += static_cast<uint64_t>(rate / 4)) {
      const double velocity = r.range(0.05, 1);
      loudest = std::max(loudest, velocity);
      events.push_back(noteOn(at, 24 + r.below(73), velocity));
    }
    // Moves every 64 frames: now and then a step, or a ramp (the cutoff in
    // octaves) towards a new target over up to 40 blocks.
    double targetQ = q, targetCutoff = cutoff, targetEnv = envAmount;
    int rampLeft = 0;
    for (uint64_t at = 64; at < frames; at += 64) {
      if (rampLeft == 0 && r.chance(0.05)) {
        rampLeft = 1 + static_cast<int>(r.below(80));
        targetQ = r.range(0.1, topQ);
        targetCutoff = std::exp2(r.range(4.33, 14.3));
        targetEnv = r.range(-8, 8);
      }
      const uint32_t which = r.below(3);
      if (rampLeft > 0) {
        const double k = 1.0 / rampLeft--;
        q += (targetQ - q) * k;
        cutoff = std::exp2(std::log2(cutoff) + (std::log2(targetCutoff) - std::log2(cutoff)) * k);
        envAmount += (targetEnv - envAmount) * k;
      } else if (r.chance(0.1)) {
        if (which == 0) q = r.range(0.1, topQ);
        if (which == 1) cutoff = std::exp2(r.range(4.33, 14.3));
        if (which == 2) envAmount = r.range(-8, 8);
      } else {
        continue;
      }
      highestQ = std::max(highestQ, q);
      events.push_back(param(at, RESONANCE, q));
      events.push_back(param(at, CUTOFF, cutoff));
      events.push_back(param(at, ENV_AMOUNT, envAmount));
    }
    const std::vector<float> out = render(rate, frames, events);
    ASSERT_EQ(out.size(), frames) << "seed " << seed;
    const double bound = gain * loudest * filterBound(highestQ);
    for (size_t i = 0; i < out.size(); ++i) {
      ASSERT_TRUE(std::isfinite(out[i]) && std::fabs(out[i]) <= bound)
          << "seed " << seed << " at " << rate << " Hz, sample " << i << ": " << out[i] << " > "
          << bound;
    }
  }
}

}  // namespace
