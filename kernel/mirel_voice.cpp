#include "kernel/mirel_voice.h"

#include <algorithm>
#include <cmath>

namespace orbel {

const std::string_view MIREL_PARAMETER_IDS[MIREL_PARAMETER_COUNT] = {
    "osc.type",         "osc.octave",       "osc.detune",    "filter.cutoff",
    "filter.resonance", "filter.envAmount", "ampEnv.attack", "ampEnv.decay",
    "ampEnv.sustain",   "ampEnv.release",   "master.gain",
};

const double MIREL_PARAMETER_DEFAULTS[MIREL_PARAMETER_COUNT] = {
    1, 0, 0, 2000, 0.7, 0, 0.01, 0.2, 0.7, 0.3, 0.8,
};

const MirelParameterRange MIREL_PARAMETER_RANGES[MIREL_PARAMETER_COUNT] = {
    {0, 3}, {-2, 2}, {-100, 100}, {20, 20000}, {0.1, 18}, {-8, 8},
    {0, 2}, {0, 2},  {0, 1},      {0, 5},      {0, 1},
};

namespace {

constexpr double TWO_PI = 6.283185307179586;

double clampTo(double v, double low, double high) { return std::max(low, std::min(high, v)); }

double quantise(double value) { return voiceRound(value * VOICE_VALUE_SCALE) / VOICE_VALUE_SCALE; }

bool isWhole(double x) { return std::floor(x) == x; }

// f32(1 - coef(T)): the per-sample step of an envelope stage lasting T seconds.
// It depends only on T and the rate, so it is computed when either changes.
float envelopeStep(double stageTime, double sampleRate) {
  const double coef = std::exp(-1.0 / ((std::max(stageTime, 0.0001) / 4.6) * sampleRate));
  return static_cast<float>(1.0 - coef);
}

inline double blep(double t, double dt) {
  if (dt <= 0.0) return 0.0;
  if (t < dt) {
    const double u = t / dt;
    return 2.0 * u - u * u - 1.0;
  }
  if (t > 1.0 - dt) {
    const double u = (t - 1.0) / dt;
    return u * u + 2.0 * u + 1.0;
  }
  return 0.0;
}

inline double squareSample(double p, double dt) {
  const double naive = p < 0.5 ? 1.0 : -1.0;
  if (dt <= 0.0) return naive;
  // (p + 0.5) mod 1 without a library call for the usual sums in [0, 2),
  // where subtracting 1 is exact and equals fmod.
  double shifted = p + 0.5;
  if (shifted >= 1.0 && shifted < 2.0) {
    shifted -= 1.0;
  } else if (!(shifted >= 0.0 && shifted < 1.0)) {
    shifted = std::fmod(shifted, 1.0);
  }
  return naive + blep(p, dt) - blep(shifted, dt);
}

// When the cutoff is a tiny fraction of the rate (10 Hz at 384 kHz), cos w
// rounds to 1 or just below it and the single-precision feedback coefficients
// can put a pole a hair outside the unit circle: a held note then grows to
// infinity within a fraction of a second. Only such an unstable pair is moved,
// one float step at a time, until both poles are inside (Jury's conditions,
// evaluated exactly in double); every stable pair is left exactly as computed.
void keepPolesInside(float& a1, float& a2) {
  if (!(a2 < 1.0f)) a2 = std::nextafter(1.0f, 0.0f);
  if (!(a2 > -1.0f)) a2 = std::nextafter(-1.0f, 0.0f);
  for (int i = 0; i < 64 && !(1.0 + a1 + a2 > 0.0); ++i) a1 = std::nextafter(a1, 2.0f);
  for (int i = 0; i < 64 && !(1.0 - a1 + a2 > 0.0); ++i) a1 = std::nextafter(a1, -2.0f);
}

// The low-pass is the bilinear image of 1 / (s² + s/Q + 1) with the step
// g = tan(w/2): the trapezoidal integration of that prototype, whose own time
// τ runs 2g per sample. Its natural state is the output y and the band-pass
// B = dy/dτ; the transposed direct form stores them mixed, z1 = p·y + c·B + b0·x
// and z2 = b0·x − a2·y, with c ≈ w. So z1 stored for one set of coefficients
// and read with another is wrong by up to ~1/w² at the output (+34 dBFS for a
// step from 20 kHz to 20 Hz). A new cutoff only changes how fast τ runs and a
// new Q only the damping; neither moves y or B. So on a change, y and B are
// read with the old coefficients and z1, z2 written for the new ones: the
// output stays continuous, and as a trapezoidal step cannot raise y² + B²
// without input, whatever g and Q, no motion of the filter pumps energy into
// it (docs/voice.md has the bound that follows).
struct LowpassForm {
  double p;  // weight of y in z1: 1 − 2g²/D, D = 1 + g² + g/Q
  double c;  // weight of B in z1: 2g/D
};

// Exact for any single-precision pair: 1 + a1 + a2 = 4g²/D, 1 − a1 + a2 = 4/D.
LowpassForm lowpassForm(double a1, double a2) {
  const double sum = 1.0 + a1 + a2;
  const double diff = 1.0 - a1 + a2;
  return {1.0 - 0.5 * sum, 0.5 * std::sqrt(sum * diff)};
}

void carryFilterState(MirelVoice& v, float b0, float a1, float a2) {
  const LowpassForm from = lowpassForm(v.a1, v.a2);
  const LowpassForm to = lowpassForm(a1, a2);
  const double x = v.x1;
  const double y = v.y1;
  const double band =
      (static_cast<double>(v.z1) - from.p * y - static_cast<double>(v.b0) * x) / from.c;
  v.z1 = static_cast<float>(to.p * y + static_cast<double>(b0) * x + to.c * band);
  v.z2 = static_cast<float>(static_cast<double>(b0) * x - static_cast<double>(a2) * y);
}

// Pitch and filter coefficients, once per render quantum. The sine and cosine
// are skipped when the effective cutoff and Q equal those of the coefficients
// in place (a held sustain, an unmodulated filter): they would give the same bits.
// The first coefficients of a fresh voice (after prepare or reset) replace its
// pass-through values at once; later changes carry the filter's state over.
void updateCoefficients(MirelVoice& v) {
  if (v.pitchNote != v.pitchKeyNote || v.octave != v.pitchKeyOctave ||
      v.detune != v.pitchKeyDetune) {
    v.pitchKeyNote = v.pitchNote;
    v.pitchKeyOctave = v.octave;
    v.pitchKeyDetune = v.detune;
    v.pitchKeyFrequency = static_cast<float>(voiceFrequency(v));
  }
  v.frequency = v.pitchKeyFrequency;

  // 2^0 is exactly 1: an unmodulated filter needs no power.
  const double octaves = v.envAmount * static_cast<double>(v.envLevel);
  double fc = octaves == 0.0 ? v.cutoff : v.cutoff * std::pow(2.0, octaves);
  if (fc < 10.0) fc = 10.0;
  // Also capped after the 10 Hz floor: at rates below 22.3 Hz the floor would
  // otherwise sit above Nyquist, where the low-pass becomes unstable.
  fc = std::min(fc, 0.45 * v.sampleRate);
  const double q = std::max(v.resonance, 0.0001);
  if (fc == v.filterFc && q == v.filterQ) return;
  const bool fresh = v.filterFc < 0.0;
  v.filterFc = fc;
  v.filterQ = q;

  const double w = TWO_PI * fc / v.sampleRate;
  const float cs = static_cast<float>(std::cos(w));
  const float sn = static_cast<float>(std::sin(w));
  const double alpha = static_cast<double>(sn) / (2.0 * q);
  const double a0 = 1.0 + alpha;
  const float b0 = static_cast<float>((1.0 - cs) * 0.5 / a0);
  const float b1 = static_cast<float>((1.0 - cs) / a0);
  float a1 = static_cast<float>(-2.0 * cs / a0);
  float a2 = static_cast<float>((1.0 - alpha) / a0);
  keepPolesInside(a1, a2);
  if (!fresh && (b0 != v.b0 || a1 != v.a1 || a2 != v.a2)) carryFilterState(v, b0, a1, a2);
  v.b0 = b0;
  v.b1 = b1;
  v.b2 = b0;
  v.a1 = a1;
  v.a2 = a2;
}

// b1·x − a1·y with one rounding. The product of two single-precision values
// is exact in double, so the fused form gives exactly the bits of the separate
// multiply and subtract; it only takes a step off the filter's feedback path,
// which bounds the speed of the whole loop.
template <bool Fused>
[[gnu::always_inline]] inline double minusProduct(double sum, double a, double b) {
  if constexpr (Fused) {
    return __builtin_fma(-a, b, sum);
  } else {
    return sum - a * b;
  }
}

// Renders output[begin, end) for one wave. Fields that change per sample are
// held in locals and written back at the end; the coefficient update reads and
// writes the voice, so the locals are synchronised around it.
template <int Wave, bool Fused>
[[gnu::always_inline]] inline void renderRun(MirelState& state, float* out, int begin, int end) {
  MirelVoice& v = state.voice;
  int counter = static_cast<int>(state.quantumCounter);

  double dt = static_cast<double>(v.frequency) / v.sampleRate;
  float phase = v.phase;
  float tri = v.triangleState;
  float z1 = v.z1;
  float z2 = v.z2;
  float x1 = v.x1;
  float y1 = v.y1;
  float level = v.envLevel;
  int stage = v.envStage;
  // The coefficients are single-precision values; widening them once per
  // update instead of at every use changes nothing but the instruction count.
  double b0 = v.b0, b1 = v.b1, b2 = v.b2, a1 = v.a1, a2 = v.a2;

  const double sustain = v.sustain;
  const float sustainLevel = static_cast<float>(sustain);
  const double velocity = v.velocity;
  const double gain = v.masterGain;
  const double attackStep = v.attackStep;
  const double decayStep = v.decayStep;
  const double releaseStep = v.releaseStep;

  for (int i = begin; i < end; ++i) {
    if (counter == 0) {
      v.envLevel = level;
      v.z1 = z1;
      v.z2 = z2;
      v.x1 = x1;
      v.y1 = y1;
      updateCoefficients(v);
      z1 = v.z1;
      z2 = v.z2;
      dt = static_cast<double>(v.frequency) / v.sampleRate;
      b0 = v.b0;
      b1 = v.b1;
      b2 = v.b2;
      a1 = v.a1;
      a2 = v.a2;
    }

    // Oscillator.
    const double p = phase;
    double s;
    if constexpr (Wave == WAVE_SINE) {
      const float sine = static_cast<float>(std::sin(TWO_PI * p));
      s = sine;
    } else if constexpr (Wave == WAVE_SAW) {
      s = (2.0 * p - 1.0) - blep(p, dt);
    } else if constexpr (Wave == WAVE_SQUARE) {
      s = squareSample(p, dt);
    } else {
      tri = static_cast<float>(static_cast<double>(tri) + dt * 4.0 * squareSample(p, dt));
      tri = static_cast<float>(static_cast<double>(tri) * 0.999);
      s = tri;
    }

    // Phase. Above the rate (dt >= 1) one subtraction would not bring it back
    // into [0, 1) and it would grow without bound; the fractional part is taken
    // instead, which is the same as subtracting 1 whenever that suffices.
    phase = static_cast<float>(p + dt);
    if (phase >= 1.0f) phase -= std::floor(phase);

    // Filter (transposed direct form II).
    const float x = static_cast<float>(s);
    const float y = static_cast<float>(b0 * x + static_cast<double>(z1));
    z1 = static_cast<float>(minusProduct<Fused>(b1 * x, a1, y) + static_cast<double>(z2));
    z2 = static_cast<float>(minusProduct<Fused>(b2 * x, a2, y));
    x1 = x;
    y1 = y;

    // Envelope.
    const double l = level;
    switch (stage) {
      case STAGE_ATTACK:
        level = static_cast<float>(l + (1.0 - l) * attackStep);
        if (level >= ENV_ATTACK_DONE) {
          level = 1.0f;
          stage = STAGE_DECAY;
        }
        break;
      case STAGE_DECAY:
        level = static_cast<float>(l + (sustain - l) * decayStep);
        if (std::fabs(static_cast<double>(level) - sustain) < ENV_SUSTAIN_EPSILON) {
          level = sustainLevel;
          stage = STAGE_SUSTAIN;
        }
        break;
      case STAGE_SUSTAIN:
        level = sustainLevel;
        break;
      case STAGE_RELEASE:
        level = static_cast<float>(l + (0.0 - l) * releaseStep);
        if (level <= ENV_RELEASE_DONE) {
          level = 0.0f;
          stage = STAGE_IDLE;
        }
        break;
      default:
        level = 0.0f;
        break;
    }

    out[i] = static_cast<float>(((static_cast<double>(level) * y) * velocity) * gain);

    if (++counter == MIREL_RENDER_QUANTUM) counter = 0;
  }

  state.quantumCounter = counter;
  v.phase = phase;
  v.triangleState = tri;
  v.z1 = z1;
  v.z2 = z2;
  v.x1 = x1;
  v.y1 = y1;
  v.envLevel = level;
  v.envStage = stage;
}

template <bool Fused>
[[gnu::always_inline]] inline void renderWave(MirelState& state, float* out, int begin, int end) {
  switch (state.voice.wave) {
    case WAVE_SINE:
      renderRun<WAVE_SINE, Fused>(state, out, begin, end);
      break;
    case WAVE_SAW:
      renderRun<WAVE_SAW, Fused>(state, out, begin, end);
      break;
    case WAVE_SQUARE:
      renderRun<WAVE_SQUARE, Fused>(state, out, begin, end);
      break;
    default:
      renderRun<WAVE_TRIANGLE, Fused>(state, out, begin, end);
      break;
  }
}

void renderPlain(MirelState& state, float* out, int begin, int end) {
  renderWave<false>(state, out, begin, end);
}

// Built for processors with FMA, chosen at run time; still compiled with
// contraction off, so the only fused operations are the exact ones above.
__attribute__((target("fma"))) void renderFused(MirelState& state, float* out, int begin, int end) {
  renderWave<true>(state, out, begin, end);
}

// Decided when the module loads, so the audio path reads a plain flag.
bool detectFma() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("fma") != 0;
}
const bool g_cpuHasFma = detectFma();

}  // namespace

double triangleStart(double dt) {
  if (!(dt > 0.0 && dt < 0.5)) return 0.0;
  const double h = 4.0 * dt;
  const double leak = 0.999;
  const double rn = std::pow(leak, 0.5 / dt);
  return -h * (leak - rn) / ((1.0 - leak) * (1.0 + rn));
}

double triangleAt(double phase, double dt) {
  if (!(dt > 0.0 && dt < 0.5)) return 0.0;
  const double m = triangleStart(dt);
  const double leak = 0.999;
  const bool rising = phase < 0.5;
  const double k = (rising ? phase : phase - 0.5) / dt;  // samples into the half cycle
  const double rk = std::pow(leak, k);
  const double t = rk * m + 4.0 * dt * (leak - rk) / (1.0 - leak);
  return rising ? t : -t;
}

double voiceRound(double x) {
  const double f = std::floor(x);
  return (x - f < 0.5) ? f : f + 1.0;
}

MirelVoice makeVoice(double sampleRate) {
  MirelVoice v;
  v.sampleRate = sampleRate;
  v.attackStep = envelopeStep(v.attack, sampleRate);
  v.decayStep = envelopeStep(v.decay, sampleRate);
  v.releaseStep = envelopeStep(v.release, sampleRate);
  return v;
}

MirelState createState() { return MirelState{}; }

bool prepare(MirelState& state, const MirelPrepareRecord& record) {
  state.prepared = false;
  if (!std::isfinite(record.sampleRate) || !(record.sampleRate > 0.0) ||
      record.maxFrames != MIREL_MAX_FRAMES || record.inputChannels != 0.0 ||
      record.outputChannels != 1.0) {
    return false;
  }
  state.sampleRate = record.sampleRate;
  state.voice = makeVoice(record.sampleRate);
  state.quantumCounter = 0.0;
  state.prepared = true;
  return true;
}

void reset(MirelState& state) {
  state.voice = makeVoice(state.sampleRate);
  state.quantumCounter = 0.0;
}

bool applyParameter(MirelState& state, uint32_t index, double value) {
  if (index >= static_cast<uint32_t>(MIREL_PARAMETER_COUNT)) return false;
  if (!std::isfinite(value)) return false;
  const double v = quantise(value);
  const MirelParameterRange& r = MIREL_PARAMETER_RANGES[index];
  MirelVoice& voice = state.voice;
  switch (static_cast<int>(index)) {
    case PARAM_OSC_TYPE: {
      const int wave = static_cast<int>(clampTo(voiceRound(v), r.low, r.high));
      // The triangle's integrator stood still while another wave played;
      // picked up there, it ran up to twice its height (+5.7 dB at a switch
      // from saw under a held note). It joins its steady state at the phase.
      if (wave == WAVE_TRIANGLE && voice.wave != WAVE_TRIANGLE)
        voice.triangleState =
            static_cast<float>(triangleAt(static_cast<double>(voice.phase),
                                          static_cast<double>(voice.frequency) / voice.sampleRate));
      voice.wave = wave;
      break;
    }
    case PARAM_OSC_OCTAVE:
      voice.octave = clampTo(voiceRound(v), r.low, r.high);
      break;
    case PARAM_OSC_DETUNE:
      voice.detune = clampTo(v, r.low, r.high);
      break;
    case PARAM_FILTER_CUTOFF:
      voice.cutoff = clampTo(v, r.low, r.high);
      break;
    case PARAM_FILTER_RESONANCE:
      voice.resonance = clampTo(v, r.low, r.high);
      break;
    case PARAM_FILTER_ENV_AMOUNT:
      voice.envAmount = clampTo(v, r.low, r.high);
      break;
    case PARAM_AMP_ATTACK:
      voice.attack = clampTo(v, r.low, r.high);
      voice.attackStep = envelopeStep(voice.attack, voice.sampleRate);
      break;
    case PARAM_AMP_DECAY:
      voice.decay = clampTo(v, r.low, r.high);
      voice.decayStep = envelopeStep(voice.decay, voice.sampleRate);
      break;
    case PARAM_AMP_SUSTAIN:
      voice.sustain = clampTo(v, r.low, r.high);
      break;
    case PARAM_AMP_RELEASE:
      voice.release = clampTo(v, r.low, r.high);
      voice.releaseStep = envelopeStep(voice.release, voice.sampleRate);
      break;
    case PARAM_MASTER_GAIN:
      voice.masterGain = clampTo(v, r.low, r.high);
      break;
  }
  return true;
}

bool setParameter(MirelState& state, std::string_view id, double value) {
  for (uint32_t index = 0; index < static_cast<uint32_t>(MIREL_PARAMETER_COUNT); ++index) {
    if (MIREL_PARAMETER_IDS[index] == id) return applyParameter(state, index, value);
  }
  return false;
}

bool handleEvent(MirelState& state, double kind, double note, double value) {
  if (!std::isfinite(note) || !std::isfinite(value)) return false;
  MirelVoice& v = state.voice;
  const bool noteInRange = note >= 0.0 && note <= 127.0;
  if (kind == PROCESSOR_EVENT_NOTE_ON && noteInRange) {
    const int n = static_cast<int>(clampTo(voiceRound(note), 0.0, 127.0));
    v.pitchNote = n;
    v.heldNote = n;
    v.velocity = clampTo(quantise(value), 0.0, 1.0);
    v.phase = 0.0f;
    v.z1 = 0.0f;
    v.z2 = 0.0f;
    v.x1 = 0.0f;
    v.y1 = 0.0f;
    v.envLevel = 0.0f;
    v.envStage = STAGE_ATTACK;
    v.frequency = static_cast<float>(voiceFrequency(v));
    v.triangleState =
        static_cast<float>(triangleStart(static_cast<double>(v.frequency) / v.sampleRate));
    return true;
  }
  if (kind == PROCESSOR_EVENT_NOTE_OFF && noteInRange) {
    if (v.heldNote < 0) return true;
    if (voiceRound(note) != static_cast<double>(v.heldNote)) return true;
    v.heldNote = -1;
    if (v.envStage != STAGE_IDLE) v.envStage = STAGE_RELEASE;
    return true;
  }
  return false;
}

bool process(MirelState& state, const MirelBlock& block) {
  const double capacity = block.capacity;
  const double offset = block.offset;
  const double frames = block.frames;
  if (!state.prepared || block.inputChannels != 0.0 || block.outputChannels != 1.0) return false;
  if (!(capacity >= 1.0) || !isWhole(capacity)) return false;
  if (!(offset >= 0.0) || !isWhole(offset)) return false;
  if (!(frames >= 0.0) || !isWhole(frames) || frames > MIREL_MAX_FRAMES) return false;
  if (!(offset + frames <= MIREL_MAX_FRAMES) || !(offset + frames <= capacity)) return false;
  if (block.output.data == nullptr || !(static_cast<double>(block.output.length) >= capacity)) {
    return false;
  }

  const int begin = static_cast<int>(offset);
  const int end = static_cast<int>(offset + frames);
  if (begin == end) return true;
  float* out = block.output.data;
  if (g_cpuHasFma) {
    renderFused(state, out, begin, end);
  } else {
    renderPlain(state, out, begin, end);
  }
  return true;
}

double oscSquareSample(double phase, double dt) { return squareSample(phase, dt); }

double voiceFrequency(const MirelVoice& voice) {
  if (voice.pitchNote < 0) return 0.0;
  const double cents = voice.octave * 1200.0 + voice.detune;
  const double pitch =
      440.0 * std::pow(2.0, (static_cast<double>(voice.pitchNote - 69) + cents / 100.0) / 12.0);
  // Capped where the filter is: above Nyquist the band-limited waves alias
  // to low frequencies, and the triangle's integrator then runs away (+26
  // dBFS for note 124 an octave up twice at 44.1 kHz, +42 dBFS at 8 kHz).
  const float f = static_cast<float>(std::min(pitch, 0.45 * voice.sampleRate));
  return f;
}

const MirelProcessorOps processor = {
    &createState, &prepare, &setParameter, &handleEvent, &process, &reset,
};

}  // namespace orbel
