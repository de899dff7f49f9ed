// The kernel against a plain, unoptimised model of the voice and the entry
// layer's event handling, written straight from the formulas: no cached
// coefficients, no hoisting, every single-precision rounding forced through a
// volatile float. The kernel keeps derived values and locals for speed; this
// proves it still produces the same bits, sample by sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/mirel_voice.h"
#include "tests/kernel/kernel_phrase.h"

namespace {

double f32(double x) {
  volatile float f = static_cast<float>(x);
  return f;
}

double roundHalfUp(double x) {
  const double f = std::floor(x);
  return (x - f < 0.5) ? f : f + 1;
}

double clampTo(double v, double low, double high) { return std::max(low, std::min(high, v)); }

struct RefVoice {
  double a1 = 0, a2 = 0, attack = 0.01, b0 = 1, b1 = 0, b2 = 0, cutoff = 2000, decay = 0.2,
         detune = 0, envAmount = 0, envLevel = 0;
  int envStage = 0;
  double frequency = 0;
  int heldNote = -1, pitchNote = -1;
  double masterGain = 0.8, octave = 0;
  int wave = 1;
  double phase = 0, release = 0.3, resonance = 0.7, sampleRate = 48000, sustain = 0.7,
         triangleState = 0, velocity = 0, z1 = 0, z2 = 0;
  double x1 = 0, y1 = 0;  // the filter's last input and output
  bool hasCoefficients = false;
  int counter = 0;

  // The triangle's steady state at a phase: from its low turning point m
  // up during the first half cycle, from -m down during the second.
  static double triangleAt(double p, double dt) {
    if (!(dt > 0 && dt < 0.5)) return 0;
    const double r = 0.999;
    const double rn = std::pow(r, 0.5 / dt);
    const double m = -4 * dt * (r - rn) / ((1 - r) * (1 + rn));
    const bool rising = p < 0.5;
    const double rk = std::pow(r, (rising ? p : p - 0.5) / dt);
    const double t = rk * m + 4 * dt * (r - rk) / (1 - r);
    return rising ? t : -t;
  }

  double voiceFrequency() const {
    if (pitchNote < 0) return 0;
    const double cents = octave * 1200 + detune;
    return f32(
        std::min(440 * std::pow(2.0, (pitchNote - 69 + cents / 100) / 12), 0.45 * sampleRate));
  }

  void setParameter(uint32_t index, double value) {
    const double v = roundHalfUp(value * 100000) / 100000;
    switch (index) {
      case 0: {
        const int next = static_cast<int>(clampTo(roundHalfUp(v), 0, 3));
        if (next == 3 && wave != 3) triangleState = f32(triangleAt(phase, frequency / sampleRate));
        wave = next;
        break;
      }
      case 1:
        octave = clampTo(roundHalfUp(v), -2, 2);
        break;
      case 2:
        detune = clampTo(v, -100, 100);
        break;
      case 3:
        cutoff = clampTo(v, 20, 20000);
        break;
      case 4:
        resonance = clampTo(v, 0.1, 18);
        break;
      case 5:
        envAmount = clampTo(v, -8, 8);
        break;
      case 6:
        attack = clampTo(v, 0, 2);
        break;
      case 7:
        decay = clampTo(v, 0, 2);
        break;
      case 8:
        sustain = clampTo(v, 0, 1);
        break;
      case 9:
        release = clampTo(v, 0, 5);
        break;
      case 10:
        masterGain = clampTo(v, 0, 1);
        break;
    }
  }

  void handleEvent(uint32_t kind, double note, double value) {
    if (kind == 2) {
      const int n = static_cast<int>(clampTo(roundHalfUp(note), 0, 127));
      pitchNote = heldNote = n;
      velocity = clampTo(roundHalfUp(value * 100000) / 100000, 0, 1);
      phase = z1 = z2 = x1 = y1 = envLevel = 0;
      envStage = 1;
      frequency = voiceFrequency();
      // The triangle starts at the low turning point of its steady state.
      const double dt = frequency / sampleRate;
      const double r = 0.999;
      const double rn = std::pow(r, 0.5 / dt);
      triangleState = (dt > 0 && dt < 0.5) ? f32(-4 * dt * (r - rn) / ((1 - r) * (1 + rn))) : 0;
    } else if (kind == 3) {
      if (heldNote < 0 || roundHalfUp(note) != heldNote) return;
      heldNote = -1;
      if (envStage != 0) envStage = 4;
    }
  }

  static double blep(double t, double dt) {
    if (dt <= 0) return 0;
    if (t < dt) {
      const double u = t / dt;
      return 2 * u - u * u - 1;
    }
    if (t > 1 - dt) {
      const double u = (t - 1) / dt;
      return u * u + 2 * u + 1;
    }
    return 0;
  }

  static double square(double p, double dt) {
    if (dt <= 0) return p < 0.5 ? 1 : -1;
    return (p < 0.5 ? 1 : -1) + blep(p, dt) - blep(std::fmod(p + 0.5, 1.0), dt);
  }

  // The low-pass's state as output y and band-pass B: z1 = p·y + c·B + b0·x,
  // z2 = b0·x − a2·y. New coefficients keep y and B.
  static double weightOfY(double a1, double a2) { return 1 - 0.5 * (1 + a1 + a2); }
  static double weightOfB(double a1, double a2) {
    return 0.5 * std::sqrt((1 + a1 + a2) * (1 - a1 + a2));
  }

  void carryFilterState(double nb0, double na1, double na2) {
    const double band = (z1 - weightOfY(a1, a2) * y1 - b0 * x1) / weightOfB(a1, a2);
    z1 = f32(weightOfY(na1, na2) * y1 + nb0 * x1 + weightOfB(na1, na2) * band);
    z2 = f32(nb0 * x1 - na2 * y1);
  }

  double coef(double t) const { return std::exp(-1 / ((std::max(t, 0.0001) / 4.6) * sampleRate)); }

  float renderOne() {
    if (counter == 0) {
      frequency = voiceFrequency();
      double fc = cutoff * std::pow(2.0, envAmount * envLevel);
      if (fc < 10) {
        fc = 10;
      } else {
        fc = std::min(fc, 0.45 * sampleRate);
      }
      const double q = std::max(resonance, 0.0001);
      const double w = 6.283185307179586 * fc / sampleRate;
      const double cs = f32(std::cos(w));
      const double sn = f32(std::sin(w));
      const double alpha = sn / (2 * q);
      const double a0 = 1 + alpha;
      const double nb0 = f32((1 - cs) * 0.5 / a0);
      const double na1 = f32(-2 * cs / a0);
      const double na2 = f32((1 - alpha) / a0);
      if (hasCoefficients && (nb0 != b0 || na1 != a1 || na2 != a2)) carryFilterState(nb0, na1, na2);
      hasCoefficients = true;
      b0 = nb0;
      b1 = f32((1 - cs) / a0);
      b2 = b0;
      a1 = na1;
      a2 = na2;
    }
    const double dt = frequency / sampleRate;
    const double p = phase;
    double s;
    switch (wave) {
      case 0:
        s = f32(std::sin(6.283185307179586 * p));
        break;
      case 1:
        s = (2 * p - 1) - blep(p, dt);
        break;
      case 2:
        s = square(p, dt);
        break;
      default:
        triangleState = f32(f32(triangleState + dt * 4 * square(p, dt)) * 0.999);
        s = triangleState;
        break;
    }
    phase = f32(p + dt);
    if (phase >= 1) phase -= 1;
    const double x = f32(s);
    const double y = f32(b0 * x + z1);
    z1 = f32(b1 * x - a1 * y + z2);
    z2 = f32(b2 * x - a2 * y);
    x1 = x;
    y1 = y;
    const double level = envLevel;
    switch (envStage) {
      case 1:
        envLevel = f32(level + (1 - level) * f32(1 - coef(attack)));
        if (envLevel >= 0.999) {
          envLevel = 1;
          envStage = 2;
        }
        break;
      case 2:
        envLevel = f32(level + (sustain - level) * f32(1 - coef(decay)));
        if (std::fabs(envLevel - sustain) < 0.001) {
          envLevel = f32(sustain);
          envStage = 3;
        }
        break;
      case 3:
        envLevel = f32(sustain);
        break;
      case 4:
        envLevel = f32(level + (0 - level) * f32(1 - coef(release)));
        if (envLevel <= 0.0005) {
          envLevel = 0;
          envStage = 0;
        }
        break;
      default:
        envLevel = 0;
        break;
    }
    const auto out = static_cast<float>(f32(envLevel * y * velocity * masterGain));
    counter = (counter + 1) % 128;
    return out;
  }
};

std::vector<float> renderReference(double rate,
                                   const std::vector<orbel::test::PhraseBlock>& blocks) {
  RefVoice v;
  v.sampleRate = f32(rate);
  for (uint32_t i = 0; i < uint32_t(orbel::MIREL_PARAMETER_COUNT); ++i)
    v.setParameter(i, orbel::MIREL_PARAMETER_DEFAULTS[i]);
  std::vector<float> out;
  for (const auto& block : blocks) {
    uint32_t t = 0;
    const auto& ev = block.events;
    for (size_t h = 0; h < ev.size(); ++h) {
      const uint32_t f = ev[h].frame;
      for (; t < f; ++t) out.push_back(v.renderOne());
      if (h > 0 && ev[h - 1].frame == f) continue;
      size_t end = h;
      while (end < ev.size() && ev[end].frame == f) ++end;
      for (size_t j = h; j < end; ++j) {
        if (ev[j].kind == 1) v.setParameter(ev[j].a, static_cast<float>(ev[j].value));
      }
      for (size_t j = h; j < end; ++j) {
        if (ev[j].kind != 1) v.handleEvent(ev[j].kind, ev[j].a, static_cast<float>(ev[j].value));
      }
    }
    for (; t < block.frames; ++t) out.push_back(v.renderOne());
  }
  return out;
}

TEST(KernelReference, EveryWaveAndRateMatchesThePlainModelToTheBit) {
  const orbel::test::KernelApi kernel = orbel::test::linkedKernel();
  kernel.runtimeInit();
  for (double rate : {22050.0, 44100.0, 48000.0, 96000.0}) {
    for (int wave = 0; wave < 4; ++wave) {
      SCOPED_TRACE("rate " + std::to_string(rate) + " wave " + std::to_string(wave));
      const auto phrase = orbel::test::makePhrase(7 + wave, wave, 1.5, rate);
      const std::vector<float> got = orbel::test::renderPhrase(kernel, rate, phrase);
      const std::vector<float> want = renderReference(rate, phrase);
      ASSERT_EQ(got.size(), want.size());
      size_t firstDiff = got.size();
      for (size_t i = 0; i < got.size(); ++i) {
        if (std::memcmp(&got[i], &want[i], sizeof(float)) != 0) {
          firstDiff = i;
          break;
        }
      }
      ASSERT_EQ(firstDiff, got.size())
          << "kernel " << got[firstDiff] << " model " << want[firstDiff];
      float peak = 0;
      for (float s : got) peak = std::max(peak, std::fabs(s));
      EXPECT_GT(peak, 0.05f) << "the phrase should be audible";
    }
  }
}

}  // namespace
