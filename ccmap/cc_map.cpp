#include "ccmap/cc_map.h"

#include <cmath>
#include <cstring>

#include "json/json_write.h"
#include "params/param_table.h"

namespace orbel {

namespace {

constexpr const char* kCurveNames[] = {nullptr, "exp", "log", "s-curve"};
constexpr const char* kValueModeNames[] = {nullptr, "relative-signed-bit", "relative-binary-offset",
                                           "relative-twos-complement", "toggle"};
constexpr const char* kTakeoverNames[] = {nullptr, "pickup", "scaled"};

template <size_t N>
uint8_t indexOfName(const char* const (&names)[N], const std::string& text) {
  for (size_t i = 1; i < N; ++i) {
    if (text == names[i]) return static_cast<uint8_t>(i);
  }
  return 0;
}

int32_t paramIndexOfPath(const std::string& path) {
  for (size_t i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    if (path == ORBEL_PARAMS[i].path) return static_cast<int32_t>(i);
  }
  return -1;
}

// Controller numbers and channels arrive as numbers of any kind: round half
// up, clamp into range. NaN carries no value at all.
bool roundClamp(double v, double lo, double hi, uint8_t& out) {
  if (std::isnan(v)) return false;
  double r = std::floor(v + 0.5);
  if (r < lo) r = lo;
  if (r > hi) r = hi;
  out = static_cast<uint8_t>(r);
  return true;
}

bool readWordFlag(Reader& reader, bool& value) {
  const size_t left = static_cast<size_t>(reader.end - reader.cursor);
  if (left >= 4 && std::memcmp(reader.cursor, "true", 4) == 0) {
    reader.cursor += 4;
    value = true;
    return true;
  }
  if (left >= 5 && std::memcmp(reader.cursor, "false", 5) == 0) {
    reader.cursor += 5;
    value = false;
    return true;
  }
  return false;
}

bool readBindingsArray(Reader& reader, CcMap& map) {
  // The '[' has been consumed. A repeated "bindings" member replaces the
  // earlier list, as a repeated key does everywhere else in our documents.
  map.count = 0;
  if (consumeChar(reader, ']')) return true;
  for (;;) {
    if (!parseCcBinding(reader, map)) return false;
    const int sep = memberSeparator(reader, ']');
    if (sep < 0) return false;
    if (sep == 0) return true;
  }
}

}  // namespace

const char* ccCurveName(uint8_t curve) { return curve < 4 ? kCurveNames[curve] : nullptr; }
const char* ccValueModeName(uint8_t mode) { return mode < 5 ? kValueModeNames[mode] : nullptr; }
const char* ccTakeoverName(uint8_t takeover) {
  return takeover < 3 ? kTakeoverNames[takeover] : nullptr;
}

bool parseCcBinding(Reader& reader, CcMap& map) {
  skipWhitespace(reader);
  if (reader.atEnd()) return false;
  if (*reader.cursor != '{') return skipValue(reader, 1);
  ++reader.cursor;

  CcBinding binding;  // no path, any channel, linear, absolute, jump, enabled
  bool ccGiven = false;
  if (!consumeChar(reader, '}')) {
    std::string key;
    std::string text;
    for (;;) {
      if (!parseString(reader, &key)) return false;
      if (!consumeChar(reader, ':')) return false;
      skipWhitespace(reader);
      if (key == "cc" || key == "channel" || key == "min" || key == "max") {
        double v = 0.0;
        const size_t used = jsonScanNumber(reader.cursor, reader.end, &v);
        if (used == 0) {
          if (!skipValue(reader, 1)) return false;
        } else {
          reader.cursor += used;
          if (key == "cc") {
            if (roundClamp(v, 0, 127, binding.cc)) ccGiven = true;
          } else if (key == "channel") {
            roundClamp(v, 1, 16, binding.channel);
          } else if (std::isfinite(v)) {
            // A range bound that is not finite would poison every scaled value.
            if (key == "min") {
              binding.min = v;
              binding.hasMin = true;
            } else {
              binding.max = v;
              binding.hasMax = true;
            }
          }
        }
      } else if (key == "path") {
        if (!parseString(reader, &text)) return false;
        binding.paramIndex = paramIndexOfPath(text);
      } else if (key == "curve") {
        if (!parseString(reader, &text)) return false;
        binding.curve = indexOfName(kCurveNames, text);
      } else if (key == "valueMode") {
        if (!parseString(reader, &text)) return false;
        binding.valueMode = indexOfName(kValueModeNames, text);
      } else if (key == "takeover") {
        if (!parseString(reader, &text)) return false;
        binding.takeover = indexOfName(kTakeoverNames, text);
      } else if (key == "enabled") {
        bool flag;
        if (readWordFlag(reader, flag)) {
          binding.enabled = flag;
        } else if (!skipValue(reader, 1)) {
          return false;
        }
      } else if (!skipValue(reader, 1)) {
        return false;
      }
      const int sep = memberSeparator(reader, '}');
      if (sep < 0) return false;
      if (sep == 0) break;
    }
  }
  if (ccGiven && binding.paramIndex >= 0 && map.count < kCcMapMaxBindings) {
    map.bindings[map.count++] = binding;
  }
  return true;
}

bool parseCcMapValue(Reader& reader, CcMap& out, bool& present) {
  // Read into a scratch map so that a failing read leaves the caller's map.
  CcMap scratch;
  bool scratchPresent = false;
  skipWhitespace(reader);
  if (reader.atEnd()) return false;
  const char first = *reader.cursor;
  if (first == '[') {
    ++reader.cursor;
    if (!readBindingsArray(reader, scratch)) return false;
    scratchPresent = true;
  } else if (first == '{') {
    ++reader.cursor;
    if (!consumeChar(reader, '}')) {
      std::string key;
      for (;;) {
        if (!parseString(reader, &key)) return false;
        if (!consumeChar(reader, ':')) return false;
        skipWhitespace(reader);
        if (key == "bindings" && !reader.atEnd() && *reader.cursor == '[') {
          ++reader.cursor;
          if (!readBindingsArray(reader, scratch)) return false;
          scratchPresent = true;
        } else if (!skipValue(reader, 1)) {
          return false;
        }
        const int sep = memberSeparator(reader, '}');
        if (sep < 0) return false;
        if (sep == 0) break;
      }
    }
  } else if (!skipValue(reader, 1)) {
    return false;
  }
  out = scratch;
  present = scratchPresent;
  return true;
}

bool parseCcMapJson(const char* text, size_t length, CcMap& out) {
  if (text == nullptr && length != 0) return false;
  Reader reader(text, length);
  skipWhitespace(reader);
  if (reader.atEnd() || (*reader.cursor != '{' && *reader.cursor != '[')) return false;
  CcMap scratch;
  bool present = false;
  if (!parseCcMapValue(reader, scratch, present)) return false;
  skipWhitespace(reader);
  if (!reader.atEnd()) return false;
  out = scratch;
  return true;
}

void writeCcMapJson(std::string& out, const CcMap& map) {
  out.append("{\"version\":1,\"bindings\":[");
  const uint32_t count = map.count < kCcMapMaxBindings ? map.count : kCcMapMaxBindings;
  bool first = true;
  for (uint32_t i = 0; i < count; ++i) {
    const CcBinding& b = map.bindings[i];
    if (b.paramIndex < 0 || b.paramIndex >= static_cast<int32_t>(ORBEL_PARAM_COUNT)) continue;
    if (!first) out.push_back(',');
    first = false;
    out.append("{\"cc\":");
    jsonAppendNumber(out, b.cc);
    out.append(",\"path\":");
    jsonAppendQuoted(out, ORBEL_PARAMS[b.paramIndex].path);
    if (b.channel != 0) {
      out.append(",\"channel\":");
      jsonAppendNumber(out, b.channel);
    }
    if (b.hasMin) {
      out.append(",\"min\":");
      jsonAppendNumber(out, b.min);
    }
    if (b.hasMax) {
      out.append(",\"max\":");
      jsonAppendNumber(out, b.max);
    }
    if (const char* name = ccCurveName(b.curve)) {
      out.append(",\"curve\":\"").append(name).push_back('"');
    }
    if (const char* name = ccValueModeName(b.valueMode)) {
      out.append(",\"valueMode\":\"").append(name).push_back('"');
    }
    if (const char* name = ccTakeoverName(b.takeover)) {
      out.append(",\"takeover\":\"").append(name).push_back('"');
    }
    if (!b.enabled) out.append(",\"enabled\":false");
    out.push_back('}');
  }
  out.append("]}");
}

void writeCcMapChangedJson(std::string& out, const CcMap& map) {
  out.append("{\"type\":\"orbel.ccMapChanged\",\"map\":");
  writeCcMapJson(out, map);
  out.push_back('}');
}

}  // namespace orbel
