// The CC map document: which MIDI controller drives which parameter, and how.
// The controller keeps one CcMap, stores it in the plug-in state ("ccMap"),
// sends it to the processor and announces it to the editor page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "json/json_read.h"

namespace orbel {

constexpr uint32_t kCcMapMaxBindings = 64;

enum CcCurve : uint8_t {
  kCcCurveLinear = 0,
  kCcCurveExp = 1,
  kCcCurveLog = 2,
  kCcCurveSCurve = 3,
};

enum CcValueMode : uint8_t {
  kCcValueAbsolute = 0,
  kCcValueRelativeSignedBit = 1,
  kCcValueRelativeBinaryOffset = 2,
  kCcValueRelativeTwosComplement = 3,
  kCcValueToggle = 4,
};

enum CcTakeover : uint8_t {
  kCcTakeoverNone = 0,
  kCcTakeoverPickup = 1,
  kCcTakeoverScaled = 2,
};

struct CcBinding {
  int32_t paramIndex = -1;  // row of ORBEL_PARAMS, 0..10
  uint8_t cc = 0;           // 0..127
  uint8_t channel = 0;      // 1..16, or 0 for any channel
  uint8_t curve = kCcCurveLinear;
  uint8_t valueMode = kCcValueAbsolute;
  uint8_t takeover = kCcTakeoverNone;
  bool enabled = true;
  bool hasMin = false;
  bool hasMax = false;
  double min = 0.0;  // plain units of the parameter; used when hasMin
  double max = 0.0;  // plain units of the parameter; used when hasMax
};

struct CcMap {
  uint32_t count = 0;  // valid entries of `bindings`, in document order
  CcBinding bindings[kCcMapMaxBindings];
};

// Reads a whole CC map document (an object or a bare array of bindings,
// whitespace around it). On failure `out` is left as it was.
bool parseCcMapJson(const char* text, size_t length, CcMap& out);

// Reads one map value at the reader's position (used inside the state
// document and bridge messages). `present` becomes true when bindings were
// given: a bare array, or an object with a "bindings" array. A value that is
// neither an object nor an array is skipped and leaves the map empty. On
// failure `out` and `present` are left as they were.
bool parseCcMapValue(Reader& reader, CcMap& out, bool& present);

// Reads one element of a bindings array and appends it to `map` when it is a
// usable binding (cc and a known path given, room left). Returns false only
// on a structural error or a wrongly typed "path", "curve", "valueMode" or
// "takeover".
bool parseCcBinding(Reader& reader, CcMap& map);

// Appends the map as {"version":1,"bindings":[...]}.
void writeCcMapJson(std::string& out, const CcMap& map);

// Appends the page announcement {"type":"orbel.ccMapChanged","map":<map>}.
void writeCcMapChangedJson(std::string& out, const CcMap& map);

// Names used in the document; null for the default value (not written).
const char* ccCurveName(uint8_t curve);
const char* ccValueModeName(uint8_t mode);
const char* ccTakeoverName(uint8_t takeover);

}  // namespace orbel
