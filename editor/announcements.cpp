#include "editor/announcements.h"

#include "editor/diagnostic_blocks.h"
#include "json/json_write.h"

namespace orbel {

namespace {

// ",\"value\":<plain>,\"normalized\":<normalized>" of one parameter.
void appendParamValues(std::string& out, const orbel_param_desc& desc, double normalized) {
  out += ",\"value\":";
  jsonAppendNumber(out, orbel_param_to_plain(&desc, normalized));
  out += ",\"normalized\":";
  jsonAppendNumber(out, normalized);
}

}  // namespace

void writeHelloJson(std::string& out, const HelloFacts& facts) {
  out += "{\"type\":\"orbel.hello\",\"plugin\":{\"id\":";
  jsonAppendQuoted(out, kAnnouncedPluginId);
  out += ",\"name\":";
  jsonAppendQuoted(out, kAnnouncedPluginName);
  out += ",\"vendor\":";
  jsonAppendQuoted(out, kAnnouncedPluginVendor);
  out += ",\"version\":";
  jsonAppendQuoted(out, kAnnouncedPluginVersion);
  out += "},\"params\":[";
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    if (i != 0) out += ",";
    const orbel_param_desc& desc = ORBEL_PARAMS[i];
    out += "{\"path\":";
    jsonAppendQuoted(out, desc.path);
    appendParamValues(out, desc,
                      facts.normalized != nullptr ? facts.normalized[i] : desc.defaultNormalized);
    out += "}";
  }
  out += "],\"factoryPresets\":[]";
  if (facts.ccMap != nullptr) {
    out += ",\"ccMap\":";
    writeCcMapJson(out, *facts.ccMap);
  }
  if (!facts.runtimeHealth.empty()) {
    out += ",\"runtimeHealth\":";
    out += facts.runtimeHealth;
  }
  const HostFacts noHost;
  const PresetStateFacts noPresets;
  appendDiagnosticHelloBlocks(out, DiagnosticTarget::Vst3, facts.host ? *facts.host : noHost,
                              facts.presetState ? *facts.presetState : noPresets);
  out += "}";
}

bool writeParamChangedJson(std::string& out, uint32_t index, double normalized) {
  if (index >= ORBEL_PARAM_COUNT) return false;
  const orbel_param_desc& desc = ORBEL_PARAMS[index];
  out += "{\"type\":\"orbel.paramChanged\",\"path\":";
  jsonAppendQuoted(out, desc.path);
  appendParamValues(out, desc, normalized);
  out += "}";
  return true;
}

void writeStateAnnouncementJson(std::string& out, std::string_view document) {
  out += "{\"type\":\"orbel.state\",\"state\":";
  out += document;
  out += "}";
}

void writeRuntimeDiagnosticsJson(std::string& out, std::string_view report) {
  out += "{\"type\":\"orbel.runtimeDiagnostics\",\"report\":";
  out += report;
  out += "}";
}

}  // namespace orbel
