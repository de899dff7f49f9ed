#include "editor/diagnostic_blocks.h"

#include <cstring>
#include <utility>

#include "json/json_write.h"

namespace orbel {

namespace {

struct FeedName {
  const char* name;
  uint32_t bit;
};

constexpr FeedName kFeeds[] = {
    {"host", kDiagnosticFeedHost},           {"transport", kDiagnosticFeedTransport},
    {"midiIn", kDiagnosticFeedMidiIn},       {"midiOut", kDiagnosticFeedMidiOut},
    {"meters", kDiagnosticFeedMeters},       {"scope", kDiagnosticFeedScope},
    {"lifecycle", kDiagnosticFeedLifecycle}, {"counters", kDiagnosticFeedCounters},
    {"params", kDiagnosticFeedParams},       {"presets", kDiagnosticFeedPresets},
    {"clock", kDiagnosticFeedClock},
};

// Length of a fixed text field, which need not be terminated.
template <size_t N>
size_t fieldLength(const char (&field)[N]) {
  return strnlen(field, N);
}

template <size_t N>
void appendTextMember(std::string& out, const char* key, const char (&field)[N]) {
  const size_t n = fieldLength(field);
  if (n == 0) return;
  out += ",\"";
  out += key;
  out += "\":";
  jsonAppendQuoted(out, field, n);
}

void appendCountMember(std::string& out, const char* key, int64_t value) {
  if (value < 0) return;
  out += ",\"";
  out += key;
  out += "\":";
  out += std::to_string(value);
}

}  // namespace

uint32_t diagnosticFeedBit(std::string_view name) {
  for (const FeedName& feed : kFeeds)
    if (name == feed.name) return feed.bit;
  return 0;
}

const char* diagnosticTargetName(DiagnosticTarget target) {
  switch (target) {
    case DiagnosticTarget::Vst3:
      return "vst3";
    case DiagnosticTarget::Clap:
      return "clap";
    case DiagnosticTarget::Au:
      return "au";
    case DiagnosticTarget::Standalone:
      return "standalone";
    default:
      return "offline";
  }
}

void writeDiagnosticIdentityJson(std::string& out, DiagnosticTarget target) {
  writeDiagnosticIdentityJson(out, target, readUiBundleFacts());
}

void writeDiagnosticIdentityJson(std::string& out, DiagnosticTarget target,
                                 const UiBundleFacts& ui) {
  out +=
      "{\"moduleId\":\"music.orbel.mirel\",\"name\":\"Mirel\",\"vendor\":\"Orbel Music\","
      "\"version\":\"0.0.0\",\"hostClass\":\"instrument\",\"target\":";
  jsonAppendQuoted(out, diagnosticTargetName(target));
  out +=
      ",\"sdkVersion\":\"0.0.0\",\"build\":{\"mode\":\"production\",\"configuration\":\"Release\"}";
  if (!ui.empty()) {
    out += ",\"ui\":{";
    bool first = true;
    for (const auto& [name, value] :
         {std::pair<const char*, const char*>{"buildTime", ui.buildTime},
          {"sourceRevision", ui.sourceRevision},
          {"sha256", ui.sha256}}) {
      if (value[0] == 0) continue;
      if (!first) out += ',';
      first = false;
      jsonAppendQuoted(out, name);
      out += ':';
      jsonAppendQuoted(out, value);
    }
    out += '}';
  }
  out +=
      ",\"ratePolicy\":{\"mode\":\"host-native\"},\"state\":{\"version\":1,\"maxBytes\":65536},"
      "\"ports\":[{\"id\":\"out\",\"kind\":\"audio\",\"direction\":\"output\",\"busRole\":\"main\","
      "\"channels\":1},{\"id\":\"midi-in\",\"kind\":\"midi\",\"direction\":\"input\",\"busRole\":"
      "\"main\"}]}";
}

void writeDiagnosticCapabilitiesJson(std::string& out) {
  out += "{\"feeds\":[],\"commands\":[],\"maxFeedHz\":0}";
}

void writeDiagnosticBankJson(std::string& out, const BankFacts& facts) {
  out += "{\"id\":";
  jsonAppendQuoted(out, facts.id, fieldLength(facts.id));
  appendTextMember(out, "name", facts.name);
  appendTextMember(out, "kind", facts.kind);
  appendTextMember(out, "version", facts.version);
  appendTextMember(out, "sha256", facts.sha256);
  appendTextMember(out, "source", facts.source);
  appendTextMember(out, "entryId", facts.entryId);
  appendCountMember(out, "index", facts.index);
  appendCountMember(out, "zoneCount", facts.zoneCount);
  appendCountMember(out, "roundRobinGroups", facts.roundRobinGroups);
  appendCountMember(out, "chokeGroups", facts.chokeGroups);
  appendCountMember(out, "velocityLayers", facts.velocityLayers);
  appendCountMember(out, "padCount", facts.padCount);
  out += "}";
}

void writeDiagnosticBanksJson(std::string& /*out*/) {}

void writeDiagnosticPresetStateJson(std::string& out, const PresetStateFacts& facts) {
  out += "{\"factoryCount\":";
  out += std::to_string(facts.factoryCount);
  appendTextMember(out, "currentId", facts.currentId);
  appendTextMember(out, "currentName", facts.currentName);
  out += facts.dirty ? ",\"dirty\":true" : ",\"dirty\":false";
  out += facts.userPresetsSupported ? ",\"userPresetsSupported\":true"
                                    : ",\"userPresetsSupported\":false";
  appendCountMember(out, "lastStateBytes", facts.lastStateBytes);
  if (facts.bank.valid == 1 && fieldLength(facts.bank.id) > 0) {
    out += ",\"bank\":";
    writeDiagnosticBankJson(out, facts.bank);
  }
  out += "}";
}

void appendDiagnosticHelloBlocks(std::string& out, DiagnosticTarget target, const HostFacts& host,
                                 const PresetStateFacts& presetState) {
  out += ",\"identity\":";
  writeDiagnosticIdentityJson(out, target);
  if (host.sampleRate > 0) {
    out += ",\"host\":";
    writeDiagnosticHostJson(out, host);
  }
  out += ",\"diagnostics\":";
  writeDiagnosticCapabilitiesJson(out);
  out += ",\"presetState\":";
  writeDiagnosticPresetStateJson(out, presetState);
}

}  // namespace orbel
