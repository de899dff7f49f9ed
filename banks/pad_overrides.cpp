#include "banks/pad_overrides.h"

#include <cmath>
#include <cstring>

#include "json/json_write.h"

namespace orbel {

const PadOverrideFieldInfo kPadOverrideFields[kPadOverrideFieldCount] = {
    {"transpose", 0.0, -24.0, 24.0, true, false},
    {"fineTune", 0.0, -100.0, 100.0, false, false},
    {"gain", 1.0, 0.0, 4.0, false, false},
    {"pan", 0.0, -1.0, 1.0, false, false},
    {"start", 0.0, 0.0, 1.0, false, false},
    {"end", 1.0, 0.0, 1.0, false, false},
    {"attack", 0.0, 0.0, 2.0, false, false},
    {"release", 0.025, 0.001, 4.0, false, false},
    {"filterHz", 20000.0, 20.0, 20000.0, false, false},
    {"resonance", 0.7, 0.1, 18.0, false, false},
    {"reverse", 0.0, 0.0, 1.0, false, true},
    {"muted", 0.0, 0.0, 1.0, false, true},
    {"chokeGroup", 0.0, 0.0, 8.0, true, false},
    {"roundRobinGroup", 0.0, 0.0, 8.0, true, false},
    {"velocitySensitivity", 1.0, 0.0, 1.0, false, false},
};

namespace {

int fieldIndexOfKey(const std::string& key) {
  for (size_t i = 0; i < kPadOverrideFieldCount; ++i) {
    if (key == kPadOverrideFields[i].key) return static_cast<int>(i);
  }
  return -1;
}

bool fieldAccepts(const PadOverrideFieldInfo& f, double v) {
  if (!std::isfinite(v) || v < f.minValue || v > f.maxValue) return false;
  if (f.wholeNumber && v != std::floor(v)) return false;
  if (f.flag && v != 0.0 && v != 1.0) return false;
  return true;
}

// Reads one pad's object (cursor at its '{') into `record`.
bool readPadRecord(Reader& reader, SamplerPadOverride& record) {
  ++reader.cursor;
  if (consumeChar(reader, '}')) return true;
  std::string key;
  for (;;) {
    if (!parseString(reader, &key)) return false;
    if (!consumeChar(reader, ':')) return false;
    skipWhitespace(reader);
    double v = 0.0;
    const size_t used = jsonScanNumber(reader.cursor, reader.end, &v);
    if (used != 0) {
      reader.cursor += used;
      // Rejected values (unknown key, out of range, not whole, not a flag,
      // not finite) leave the field unset: the bank's own value applies.
      const int field = fieldIndexOfKey(key);
      if (field >= 0 && fieldAccepts(kPadOverrideFields[field], v)) {
        record.values[field] = v;
        record.mask |= 1u << field;
      }
    } else if (!skipValue(reader, 2)) {
      return false;
    }
    const int sep = memberSeparator(reader, '}');
    if (sep < 0) return false;
    if (sep == 0) return true;
  }
}

}  // namespace

void writeSamplerPadOverridesJson(std::string& out, const SamplerPadOverrides& overrides) {
  out.push_back('{');
  bool firstRecord = true;
  for (const SamplerPadOverride& record : overrides) {
    const uint32_t mask = record.mask & ((1u << kPadOverrideFieldCount) - 1u);
    if (record.pad.empty() || mask == 0) continue;
    if (!firstRecord) out.push_back(',');
    firstRecord = false;
    jsonAppendQuoted(out, record.pad.data(), record.pad.size());
    out.append(":{");
    bool firstField = true;
    for (size_t i = 0; i < kPadOverrideFieldCount; ++i) {
      if (!((mask >> i) & 1u)) continue;
      if (!firstField) out.push_back(',');
      firstField = false;
      jsonAppendQuoted(out, kPadOverrideFields[i].key);
      out.push_back(':');
      jsonAppendNumber(out, record.values[i]);
    }
    out.push_back('}');
  }
  out.push_back('}');
}

bool parsePadOverrideMap(Reader& reader, SamplerPadOverrides& out) {
  skipWhitespace(reader);
  if (reader.atEnd() || *reader.cursor != '{') return false;
  ++reader.cursor;
  SamplerPadOverrides list;
  if (consumeChar(reader, '}')) {
    out.swap(list);
    return true;
  }
  size_t members = 0;
  std::string key;
  for (;;) {
    if (!parseString(reader, &key)) return false;
    if (!consumeChar(reader, ':')) return false;
    skipWhitespace(reader);
    ++members;
    if (reader.atEnd()) return false;
    if (*reader.cursor != '{') {
      if (!skipValue(reader, 1)) return false;
    } else {
      SamplerPadOverride record;
      if (!readPadRecord(reader, record)) return false;
      // Past 256 members the whole map is dropped at the end; merging more
      // would only cost time.
      if (record.mask != 0 && key.size() <= kPadOverrideMaxKeyBytes &&
          members <= kPadOverrideMaxRecords) {
        record.pad = key;
        bool replaced = false;
        for (SamplerPadOverride& held : list) {
          if (held.pad == record.pad) {
            held = std::move(record);  // whole: fields of the old record do not survive
            replaced = true;
            break;
          }
        }
        if (!replaced && list.size() < kPadOverrideMaxRecords) list.push_back(std::move(record));
      }
    }
    const int sep = memberSeparator(reader, '}');
    if (sep < 0) return false;
    if (sep == 0) break;
  }
  if (members > kPadOverrideMaxRecords) list.clear();
  out.swap(list);
  return true;
}

bool parseSamplerPadOverridesJson(const char* data, size_t length, SamplerPadOverrides& out) {
  if (data == nullptr && length != 0) return false;
  Reader reader(data, length);
  SamplerPadOverrides fresh;
  if (!parsePadOverrideMap(reader, fresh)) return false;
  skipWhitespace(reader);
  if (!reader.atEnd()) return false;
  out.swap(fresh);
  return true;
}

}  // namespace orbel
