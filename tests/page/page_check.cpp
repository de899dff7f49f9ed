// The page tests' window into the real C++ readers and writers, so the page is
// checked against what the controller actually writes and accepts rather than
// against hand-made copies.
//
//   page_check announcements   one real announcement per line, "name<TAB>json":
//                              hellos, parameter changes, CC map, health
//                              report, lifecycle, host change and transport
//   page_check messages        reads page messages (one JSON text per line) and
//                              answers per line how the controller parses them:
//                              "malformed", or "ok TYPE PATH VALUE"
//   page_check ccmap           reads one page message; prints the CC map the
//                              controller adopts from it, as the controller
//                              writes it, or "malformed" / "no-map"
//   page_check text            reads "PATH PLAIN" lines; prints the host's
//                              display text of each value
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "ccmap/cc_map.h"
#include "diagnostics/host_facts.h"
#include "diagnostics/lifecycle_log.h"
#include "diagnostics/runtime_diagnostics.h"
#include "diagnostics/runtime_health.h"
#include "editor/announcements.h"
#include "editor/bridge_message.h"
#include "json/json_write.h"
#include "params/param_table.h"

namespace {

using namespace orbel;

void emit(const char* name, const std::string& json) { std::cout << name << '\t' << json << '\n'; }

HostFacts playingHost(double rate, int32_t block) {
  HostFacts facts;
  facts.sampleRate = rate;
  facts.maxBlockFrames = block;
  facts.lastBlockFrames = block;
  facts.latencySamples = 0;
  facts.addBus("out0", false, 2, true, "stereo");
  return facts;
}

orbel_runtime_diagnostic_ring troubledRing() {
  orbel_runtime_diagnostic_ring ring;
  orbel_runtime_diagnostic_ring_init(&ring);
  orbel_runtime_diagnostic_record(&ring, ORBEL_DIAG_SUSPICIOUS_SILENCE, ORBEL_DIAG_SEVERITY_WARNING,
                                  ORBEL_DIAG_PHASE_PROCESS,
                                  "output stayed silent while notes were held", "4 blocks");
  orbel_runtime_diagnostic_record(&ring, ORBEL_DIAG_BANK_MISSING, ORBEL_DIAG_SEVERITY_ERROR,
                                  ORBEL_DIAG_PHASE_PRESET, "runtime bank could not be loaded",
                                  "/home/user/packs/kit");
  return ring;
}

void writeAnnouncements() {
  // A hello of a fresh controller: no map, no report, no host block.
  std::string out;
  writeHelloJson(out, HelloFacts{});
  emit("helloFresh", out);

  // A hello after the host set the plug-in up, with a map and a health report.
  double normalized[ORBEL_PARAM_COUNT];
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i)
    normalized[i] = ORBEL_PARAMS[i].defaultNormalized;
  normalized[ORBEL_PARAM_OSC_TYPE] = 1.0;  // triangle
  normalized[ORBEL_PARAM_FILTER_CUTOFF] = orbel_param_normalize(&ORBEL_PARAMS[3], 880.0);
  normalized[ORBEL_PARAM_AMP_SUSTAIN] = 0.5;
  CcMap map;
  const char* mapText =
      R"({"bindings":[{"cc":74,"path":"filter.cutoff","curve":"log","takeover":"pickup"},)"
      R"({"cc":1,"path":"filter.envAmount","channel":2,"min":-2,"max":4,"enabled":false}]})";
  if (!parseCcMapJson(mapText, std::char_traits<char>::length(mapText), map)) std::exit(2);
  const std::string health =
      writeRuntimeHealthJson(troubledRing(), "music.orbel.mirel", "0.0.0", 48000, 512, false);
  const HostFacts host = playingHost(48000, 512);
  PresetStateFacts presets;
  presets.lastStateBytes = 734;
  HelloFacts facts;
  facts.normalized = normalized;
  facts.ccMap = &map;
  facts.runtimeHealth = health;
  facts.host = &host;
  facts.presetState = &presets;
  out.clear();
  writeHelloJson(out, facts);
  emit("helloFull", out);

  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    out.clear();
    writeParamChangedJson(out, i, 0.25);
    emit((std::string("paramChanged:") + ORBEL_PARAMS[i].path).c_str(), out);
  }

  out.clear();
  CcMap other;
  const char* otherText =
      R"([{"cc":20,"path":"osc.type","valueMode":"toggle"},{"cc":21,"path":"master.gain"}])";
  if (!parseCcMapJson(otherText, std::char_traits<char>::length(otherText), other)) std::exit(2);
  writeCcMapChangedJson(out, other);
  emit("ccMapChanged", out);

  out.clear();
  orbel_runtime_diagnostic_ring failedRing;
  orbel_runtime_diagnostic_ring_init(&failedRing);
  orbel_runtime_diagnostic_record(&failedRing, ORBEL_DIAG_INVALID_CONFIGURATION,
                                  ORBEL_DIAG_SEVERITY_ERROR, ORBEL_DIAG_PHASE_CONFIGURE,
                                  "host processing configuration is invalid", "");
  writeRuntimeDiagnosticsJson(
      out, writeRuntimeHealthJson(failedRing, "music.orbel.mirel", "0.0.0", 0, 0, true));
  emit("runtimeDiagnostics", out);

  DiagnosticLifecycleLog log;
  log.record(DiagnosticLifecycleKind::Created);
  log.record(DiagnosticLifecycleKind::EditorOpened);
  log.record(DiagnosticLifecycleKind::StateSaved)
      .addNumber("stateBytes", 734)
      .addString("source", "ui");
  log.record(DiagnosticLifecycleKind::TempoChanged, 96000)
      .addNumber("tempo", 90)
      .addNumber("previous", 120);
  out.clear();
  writeDiagnosticLifecycleReplayJson(out, log);
  emit("lifecycleReplay", out);
  log.record(DiagnosticLifecycleKind::CcMapChanged).addNumber("bindings", 2);
  out.clear();
  writeDiagnosticLifecycleJson(out, &log.newest(), 1, 0);
  emit("lifecycleOne", out);

  out.clear();
  writeDiagnosticHostChangedJson(out, host, playingHost(44100, 256), 1, 0);
  emit("hostChanged", out);

  TransportFact fact;
  fact.atFrame = 480000;
  fact.source = TransportFact::kSourceHost;
  fact.playing = true;
  fact.hasTempo = fact.hasTimeSignature = fact.hasPosition = true;
  fact.tempo = 96;
  fact.numerator = 3;
  fact.denominator = 4;
  fact.ppqPosition = 7.5;
  fact.barPositionPpq = 6;
  fact.sampleRate = 48000;
  fact.projectTimeSamples = 480000;
  out.clear();
  writeDiagnosticTransportJson(out, fact);
  emit("transport", out);
}

std::string readAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string shortest(double value) {
  char buf[64];
  const size_t n = orbel_format_shortest(value, buf, sizeof buf);
  return std::string(buf, n);
}

int describeMessages() {
  std::string line;
  while (std::getline(std::cin, line)) {
    BridgeMessage message;
    if (!parseBridgeMessage(line.data(), line.size(), message)) {
      std::cout << "malformed\n";
      continue;
    }
    std::cout << "ok " << (message.type.empty() ? "-" : message.type) << ' '
              << (message.path.empty() ? "-" : message.path) << ' '
              << (message.hasValue ? shortest(message.value) : "-") << '\n';
  }
  return 0;
}

int adoptCcMap() {
  const std::string text = readAll(std::cin);
  BridgeMessage message;
  if (!parseBridgeMessage(text.data(), text.size(), message)) {
    std::cout << "malformed\n";
    return 0;
  }
  // The controller adopts a page's map only from "orbel.setCcMap" with bindings.
  if (message.type != "orbel.setCcMap" || !message.hasCcMap) {
    std::cout << "no-map\n";
    return 0;
  }
  std::string out;
  writeCcMapJson(out, message.ccMap);
  std::cout << out << '\n';
  return 0;
}

int displayTexts() {
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream fields(line);
    std::string path;
    std::string plainText;
    fields >> path >> plainText;
    const orbel_param_desc* desc = orbel_param_by_path(path);
    if (desc == nullptr) {
      std::cout << "?\n";
      continue;
    }
    const double plain = std::strtod(plainText.c_str(), nullptr);
    std::cout << orbel_param_to_text(desc, orbel_param_normalize(desc, plain)) << '\n';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "announcements") {
    writeAnnouncements();
    return 0;
  }
  if (mode == "messages") return describeMessages();
  if (mode == "ccmap") return adoptCcMap();
  if (mode == "text") return displayTexts();
  std::fprintf(stderr, "usage: page_check announcements|messages|ccmap|text\n");
  return 2;
}
