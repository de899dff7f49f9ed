// Sampler pad overrides: per-pad adjustments the user makes from the editor
// page without touching the bank on disk. Travels as one JSON object, the pad
// override map: {"<pad key>":{"transpose":2,"gain":0.5},...}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "json/json_read.h"

namespace orbel {

constexpr size_t kPadOverrideFieldCount = 15;
constexpr size_t kPadOverrideMaxRecords = 256;
constexpr size_t kPadOverrideMaxKeyBytes = 160;

// Bit n of SamplerPadOverride::mask marks field n as set.
enum PadOverrideField : uint32_t {
  kPadTranspose = 0,
  kPadFineTune = 1,
  kPadGain = 2,
  kPadPan = 3,
  kPadStart = 4,
  kPadEnd = 5,
  kPadAttack = 6,
  kPadRelease = 7,
  kPadFilterHz = 8,
  kPadResonance = 9,
  kPadReverse = 10,
  kPadMuted = 11,
  kPadChokeGroup = 12,
  kPadRoundRobinGroup = 13,
  kPadVelocitySensitivity = 14,
};

struct PadOverrideFieldInfo {
  const char* key;      // JSON member name
  double defaultValue;  // value of an unset field
  double minValue;      // accepted range, inclusive
  double maxValue;
  bool wholeNumber;  // must be an integer
  bool flag;         // must be exactly 0 or 1
};

// The fifteen fields in bit order.
extern const PadOverrideFieldInfo kPadOverrideFields[kPadOverrideFieldCount];

struct SamplerPadOverride {
  std::string pad;    // pad key, at most 160 bytes when read
  uint32_t mask = 0;  // bit n set: values[n] is set
  double values[kPadOverrideFieldCount] = {0, 0, 1, 0, 0, 1, 0, 0.025, 20000, 0.7, 0, 0, 0, 0, 1};

  bool has(PadOverrideField f) const { return (mask >> f) & 1u; }
  double value(PadOverrideField f) const { return values[f]; }
};

// Records in order of first appearance, each key at most once, at most 256.
using SamplerPadOverrides = std::vector<SamplerPadOverride>;

// Appends the map; records with an empty key or a zero mask are left out.
void writeSamplerPadOverridesJson(std::string& out, const SamplerPadOverrides& overrides);

// Reads a text that holds only the map (and whitespace). On success replaces
// `out`; on failure leaves it untouched.
bool parseSamplerPadOverridesJson(const char* data, size_t length, SamplerPadOverrides& out);

// Reads one map at the reader's position. On success replaces `out`; on
// failure leaves it untouched (the cursor stands where reading stopped).
bool parsePadOverrideMap(Reader& reader, SamplerPadOverrides& out);

}  // namespace orbel
