// The instrument's eleven parameters, described once. The parameter id is the
// row index and is also the kernel's parameter index. The table is a
// compile-time constant, so every user (controller, processor, engine, state
// document, CC map) sees identical values without any registration step.
//
// The conversions below need no VST 3 SDK: the controller's parameter class
// forwards its toPlain/toNormalized/toString/fromString overrides to them, and
// code that holds only a descriptor calls them directly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orbel {

// Values of orbel_param_desc::kind.
inline constexpr int32_t ORBEL_PARAM_KIND_CONTINUOUS = 0;
inline constexpr int32_t ORBEL_PARAM_KIND_LIST = 1;    // a choice among `options`
inline constexpr int32_t ORBEL_PARAM_KIND_TOGGLE = 2;  // off/on

struct orbel_param_desc {
  uint32_t id;        // VST 3 parameter id == row index
  const char* path;   // stable dotted identifier ("filter.cutoff")
  const char* name;   // display name, title and short title
  const char* group;  // display group
  int32_t kind;       // ORBEL_PARAM_KIND_*
  double minValue;    // plain range (list: 0 .. optionCount - 1)
  double maxValue;
  double step;  // quantum of a continuous plain value, 0 for none
  double defaultPlain;
  double defaultNormalized;
  const char* units;           // possibly empty, never null
  int32_t optionCount;         // list: number of options, else 0
  const char* const* options;  // optionCount texts, or nullptr
};

inline constexpr std::size_t ORBEL_PARAM_COUNT = 11;

// Parameter ids, in table order.
enum : uint32_t {
  ORBEL_PARAM_OSC_TYPE = 0,
  ORBEL_PARAM_OSC_OCTAVE = 1,
  ORBEL_PARAM_OSC_DETUNE = 2,
  ORBEL_PARAM_FILTER_CUTOFF = 3,
  ORBEL_PARAM_FILTER_RESONANCE = 4,
  ORBEL_PARAM_FILTER_ENV_AMOUNT = 5,
  ORBEL_PARAM_AMP_ATTACK = 6,
  ORBEL_PARAM_AMP_DECAY = 7,
  ORBEL_PARAM_AMP_SUSTAIN = 8,
  ORBEL_PARAM_AMP_RELEASE = 9,
  ORBEL_PARAM_MASTER_GAIN = 10,
};

inline constexpr const char* orbel_param_0_options[4] = {"sine", "saw", "square", "triangle"};

namespace param_table_detail {
// Default normalized values are exactly (default - min) / (max - min), so that
// normalizing the default plain value gives back the stored default bit for bit.
constexpr double norm(double v, double lo, double hi) { return (v - lo) / (hi - lo); }
}  // namespace param_table_detail

inline constexpr orbel_param_desc ORBEL_PARAMS[ORBEL_PARAM_COUNT] = {
    {0, "osc.type", "Wave", "Oscillator", ORBEL_PARAM_KIND_LIST, 0.0, 3.0, 0.0, 1.0,
     param_table_detail::norm(1.0, 0.0, 3.0), "", 4, orbel_param_0_options},
    {1, "osc.octave", "Octave", "Oscillator", ORBEL_PARAM_KIND_CONTINUOUS, -2.0, 2.0, 1.0, 0.0,
     param_table_detail::norm(0.0, -2.0, 2.0), "", 0, nullptr},
    {2, "osc.detune", "Detune", "Oscillator", ORBEL_PARAM_KIND_CONTINUOUS, -100.0, 100.0, 0.0, 0.0,
     param_table_detail::norm(0.0, -100.0, 100.0), "ct", 0, nullptr},
    {3, "filter.cutoff", "Cutoff", "Filter", ORBEL_PARAM_KIND_CONTINUOUS, 20.0, 20000.0, 0.0,
     2000.0, param_table_detail::norm(2000.0, 20.0, 20000.0), "Hz", 0, nullptr},
    {4, "filter.resonance", "Resonance", "Filter", ORBEL_PARAM_KIND_CONTINUOUS, 0.1, 18.0, 0.0, 0.7,
     param_table_detail::norm(0.7, 0.1, 18.0), "", 0, nullptr},
    {5, "filter.envAmount", "Env Amt", "Filter", ORBEL_PARAM_KIND_CONTINUOUS, -8.0, 8.0, 0.0, 0.0,
     param_table_detail::norm(0.0, -8.0, 8.0), "", 0, nullptr},
    {6, "ampEnv.attack", "Attack", "Amp Env", ORBEL_PARAM_KIND_CONTINUOUS, 0.0, 2.0, 0.0, 0.01,
     param_table_detail::norm(0.01, 0.0, 2.0), "s", 0, nullptr},
    {7, "ampEnv.decay", "Decay", "Amp Env", ORBEL_PARAM_KIND_CONTINUOUS, 0.0, 2.0, 0.0, 0.2,
     param_table_detail::norm(0.2, 0.0, 2.0), "s", 0, nullptr},
    {8, "ampEnv.sustain", "Sustain", "Amp Env", ORBEL_PARAM_KIND_CONTINUOUS, 0.0, 1.0, 0.0, 0.7,
     param_table_detail::norm(0.7, 0.0, 1.0), "", 0, nullptr},
    {9, "ampEnv.release", "Release", "Amp Env", ORBEL_PARAM_KIND_CONTINUOUS, 0.0, 5.0, 0.0, 0.3,
     param_table_detail::norm(0.3, 0.0, 5.0), "s", 0, nullptr},
    {10, "master.gain", "Gain", "Master", ORBEL_PARAM_KIND_CONTINUOUS, 0.0, 1.0, 0.0, 0.8,
     param_table_detail::norm(0.8, 0.0, 1.0), "", 0, nullptr},
};

// Every parameter's default plain value, by id.
constexpr std::array<double, ORBEL_PARAM_COUNT> orbel_param_defaults() {
  std::array<double, ORBEL_PARAM_COUNT> values{};
  for (std::size_t i = 0; i < ORBEL_PARAM_COUNT; ++i) values[i] = ORBEL_PARAMS[i].defaultPlain;
  return values;
}

// The descriptor of a parameter id, or nullptr for ids above 10.
const orbel_param_desc* orbel_param_by_id(uint32_t id);

// The descriptor whose path equals `path` exactly, or nullptr.
const orbel_param_desc* orbel_param_by_path(std::string_view path);

// Normalized (0..1) to plain value (toPlain). Out-of-range input is clamped;
// a NaN reads as 0.
double orbel_param_to_plain(const orbel_param_desc* desc, double normalized);

// Plain to normalized value (toNormalized). Out-of-range input is clamped;
// a NaN gives 0.
double orbel_param_normalize(const orbel_param_desc* desc, double plain);

// Display text of a normalized value (toString): the option name of a list,
// "on"/"off" for a toggle, otherwise the stepped plain value as the shortest
// decimal text that reads back to the same double. ASCII, no unit.
std::string orbel_param_to_text(const orbel_param_desc* desc, double normalized);

// Text to normalized value (fromString). Accepts the toggle words
// "on"/"true"/"off"/"false", a list option's exact name, or a number at the
// start of the text (trailing text such as a unit is ignored; the number is
// read in the "C" locale whatever the host's locale is). Returns false, and
// leaves *normalized untouched, when the text holds none of these.
bool orbel_param_from_text(const orbel_param_desc* desc, const char* text, double* normalized);

// UTF-16 forms for the SDK glue (the host's String128 and TChar text).
// to_utf16 writes at most capacity - 1 characters plus a terminator.
// from_utf16 reads at most 255 characters; non-ASCII characters become '?'.
void orbel_param_to_utf16(const orbel_param_desc* desc, double normalized, char16_t* out,
                          std::size_t capacity);
bool orbel_param_from_utf16(const orbel_param_desc* desc, const char16_t* text, double* normalized);

// Shortest decimal text that reads back to the same double: fixed or exponent
// form, whichever is shorter (fixed on a tie), no trailing zeros; "-0" prints as
// "0". Writes at most capacity - 1 characters plus a terminator, returns the
// length written. Non-finite values print as "nan", "inf" or "-inf".
std::size_t orbel_format_shortest(double value, char* out, std::size_t capacity);

}  // namespace orbel
