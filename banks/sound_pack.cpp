#include "banks/sound_pack.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <new>
#include <utility>

#include "banks/asset_verify.h"
#include "banks/wav_decoder.h"
#include "json/json_read.h"

namespace orbel {

const char* runtimeBankOutcomeName(RuntimeBankOutcome outcome) {
  switch (outcome) {
    case kRuntimeBankOk:
      return "ok";
    case kRuntimeBankMissing:
      return "bank-missing";
    case kRuntimeBankHashMismatch:
      return "bank-hash-mismatch";
    case kRuntimeBankMalformed:
      return "bank-malformed";
    case kRuntimeBankUnsupportedCodec:
      return "bank-unsupported-codec";
    case kRuntimeBankTooLarge:
      return "bank-too-large";
    case kRuntimeBankInstrumentUnknown:
      return "bank-instrument-unknown";
  }
  return "bank-missing";
}

namespace {

constexpr const char* kPackFormat = "orbel-sound-pack/v1";
constexpr const char* kInstrumentFormat = "orbel-sampler-instrument/v1";
constexpr const char* kEllipsis = "\xE2\x80\xA6";  // U+2026

struct VerifiedAsset {
  std::string path;
  std::vector<uint8_t> bytes;
};

// What is left of a load's byte limit; every file read is charged to it.
struct ReadBudget {
  uint64_t limit;
  uint64_t left;

  ContainedRead read(const std::string& bankDir, const std::string& path,
                     std::vector<uint8_t>& out) {
    const ContainedRead result = readContainedFile(bankDir, path, out, left);
    if (result == ContainedRead::Ok) left -= out.size();
    return result;
  }
  std::string refusal(const std::string& path) const {
    return "bank files exceed the " + std::to_string(limit) + "-byte limit (at " + path + ")";
  }
};

std::string text(const JsonValue& object, const char* key) { return object.str(key, ""); }

// A member that is a finite number. Anything else (absent, another kind, or
// an inf/nan the number grammar lets through) counts as absent, so no
// non-finite value reaches a frame index or the sampler's gain stages.
bool number(const JsonValue& object, const char* key, double& out) {
  const JsonValue* v = object.find(key);
  if (v == nullptr || !v->isNumber() || !std::isfinite(v->number)) return false;
  out = v->number;
  return true;
}

bool flag(const JsonValue& object, const char* key, bool fallback) {
  const JsonValue* v = object.find(key);
  return v != nullptr && v->isBool() ? v->boolean != 0 : fallback;
}

// Negative as 0, then truncated; saturates instead of overflowing.
uint64_t truncatedFrames(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 9.0e18) return 9000000000000000000ull;
  return static_cast<uint64_t>(v);
}

uint32_t saturate32(uint64_t v) {
  return v > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                  : uint32_t(v);
}

int32_t declared32(uint64_t v) {
  return v > uint64_t(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                           : int32_t(v);
}

uint32_t midi7(double v) {
  if (v <= 0.0) return 0;
  if (v > 127.0) return 127;
  return static_cast<uint32_t>(v + 0.5);
}

std::string decimal(double truncated) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.0f", truncated);
  return buffer;
}

const std::vector<JsonValue>* arrayMember(const JsonValue& object, const char* key) {
  const JsonValue* v = object.find(key);
  return v != nullptr && v->isArray() ? &v->items : nullptr;
}

bool fail(RuntimeBankLoad& load, RuntimeBankOutcome outcome, std::string message) {
  load.outcome = outcome;
  load.message = std::move(message);
  // Whatever was staged before the failure is never used; drop it (and the
  // memory of a half-filled arena) rather than hand back a partial bank.
  load.bank = StagedBank{};
  return false;
}

bool verifyAssets(const std::string& bankDir, const JsonValue& manifest, uint32_t maxAssets,
                  ReadBudget& budget, std::map<std::string, VerifiedAsset>& assets,
                  RuntimeBankLoad& load) {
  const std::vector<JsonValue>* table = arrayMember(manifest, "assetTable");
  if (table == nullptr || table->empty())
    return fail(load, kRuntimeBankMalformed, "bank.json declares no assetTable");
  if (table->size() > maxAssets)
    return fail(load, kRuntimeBankTooLarge,
                "bank declares " + std::to_string(table->size()) + " assets, more than the " +
                    std::to_string(maxAssets) + " a bank may hold");
  for (const JsonValue& entry : *table) {
    if (!entry.isObject()) continue;
    const std::string id = text(entry, "id");
    const std::string path = text(entry, "path");
    const std::string sha = text(entry, "sha256");
    double declaredBytes = -1.0;
    if (!number(entry, "bytes", declaredBytes)) declaredBytes = -1.0;
    const std::string codec = entry.str("codec", "wav");
    if (id.empty() || path.empty())
      return fail(load, kRuntimeBankMalformed, "assetTable entry missing id or path");
    const std::string escapes = "asset \"" + id + "\" path escapes the bank directory";
    if (!pathIsContained(path)) return fail(load, kRuntimeBankMalformed, escapes);
    if (codec != "wav")
      return fail(load, kRuntimeBankUnsupportedCodec,
                  "asset \"" + id + "\" codec \"" + codec +
                      "\" is not decoded by the native runtime loader (wav only)");
    VerifiedAsset asset;
    asset.path = path;
    switch (budget.read(bankDir, path, asset.bytes)) {
      case ContainedRead::Ok:
        break;
      case ContainedRead::Escapes:
        return fail(load, kRuntimeBankMalformed, escapes);
      case ContainedRead::TooLarge:
        return fail(load, kRuntimeBankTooLarge, budget.refusal(path));
      case ContainedRead::Unreadable:
        return fail(load, kRuntimeBankMissing, "asset \"" + id + "\" file missing: " + path);
    }
    if (declaredBytes >= 0.0) {
      const double declared = std::trunc(declaredBytes);
      if (declared != double(asset.bytes.size()))
        return fail(load, kRuntimeBankHashMismatch,
                    "asset \"" + id + "\" is " + std::to_string(asset.bytes.size()) +
                        " bytes, manifest declares " + decimal(declared));
    }
    if (!sha.empty()) {
      const std::string actual = sha256Hex(asset.bytes.data(), asset.bytes.size());
      if (actual != sha)
        return fail(load, kRuntimeBankHashMismatch,
                    "asset \"" + id + "\" sha256 " + actual.substr(0, 16) + kEllipsis +
                        " does not match the manifest");
    }
    assets[id] = std::move(asset);  // a later entry with the same id wins
  }
  return true;
}

void listEntries(const JsonValue& manifest, std::vector<StagedPositioning>& entries) {
  for (const char* kind : {"instruments", "kits"}) {
    const std::vector<JsonValue>* list = arrayMember(manifest, kind);
    if (list == nullptr) continue;
    for (const JsonValue& item : *list) {
      if (!item.isObject()) continue;
      StagedPositioning entry{text(item, "id"), text(item, "name"), kind};
      if (!entry.id.empty()) entries.push_back(std::move(entry));
    }
  }
}

// Presets never fail the load: one that cannot be read or sets nothing is
// left out.
void collectPresets(const std::string& bankDir, const JsonValue& manifest, ReadBudget& budget,
                    std::vector<StagedPreset>& presets) {
  const std::vector<JsonValue>* list = arrayMember(manifest, "presets");
  if (list == nullptr) return;
  for (const JsonValue& item : *list) {
    if (!item.isObject()) continue;
    StagedPreset staged;
    BankControlPreset& preset = staged.preset;
    preset.id = text(item, "id");
    if (preset.id.empty()) continue;
    preset.name = text(item, "name");
    if (preset.name.empty()) preset.name = preset.id;
    preset.instrument = text(item, "instrument");
    const std::string document = text(item, "document");
    if (document.empty()) continue;
    std::vector<uint8_t> bytes;
    if (budget.read(bankDir, document, bytes) != ContainedRead::Ok) continue;
    JsonValue root;
    if (!parseJsonDocument(bytes, root) || !root.isObject()) continue;
    const JsonValue* params = root.find("params");
    if (params == nullptr || !params->isObject()) continue;
    for (const auto& [key, value] : params->members)  // std::map: ascending byte order
      if (value.isNumber() && std::isfinite(value.number))
        preset.params.emplace_back(key, value.number);
    if (!preset.params.empty()) presets.push_back(std::move(staged));
  }
}

struct ChosenInstrument {
  std::string id, name, kind, document;
};

bool chooseInstrument(const JsonValue& manifest, const std::string& wanted,
                      ChosenInstrument& chosen) {
  for (const char* kind : {"instruments", "kits"}) {
    const std::vector<JsonValue>* list = arrayMember(manifest, kind);
    if (list == nullptr) continue;
    for (const JsonValue& item : *list) {
      if (!item.isObject()) continue;
      const std::string id = text(item, "id");
      if (!wanted.empty() && wanted != id) continue;
      const std::string document = text(item, "document");
      if (document.empty()) continue;
      chosen = ChosenInstrument{id, text(item, "name"), kind, document};
      return true;
    }
  }
  return false;
}

StagedZone stageZone(const JsonValue& z, uint32_t assetOffset, uint32_t assetFrames,
                     double assetRate) {
  StagedZone zone;
  zone.id = text(z, "id");
  zone.assetOffset = assetOffset;
  zone.assetFrames = assetFrames;
  zone.sampleRate = assetRate;

  double v;
  uint64_t h = 0;
  if (number(z, "startFrame", v)) {
    h = truncatedFrames(v);
    if (h >= assetFrames) h = 0;
  }
  uint64_t frames = assetFrames - h;
  zone.start = uint32_t(assetOffset + h);
  if (number(z, "endFrame", v)) {
    const uint64_t e = truncatedFrames(v);
    if (e > h && e - h < frames) frames = e - h;
  }
  zone.frames = uint32_t(frames);

  if (number(z, "lowKey", v)) zone.lowKey = midi7(v);
  if (number(z, "highKey", v)) zone.highKey = midi7(v);
  if (number(z, "rootKey", v)) zone.rootKey = midi7(v);
  zone.keyTracking = flag(z, "keyTracking", true) ? 1 : 0;
  if (number(z, "lowVelocity", v)) zone.lowVelocity = midi7(v);
  if (number(z, "highVelocity", v)) zone.highVelocity = midi7(v);
  if (number(z, "gain", v)) zone.gain = v;
  if (number(z, "pan", v)) zone.pan = v;
  if (number(z, "fineTuneCents", v)) zone.fineTuneCents = v;
  if (number(z, "roundRobinGroup", v)) zone.roundRobinGroup = saturate32(truncatedFrames(v));
  if (number(z, "chokeGroup", v)) zone.chokeGroup = saturate32(truncatedFrames(v));
  const std::string trigger = text(z, "trigger");
  zone.trigger = trigger == "release" ? 1 : trigger == "legato" ? 2 : 0;
  if (number(z, "attackSeconds", v)) zone.attackSeconds = v;
  if (number(z, "releaseSeconds", v)) zone.releaseSeconds = v;
  zone.reverse = flag(z, "reverse", false) ? 1 : 0;
  if (number(z, "filterCutoffHz", v)) zone.filterCutoffHz = v;
  if (number(z, "filterResonance", v)) zone.filterResonance = v;

  double loopStart, loopEnd;
  if (text(z, "loopMode") == "forward" && number(z, "loopStartFrame", loopStart) &&
      number(z, "loopEndFrame", loopEnd)) {
    const uint64_t s = truncatedFrames(loopStart);
    const uint64_t e = truncatedFrames(loopEnd);
    zone.loopStartDeclared = declared32(s);
    zone.loopEndDeclared = declared32(e);
    if (s >= h && s < e && frames >= e - h) {
      zone.loop = 1;
      zone.loopStart = uint32_t(s - h);
      zone.loopEnd = uint32_t(e - h);
      const uint64_t c = number(z, "loopCrossfadeFrames", v) ? truncatedFrames(v) : 0;
      zone.loopCrossfadeDeclared = declared32(c);
      zone.loopCrossfade = zone.loopEnd - zone.loopStart >= c ? uint32_t(c) : 0;
    }
  }
  return zone;
}

void loadInto(RuntimeBankLoad& load, const std::string& bankDir, unsigned long arenaCapacity,
              const std::string& instrumentId, const RuntimeBankLimits& limits) {
  StagedBank& bank = load.bank;
  ReadBudget budget{limits.maxBytes, limits.maxBytes};

  const std::string manifestPath = joinPath(bankDir, "bank.json");
  std::vector<uint8_t> manifestBytes;
  switch (budget.read(bankDir, "bank.json", manifestBytes)) {
    case ContainedRead::Ok:
      break;
    case ContainedRead::TooLarge:
      fail(load, kRuntimeBankTooLarge, budget.refusal("bank.json"));
      return;
    default:
      fail(load, kRuntimeBankMissing, "cannot read " + manifestPath);
      return;
  }
  JsonValue manifest;
  if (!parseJsonDocument(manifestBytes, manifest) || !manifest.isObject()) {
    fail(load, kRuntimeBankMalformed, "bank.json is not a JSON object");
    return;
  }
  const std::string format = text(manifest, "format");
  if (format != kPackFormat) {
    fail(load, kRuntimeBankMalformed,
         "bank.json format is \"" + format + "\", expected " + kPackFormat);
    return;
  }
  bank.id = text(manifest, "id");
  bank.version = text(manifest, "version");
  bank.name = text(manifest, "name");
  if (bank.id.empty()) {
    fail(load, kRuntimeBankMalformed, "bank.json declares no id");
    return;
  }
  bank.sha256 = sha256Hex(manifestBytes.data(), manifestBytes.size());

  std::map<std::string, VerifiedAsset> assets;
  if (!verifyAssets(bankDir, manifest, limits.maxAssets, budget, assets, load)) return;

  listEntries(manifest, bank.entries);
  collectPresets(bankDir, manifest, budget, bank.presets);

  ChosenInstrument chosen;
  if (!chooseInstrument(manifest, instrumentId, chosen)) {
    if (instrumentId.empty()) {
      fail(load, kRuntimeBankMalformed, "bank.json names no readable instrument/kit document");
    } else {
      std::string message =
          "bank " + bank.id + " has no instrument or kit \"" + instrumentId + "\"";
      if (bank.entries.empty()) {
        message += " (the bank lists none)";
      } else {
        message += " (known: ";
        for (size_t i = 0; i < bank.entries.size(); ++i)
          message += (i ? ", " : "") + bank.entries[i].id;
        message += ")";
      }
      fail(load, kRuntimeBankInstrumentUnknown, std::move(message));
    }
    return;
  }
  bank.instrumentId = chosen.id;
  bank.instrumentName = chosen.name;
  bank.instrumentKind = chosen.kind;

  std::vector<uint8_t> documentBytes;
  switch (budget.read(bankDir, chosen.document, documentBytes)) {
    case ContainedRead::Ok:
      break;
    case ContainedRead::TooLarge:
      fail(load, kRuntimeBankTooLarge, budget.refusal(chosen.document));
      return;
    case ContainedRead::Escapes:
      fail(load, kRuntimeBankMalformed, "bank.json names no readable instrument/kit document");
      return;
    case ContainedRead::Unreadable:
      fail(load, kRuntimeBankMissing, "instrument document missing: " + chosen.document);
      return;
  }
  JsonValue instrument;
  if (!parseJsonDocument(documentBytes, instrument) || !instrument.isObject()) {
    fail(load, kRuntimeBankMalformed, "instrument document is not a JSON object");
    return;
  }
  const std::string instrumentFormat = text(instrument, "format");
  if (instrumentFormat != kInstrumentFormat) {
    fail(load, kRuntimeBankMalformed,
         "instrument document format is \"" + instrumentFormat + "\", expected " +
             kInstrumentFormat);
    return;
  }
  const std::vector<JsonValue>* zones = arrayMember(instrument, "zones");
  if (zones == nullptr || zones->empty()) {
    fail(load, kRuntimeBankMalformed, "instrument document declares no zones");
    return;
  }

  // Decode pass: every zone must name a verified asset; each asset is decoded
  // once however many zones share it.
  std::map<std::string, WavAudio> decoded;
  for (const JsonValue& z : *zones) {
    if (!z.isObject()) continue;
    const std::string assetId = text(z, "assetId");
    const auto asset = assetId.empty() ? assets.end() : assets.find(assetId);
    if (asset == assets.end()) {
      fail(load, kRuntimeBankMalformed,
           "zone \"" + text(z, "id") + "\" names asset \"" + assetId +
               "\" which the assetTable does not declare");
      return;
    }
    if (decoded.count(assetId)) continue;
    WavAudio audio;
    std::string error;
    if (!decodeWav(asset->second.bytes, audio, error)) {
      fail(load, kRuntimeBankUnsupportedCodec, "asset \"" + assetId + "\": " + error);
      return;
    }
    decoded.emplace(assetId, std::move(audio));
    asset->second.bytes = std::vector<uint8_t>();  // the file is no longer needed
  }

  // Arena pass: assets end to end in order of first use, measured before
  // anything is copied so an oversized bank costs no arena allocation.
  std::map<std::string, uint32_t> offsets;
  std::vector<const WavAudio*> order;
  uint64_t arenaFrames = 0;
  for (const JsonValue& z : *zones) {
    if (!z.isObject()) continue;
    const std::string assetId = text(z, "assetId");
    if (offsets.count(assetId)) continue;
    const WavAudio& audio = decoded.at(assetId);
    const uint64_t needed = arenaFrames + audio.samples.size();
    if (arenaCapacity != 0 && needed > arenaCapacity) {
      fail(load, kRuntimeBankTooLarge,
           "bank needs " + std::to_string(needed) + " arena frames, the kernel published " +
               std::to_string(arenaCapacity));
      return;
    }
    // Zones address the arena with 32-bit indices.
    if (needed > std::numeric_limits<uint32_t>::max()) {
      fail(load, kRuntimeBankTooLarge,
           "bank needs " + std::to_string(needed) +
               " arena frames, more than 32-bit arena indices address");
      return;
    }
    offsets.emplace(assetId, uint32_t(arenaFrames));
    order.push_back(&audio);
    arenaFrames = needed;
  }
  bank.samples.reserve(size_t(arenaFrames));
  for (const WavAudio* audio : order)
    bank.samples.insert(bank.samples.end(), audio->samples.begin(), audio->samples.end());

  // Zone pass.
  for (const JsonValue& z : *zones) {
    if (!z.isObject()) continue;
    const std::string assetId = text(z, "assetId");
    const WavAudio& audio = decoded.at(assetId);
    bank.zones.push_back(
        stageZone(z, offsets.at(assetId), uint32_t(audio.samples.size()), audio.sampleRate));
  }
  bank.sampleRate = !bank.zones.empty() && bank.zones.front().sampleRate > 0.0
                        ? bank.zones.front().sampleRate
                        : 48000.0;

  if (bank.zones.empty() || bank.samples.empty()) {
    fail(load, kRuntimeBankMalformed, "bank staged no zones or no samples");
    return;
  }
  load.outcome = kRuntimeBankOk;
  load.message.clear();
}

}  // namespace

RuntimeBankLoad loadRuntimeBank(const std::string& bankDir, unsigned long arenaCapacity,
                                const std::string& instrumentId, const RuntimeBankLimits& limits) {
  RuntimeBankLoad load;
  try {
    loadInto(load, bankDir, arenaCapacity, instrumentId, limits);
  } catch (const std::bad_alloc&) {
    // A pack bigger than the memory at hand (the caller may pass no arena
    // limit) is refused like any oversized bank instead of ending the host.
    fail(load, kRuntimeBankTooLarge, "bank does not fit in memory");
  }
  return load;
}

}  // namespace orbel
