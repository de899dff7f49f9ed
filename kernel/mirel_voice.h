// Mirel's voice: one monophonic voice with an anti-aliased oscillator, a
// resonant two-pole low-pass whose cutoff follows the envelope, an exponential
// ADSR, velocity and master gain.
//
// The output is defined sample by sample, so every value that is kept at
// single precision lives in a `float` (field or local): the rounding then
// happens at the store, whatever the optimiser does with the surrounding
// double arithmetic. The kernel is compiled with -ffp-contract=off for the
// same reason (a fused multiply-add skips a rounding).
#pragma once

#include <cstdint>
#include <string_view>

namespace orbel {

inline constexpr double ENV_ATTACK_DONE = 0.999;
inline constexpr double ENV_SUSTAIN_EPSILON = 0.001;
inline constexpr double ENV_RELEASE_DONE = 0.0005;
inline constexpr double VOICE_VALUE_SCALE = 100000;

inline constexpr int PARAM_OSC_TYPE = 0;
inline constexpr int PARAM_OSC_OCTAVE = 1;
inline constexpr int PARAM_OSC_DETUNE = 2;
inline constexpr int PARAM_FILTER_CUTOFF = 3;
inline constexpr int PARAM_FILTER_RESONANCE = 4;
inline constexpr int PARAM_FILTER_ENV_AMOUNT = 5;
inline constexpr int PARAM_AMP_ATTACK = 6;
inline constexpr int PARAM_AMP_DECAY = 7;
inline constexpr int PARAM_AMP_SUSTAIN = 8;
inline constexpr int PARAM_AMP_RELEASE = 9;
inline constexpr int PARAM_MASTER_GAIN = 10;
inline constexpr int MIREL_PARAMETER_COUNT = 11;

inline constexpr int STAGE_IDLE = 0;
inline constexpr int STAGE_ATTACK = 1;
inline constexpr int STAGE_DECAY = 2;
inline constexpr int STAGE_SUSTAIN = 3;
inline constexpr int STAGE_RELEASE = 4;

inline constexpr int PROCESSOR_EVENT_NOTE_ON = 2;
inline constexpr int PROCESSOR_EVENT_NOTE_OFF = 3;

inline constexpr int MIREL_MAX_FRAMES = 128;
inline constexpr int MIREL_RENDER_QUANTUM = 128;

inline constexpr int WAVE_SINE = 0;
inline constexpr int WAVE_SAW = 1;
inline constexpr int WAVE_SQUARE = 2;
inline constexpr int WAVE_TRIANGLE = 3;

// Parameter ids by index ("osc.type" is index 0).
extern const std::string_view MIREL_PARAMETER_IDS[MIREL_PARAMETER_COUNT];
// The values a new instance starts with, by index.
extern const double MIREL_PARAMETER_DEFAULTS[MIREL_PARAMETER_COUNT];

// The range a value is clamped to when it is applied, by index.
struct MirelParameterRange {
  double low;
  double high;
};
extern const MirelParameterRange MIREL_PARAMETER_RANGES[MIREL_PARAMETER_COUNT];

struct MirelVoice {
  float a1 = 0.0f;
  float a2 = 0.0f;
  double attack = 0.01;
  float b0 = 1.0f;
  float b1 = 0.0f;
  float b2 = 0.0f;
  double cutoff = 2000.0;
  double decay = 0.2;
  double detune = 0.0;
  double envAmount = 0.0;
  float envLevel = 0.0f;
  int envStage = STAGE_IDLE;
  float frequency = 0.0f;
  int heldNote = -1;
  int pitchNote = -1;
  double masterGain = 0.8;
  double octave = 0.0;
  int wave = WAVE_SAW;
  float phase = 0.0f;
  double release = 0.3;
  double resonance = 0.7;
  double sampleRate = 48000.0;
  double sustain = 0.7;
  float triangleState = 0.0f;
  double velocity = 0.0;
  float z1 = 0.0f;
  float z2 = 0.0f;
  // The filter's last input and output sample. With z1 and z2 they give the
  // filter's position and speed, which carry its state across a change of
  // coefficients (see updateCoefficients).
  float x1 = 0.0f;
  float y1 = 0.0f;

  // Derived values, recomputed only when their inputs change. They never
  // change a result: each is exactly what the per-sample formula would give.
  float attackStep = 0.0f;   // f32(1 - coef(attack)), coef of the stage time
  float decayStep = 0.0f;    // f32(1 - coef(decay))
  float releaseStep = 0.0f;  // f32(1 - coef(release))
  double filterFc = -1.0;    // effective cutoff of the current coefficients
  double filterQ = -1.0;     // Q of the current coefficients
  int pitchKeyNote = -2;     // note, octave and detune of pitchKeyFrequency
  double pitchKeyOctave = 0.0;
  double pitchKeyDetune = 0.0;
  float pitchKeyFrequency = 0.0f;
};

// A fresh voice at the given rate, with its envelope steps computed.
MirelVoice makeVoice(double sampleRate);

struct MirelState {
  bool prepared = false;
  double quantumCounter = 0.0;
  double sampleRate = 48000.0;
  MirelVoice voice = makeVoice(48000.0);
};

struct MirelPrepareRecord {
  double inputChannels = 0.0;
  double maxFrames = 0.0;
  double outputChannels = 0.0;
  double sampleRate = 0.0;
};

// A float array as the kernel hands it around: data and element count.
struct MirelFloatArray {
  float* data = nullptr;
  uint64_t length = 0;
};

struct MirelBlock {
  double capacity = 0.0;
  double frames = 0.0;
  double offset = 0.0;
  MirelFloatArray input;
  double inputChannels = 0.0;
  MirelFloatArray output;
  double outputChannels = 0.0;
};

MirelState createState();
bool prepare(MirelState& state, const MirelPrepareRecord& record);
bool setParameter(MirelState& state, std::string_view id, double value);
bool handleEvent(MirelState& state, double kind, double note, double value);
bool process(MirelState& state, const MirelBlock& block);
void reset(MirelState& state);

// The entry layer's path: index 0 to 10 turned into its id.
bool applyParameter(MirelState& state, uint32_t index, double value);

double oscSquareSample(double phase, double dt);

// Where the triangle starts on a note on, for a phase step dt per sample: the
// low turning point of its steady state, so that the wave is centred from its
// first sample. The triangle is the band-limited square integrated with a
// leak of 0.999 per sample, t <- r*(t + h*square), r = 0.999, h = 4*dt; at
// phase 0 the square begins its positive half, and the sample on each step
// reads 0 (the step is centred on it), so half a cycle (N = 0.5/dt samples)
// adds h on N - 1 samples. Starting at m it must end at -m:
//   -m = r^N*m + h*(r - r^N)/(1 - r),  so  m = -h*(r - r^N) / ((1 - r)*(1 + r^N)).
// 0 when dt is not in (0, 0.5) (no pitch, or a pitch above Nyquist).
double triangleStart(double dt);
// Where that steady state stands at `phase` (0 at phase 0 when dt is not in
// (0, 0.5)): rising from m for the first half cycle, falling from -m for the
// second, k = samples into the half: r^k*m + h*(r - r^k)/(1 - r).
double triangleAt(double phase, double dt);
double voiceFrequency(const MirelVoice& voice);

// round() of the voice: halves go up (round(-2.5) = -2).
double voiceRound(double x);

// The six operations as one record.
struct MirelProcessorOps {
  MirelState (*createState)();
  bool (*prepare)(MirelState&, const MirelPrepareRecord&);
  bool (*setParameter)(MirelState&, std::string_view, double);
  bool (*handleEvent)(MirelState&, double, double, double);
  bool (*process)(MirelState&, const MirelBlock&);
  void (*reset)(MirelState&);
};
extern const MirelProcessorOps processor;

}  // namespace orbel
