#include "state/state_document.h"

#include <cmath>
#include <cstring>

#include "json/json_write.h"
#include "params/param_table.h"

namespace orbel {

namespace {

struct AssetFaultName {
  SamplerAssetDiagnostic code;
  const char* name;
};

constexpr AssetFaultName kAssetFaultNames[] = {
    {kSamplerAssetMissingInMemory, "missing-in-memory-asset"},
    {kSamplerAssetCorruptInMemory, "corrupt-in-memory-asset"},
    {kSamplerAssetMovedInMemory, "moved-in-memory-asset"},
    {kSamplerAssetChangedInMemory, "changed-in-memory-asset"},
    {kSamplerAssetUnsupportedStereoSource, "unsupported-stereo-source"},
};

constexpr const char* kZoneProgramNames[] = {
    "legacy-single-zone", "one-shot-drum",    "looped-pad-release", "velocity-round-robin",
    "key-zones-pitch",    "stereo-multi-mic", "choke-and-sustain",  "voice-limit-steal",
};

constexpr const char* kBankSourceNames[] = {"embedded", "module-relative", "user-folder", "hosted"};

// Numbers that become 32-bit integers: truncated toward zero, clamped into
// range, and nothing at all for NaN and the infinities (a cast of those is
// undefined and would hand garbage to the engine).
bool toInt32(double v, int32_t& out) {
  if (!std::isfinite(v)) return false;
  v = std::trunc(v);
  if (v < -2147483648.0) v = -2147483648.0;
  if (v > 2147483647.0) v = 2147483647.0;
  out = static_cast<int32_t>(v);
  return true;
}

bool startsWith(const Reader& reader, const char* word) {
  const size_t length = std::strlen(word);
  return static_cast<size_t>(reader.end - reader.cursor) >= length &&
         std::memcmp(reader.cursor, word, length) == 0;
}

char nextByte(Reader& reader) {
  skipWhitespace(reader);
  return reader.peek();
}

// Copies `text` into a fixed field when it fits (with its terminator).
template <size_t N>
bool storeText(char (&field)[N], const std::string& text) {
  if (text.size() >= N) return false;
  std::memcpy(field, text.data(), text.size());
  field[text.size()] = '\0';
  return true;
}

template <size_t N>
void clearText(char (&field)[N]) {
  field[0] = '\0';
}

void recordParam(StateChunk& chunk, const std::string& path, double value) {
  for (int slot = 0; slot < kStateParamCount; ++slot) {
    if (path == ORBEL_PARAMS[slot].path) {
      chunk.params[slot] = value;
      chunk.hasParam[slot] = true;
      return;
    }
  }
}

// The "params" object; the cursor stands at its '{'.
bool parseParams(Reader& reader, StateChunk& chunk, int depth) {
  ++reader.cursor;
  if (consumeChar(reader, '}')) return true;
  std::string path;
  for (;;) {
    if (!parseString(reader, &path)) return false;
    if (!consumeChar(reader, ':')) return false;
    const char c = nextByte(reader);
    if (c == 't') {
      if (!startsWith(reader, "true")) return false;
      reader.cursor += 4;
      recordParam(chunk, path, 1.0);
    } else if (c == 'f') {
      if (!startsWith(reader, "false")) return false;
      reader.cursor += 5;
      recordParam(chunk, path, 0.0);
    } else {
      double v = 0.0;
      const size_t used = jsonScanNumber(reader.cursor, reader.end, &v);
      if (used != 0) {
        reader.cursor += used;
        // A bare nan or inf is no value, as null is: the engine never sees it.
        if (std::isfinite(v)) recordParam(chunk, path, v);
      } else if (!skipValue(reader, depth + 1)) {
        return false;
      }
    }
    const int sep = memberSeparator(reader, '}');
    if (sep < 0) return false;
    if (sep == 0) return true;
  }
}

// The "sampler" object; the cursor stands at its '{'.
bool parseSamplerExtension(Reader& reader, StateChunk& chunk) {
  ++reader.cursor;
  if (consumeChar(reader, '}')) return true;
  bool versionOne = false;
  bool padsRead = false;
  SamplerPadOverrides pads;
  std::string key;
  for (;;) {
    if (!parseString(reader, &key)) return false;
    if (!consumeChar(reader, ':')) return false;
    if (key == "v") {
      double v = 0.0;
      if (!parseNumber(reader, &v)) return false;
      versionOne = v == 1.0;
    } else if (key == "pads" && nextByte(reader) == '{') {
      if (!parsePadOverrideMap(reader, pads)) return false;
      padsRead = true;
    } else if (!skipValue(reader, 1)) {
      return false;
    }
    const int sep = memberSeparator(reader, '}');
    if (sep < 0) return false;
    if (sep == 0) break;
  }
  // Another version's pads mean something else: keep what we had.
  if (padsRead && versionOne) {
    chunk.padOverrides = std::move(pads);
    chunk.hasPadOverrides = true;
  }
  return true;
}

// The "authoredState" object; the cursor stands at its '{'.
bool parseAuthoredState(Reader& reader, StateChunk& chunk, size_t maxBytes) {
  ++reader.cursor;
  if (consumeChar(reader, '}')) return true;
  int32_t version = 0;
  std::string text;
  std::string key;
  for (;;) {
    if (!parseString(reader, &key)) return false;
    if (!consumeChar(reader, ':')) return false;
    if (key == "v") {
      double v = 0.0;
      if (!parseNumber(reader, &v)) return false;
      int32_t whole = 0;
      version = toInt32(v, whole) ? whole : 0;
    } else if (key == "bytes" && nextByte(reader) == '"') {
      if (!parseString(reader, &text)) return false;
    } else if (!skipValue(reader, 1)) {
      return false;
    }
    const int sep = memberSeparator(reader, '}');
    if (sep < 0) return false;
    if (sep == 0) break;
  }
  if (!text.empty()) {
    std::vector<uint8_t> bytes;
    if (base64Decode(text, bytes, maxBytes)) {
      chunk.authoredBytes = std::move(bytes);
      chunk.authoredVersion = version;
      chunk.hasAuthoredState = true;
    }
  }
  return true;
}

// The "bank" object; the cursor stands at its '{'.
bool parseBankStateRef(Reader& reader, StateChunk& chunk) {
  ++reader.cursor;
  std::string id, bankVersion, sha256, source, presetId, instrument, locator;
  if (!consumeChar(reader, '}')) {
    std::string key;
    for (;;) {
      if (!parseString(reader, &key)) return false;
      if (!consumeChar(reader, ':')) return false;
      std::string* target = nullptr;
      if (key == "id")
        target = &id;
      else if (key == "bankVersion")
        target = &bankVersion;
      else if (key == "sha256")
        target = &sha256;
      else if (key == "source")
        target = &source;
      else if (key == "presetId")
        target = &presetId;
      else if (key == "instrument")
        target = &instrument;
      else if (key == "locator")
        target = &locator;
      if (target != nullptr && nextByte(reader) == '"') {
        if (!parseString(reader, target)) return false;
      } else if (!skipValue(reader, 1)) {
        return false;
      }
      const int sep = memberSeparator(reader, '}');
      if (sep < 0) return false;
      if (sep == 0) break;
    }
  }

  if (id.empty()) return true;
  if (!storeText(chunk.id, id)) {
    clearText(chunk.id);
    return true;
  }
  if (!storeText(chunk.bankVersion, bankVersion)) clearText(chunk.bankVersion);
  if (!storeText(chunk.sha256, sha256)) clearText(chunk.sha256);
  if (bankSourceNameKnown(source.c_str())) storeText(chunk.source, source);
  chunk.hasRef = true;
  if (!locator.empty()) {
    chunk.hasLocator = storeText(chunk.locator, locator);
    if (!chunk.hasLocator) clearText(chunk.locator);
  }
  if (!presetId.empty()) {
    chunk.hasPresetId = storeText(chunk.presetId, presetId);
    if (!chunk.hasPresetId) clearText(chunk.presetId);
  }
  if (!instrument.empty() && !storeText(chunk.instrument, instrument)) clearText(chunk.instrument);
  return true;
}

// The top-level object.
bool parseTopLevel(Reader& reader, StateChunk& chunk) {
  skipWhitespace(reader);
  if (reader.atEnd() || *reader.cursor != '{') return false;
  ++reader.cursor;
  if (consumeChar(reader, '}')) return true;
  std::string key;
  for (;;) {
    if (!parseString(reader, &key)) return false;
    if (!consumeChar(reader, ':')) return false;
    const char c = nextByte(reader);
    if (key == "params") {
      if (c != '{' || !parseParams(reader, chunk, 1)) return false;
    } else if (key == "variation") {
      double v = 0.0;
      if (!parseNumber(reader, &v)) return false;
      toInt32(v, chunk.variation);
    } else if (key == "samplerAssetFault") {
      std::string name;
      if (!parseString(reader, &name)) return false;
      chunk.assetFault = samplerAssetDiagnosticFromName(name.c_str());
      chunk.hasAssetFault = chunk.assetFault != kSamplerAssetNone;
    } else if (key == "samplerZoneProgram") {
      std::string name;
      if (!parseString(reader, &name)) return false;
      if (samplerZoneProgramNameKnown(name.c_str())) {
        chunk.zoneProgram = samplerZoneProgramFromName(name.c_str());
        chunk.hasZoneProgram = true;
      }
    } else if (key == "ccMap" && (c == '{' || c == '[')) {
      bool present = false;
      if (!parseCcMapValue(reader, chunk.ccMap, present)) return false;
      if (present) chunk.hasCcMap = true;
    } else if (key == "sampler" && c == '{') {
      if (!parseSamplerExtension(reader, chunk)) return false;
    } else if (key == "authoredState" && c == '{') {
      if (!parseAuthoredState(reader, chunk, kAuthoredStateMaxBytes)) return false;
    } else if (key == "bank" && c == '{') {
      if (!parseBankStateRef(reader, chunk)) return false;
    } else if (!skipValue(reader, 1)) {
      return false;
    }
    const int sep = memberSeparator(reader, '}');
    if (sep < 0) return false;
    if (sep == 0) return true;
  }
}

bool nonEmpty(const char* text) { return text != nullptr && text[0] != '\0'; }

}  // namespace

const char* samplerAssetDiagnosticName(SamplerAssetDiagnostic code) {
  for (const AssetFaultName& entry : kAssetFaultNames) {
    if (entry.code == code) return entry.name;
  }
  return "none";
}

SamplerAssetDiagnostic samplerAssetDiagnosticFromName(const char* name) {
  if (name == nullptr) return kSamplerAssetNone;
  for (const AssetFaultName& entry : kAssetFaultNames) {
    if (std::strcmp(entry.name, name) == 0) return entry.code;
  }
  return kSamplerAssetNone;
}

const char* samplerZoneProgramName(SamplerZoneProgram program) {
  return program < 8 ? kZoneProgramNames[program] : kZoneProgramNames[0];
}

bool samplerZoneProgramNameKnown(const char* name) {
  if (name == nullptr) return false;
  for (const char* known : kZoneProgramNames) {
    if (std::strcmp(known, name) == 0) return true;
  }
  return false;
}

SamplerZoneProgram samplerZoneProgramFromName(const char* name) {
  if (name == nullptr) return kZoneLegacySingleZone;
  for (uint32_t i = 0; i < 8; ++i) {
    if (std::strcmp(kZoneProgramNames[i], name) == 0) return static_cast<SamplerZoneProgram>(i);
  }
  return kZoneLegacySingleZone;
}

bool bankSourceNameKnown(const char* name) {
  if (name == nullptr) return false;
  for (const char* known : kBankSourceNames) {
    if (std::strcmp(known, name) == 0) return true;
  }
  return false;
}

const char* stateParamPath(int slot) {
  return slot >= 0 && slot < kStateParamCount ? ORBEL_PARAMS[slot].path : nullptr;
}

std::string writeStateJson(const double* params, int variation, const CcMap* ccMap,
                           SamplerAssetDiagnostic fault, SamplerZoneProgram program,
                           const BankStateRefOut* bank, const SamplerPadOverrides* overrides,
                           const AuthoredStateOut* authored) {
  std::string out;
  out.reserve(423);
  out.append("{\"params\":{");
  for (int slot = 0; slot < kStateParamCount; ++slot) {
    if (slot != 0) out.push_back(',');
    jsonAppendQuoted(out, ORBEL_PARAMS[slot].path);
    out.push_back(':');
    jsonAppendNumber(out, params != nullptr ? params[slot] : 0.0);
  }
  out.push_back('}');

  if (variation >= 0) {
    out.append(",\"variation\":");
    jsonAppendNumber(out, static_cast<double>(variation));
  }
  if (ccMap != nullptr) {
    out.append(",\"ccMap\":");
    writeCcMapJson(out, *ccMap);
  }
  if (fault != kSamplerAssetNone) {
    out.append(",\"samplerAssetFault\":");
    jsonAppendQuoted(out, samplerAssetDiagnosticName(fault));
  }
  if (program != kZoneLegacySingleZone) {
    out.append(",\"samplerZoneAbi\":");
    jsonAppendQuoted(out, "orbel-dual-stack-sampler/zone-layer/v1");
    out.append(",\"samplerZoneVersion\":1,\"samplerZoneProgram\":");
    jsonAppendQuoted(out, samplerZoneProgramName(program));
  }
  if (overrides != nullptr && !overrides->empty()) {
    out.append(",\"sampler\":{\"v\":1,\"pads\":");
    writeSamplerPadOverridesJson(out, *overrides);
    out.push_back('}');
  }
  if (bank != nullptr && nonEmpty(bank->id)) {
    out.append(",\"bank\":{\"version\":");
    jsonAppendNumber(out, 1.0);
    out.append(",\"id\":");
    jsonAppendQuoted(out, bank->id);
    if (nonEmpty(bank->bankVersion)) {
      out.append(",\"bankVersion\":");
      jsonAppendQuoted(out, bank->bankVersion);
    }
    if (nonEmpty(bank->sha256)) {
      out.append(",\"sha256\":");
      jsonAppendQuoted(out, bank->sha256);
    }
    if (nonEmpty(bank->locator)) {
      out.append(",\"locator\":");
      jsonAppendQuoted(out, bank->locator);
    }
    out.append(",\"source\":");
    jsonAppendQuoted(out, nonEmpty(bank->source) ? bank->source : "embedded");
    if (nonEmpty(bank->instrument)) {
      out.append(",\"instrument\":");
      jsonAppendQuoted(out, bank->instrument);
    }
    if (nonEmpty(bank->presetId)) {
      out.append(",\"presetId\":");
      jsonAppendQuoted(out, bank->presetId);
    }
    out.push_back('}');
  }
  if (authored != nullptr && authored->bytes != nullptr && authored->length != 0) {
    out.append(",\"authoredState\":{\"v\":");
    jsonAppendNumber(out, static_cast<double>(authored->version));
    out.append(",\"bytes\":\"");
    base64Append(out, authored->bytes, authored->length);
    out.append("\"}");
  }
  out.push_back('}');
  return out;
}

bool parseStateJson(const char* data, size_t length, StateChunk& out) {
  if (data == nullptr && length != 0) return false;
  // Work on a copy: a document that fails half way must not leave half of
  // itself in the caller's chunk.
  StateChunk scratch = out;
  Reader reader(data, length);
  if (!parseTopLevel(reader, scratch)) return false;
  skipWhitespace(reader);
  if (!reader.atEnd()) return false;
  out = std::move(scratch);
  return true;
}

unsigned resolveBankStateRef(const StateChunk& chunk, unsigned& unused) {
  (void)unused;
  return chunk.hasRef && chunk.id[0] != '\0' ? 2u : 0u;
}

}  // namespace orbel
