// The controller's message traffic with the processor: the messages it
// receives in notify (bank replies, lifecycle names, transport and host facts
// images, health reports) and the ones it sends (CC map, preset id). Every
// payload travels as the binary attribute "json".
#include <cstring>
#include <string>

#include "json/json_read.h"
#include "editor/announcements.h"
#include "plugin/controller.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr const char* kJsonAttr = "json";
constexpr uint32_t kMaxLifecycleNameBytes = 63;
constexpr uint32_t kMaxHealthReportBytes = 65536;

bool idIs(FIDString id, const char* expected) { return std::strcmp(id, expected) == 0; }

// The "json" attribute of a message, or false when it is missing.
bool readJson(IMessage* message, const void*& data, uint32& size) {
  IAttributeList* attrs = message->getAttributes();
  data = nullptr;
  size = 0;
  return attrs && attrs->getBinary(kJsonAttr, data, size) == kResultOk && data;
}

}  // namespace

void OrbelController::sendJsonMessage(const char* id, const void* data, size_t size) {
  IMessage* message = allocateMessage();
  if (!message) return;
  message->setMessageID(id);
  if (IAttributeList* attrs = message->getAttributes())
    attrs->setBinary(kJsonAttr, data, static_cast<uint32>(size));
  sendMessage(message);
  message->release();
}

void OrbelController::sendCcMapToProcessor() {
  std::string json;
  writeCcMapJson(json, ccMap);
  sendJsonMessage("orbel.ccMap", json.data(), json.size());
}

void OrbelController::sendPresetLoadedToProcessor(const std::string& id) {
  sendJsonMessage("orbel.diag.presetLoaded", id.data(), id.size());
}

void OrbelController::adoptCcMap(const CcMap& map, bool notifyUi) {
  ccMap = map;
  hasCcMap = true;
  if (componentHandler) componentHandler->restartComponent(kMidiCCAssignmentChanged);
  sendCcMapToProcessor();
  recordLifecycle(DiagnosticLifecycleKind::CcMapChanged).addNumber("bindings", ccMap.count);
  publishLastLifecycle();
  if (notifyUi && bridgeSink) {
    std::string out;
    writeCcMapChangedJson(out, ccMap);
    sendToUi(out);
  }
}

void OrbelController::adoptRuntimeHealthReport(const void* data, uint32_t size) {
  if (size < 1 || size > kMaxHealthReportBytes) return;
  const char* text = static_cast<const char*>(data);
  // The report is inserted unquoted into the page's announcements, which the
  // web view evaluates as script, so nothing but one object may pass.
  if (!isOneJsonObject(text, size)) return;
  runtimeHealthReport.assign(text, size);
  recordLifecycle(DiagnosticLifecycleKind::RuntimeDiagnostic).addNumber("reportBytes", size);
  publishLastLifecycle();
  if (!bridgeSink) return;
  std::string out;
  writeRuntimeDiagnosticsJson(out, runtimeHealthReport);
  sendToUi(out);
}

void OrbelController::adoptLifecycleName(const void* data, uint32_t size) {
  if (size < 1 || size > kMaxLifecycleNameBytes) return;
  // The name is compared whole: a NUL inside would otherwise cut it short.
  if (std::memchr(data, 0, size) != nullptr) return;
  char name[kMaxLifecycleNameBytes + 1];
  std::memcpy(name, data, size);
  name[size] = 0;
  DiagnosticLifecycleKind kind;
  if (diagnosticLifecycleKindFromName(name, kind)) emitLifecycle(kind);
}

void OrbelController::adoptHostFacts(const HostFacts& incoming) {
  // The identity comes from the host context seen at initialize; the
  // processor never learns it.
  HostFacts after = incoming;
  std::memcpy(after.hostName, hostFacts.hostName, sizeof after.hostName);
  std::memcpy(after.hostVersion, hostFacts.hostVersion, sizeof after.hostVersion);
  std::memcpy(after.hostPath, hostFacts.hostPath, sizeof after.hostPath);
  after.validatorHost = hostFacts.validatorHost;
  const HostFacts before = hostFacts;
  hostFacts = after;

  const char* kindName = diagnosticHostChangeKind(before, after);
  DiagnosticLifecycleKind kind;
  if (kindName != nullptr && diagnosticLifecycleKindFromName(kindName, kind)) {
    DiagnosticLifecycleEvent& event = recordLifecycle(kind);
    switch (kind) {
      case DiagnosticLifecycleKind::LatencyChanged:
        event.addNumber("latencySamples", after.latencySamples)
            .addNumber("previous", before.latencySamples)
            .addBool("reported", true);
        break;
      case DiagnosticLifecycleKind::SampleRateChanged:
        event.addNumber("sampleRate", after.sampleRate).addNumber("previous", before.sampleRate);
        break;
      case DiagnosticLifecycleKind::BlockSizeChanged:
        event.addNumber("maxBlockFrames", after.maxBlockFrames)
            .addNumber("previous", before.maxBlockFrames);
        break;
      case DiagnosticLifecycleKind::BusLayoutChanged:
        event.addNumber("buses", after.busCount)
            .addString("layout", after.busCount > 0 ? after.buses[0].layout : "");
        break;
      case DiagnosticLifecycleKind::ProcessModeChanged:
        event.addNumber("processMode", after.processMode);
        break;
      case DiagnosticLifecycleKind::BypassChanged:
        event.addBool("bypassed", after.bypassed);
        break;
      default:
        break;
    }
    publishLastLifecycle();
  }

  if (helloSent && bridgeSink) {
    std::string out;
    if (writeDiagnosticHostChangedJson(out, before, after, hostChangedSeq + 1, 0.0)) {
      ++hostChangedSeq;
      sendToUi(out);
    }
  }
}

void OrbelController::adoptTransportFact(const TransportFact& fact) {
  if (fact.hasTempo) {
    if (transportKnown && lastTransport.hasTempo && fact.tempo != previousTempo) {
      recordLifecycle(DiagnosticLifecycleKind::TempoChanged, static_cast<int64_t>(fact.atFrame))
          .addNumber("tempo", fact.tempo)
          .addNumber("previous", previousTempo);
      publishLastLifecycle();
    }
    previousTempo = fact.tempo;
  }
  if (fact.hasTimeSignature) {
    if (transportKnown && lastTransport.hasTimeSignature &&
        (fact.numerator != previousNumerator || fact.denominator != previousDenominator)) {
      recordLifecycle(DiagnosticLifecycleKind::TimeSignatureChanged,
                      static_cast<int64_t>(fact.atFrame))
          .addNumber("numerator", fact.numerator)
          .addNumber("denominator", fact.denominator)
          .addNumber("previousNumerator", previousNumerator)
          .addNumber("previousDenominator", previousDenominator);
      publishLastLifecycle();
    }
    previousNumerator = fact.numerator;
    previousDenominator = fact.denominator;
  }
  const bool changed = !transportKnown || fact.differsFrom(lastTransport);
  lastTransport = fact;
  transportKnown = true;

  if (!bridgeSink || (feedMask & kFeedTransport) == 0) return;
  const double now = lifecycleLog.nowMs();
  if (!changed) {
    if (!fact.playing) return;
    const double minGapMs = 1000.0 / (maxFeedHz > 0 ? maxFeedHz : 30.0);
    if (lastTransportSentMs >= 0 && now - lastTransportSentMs < minGapMs) return;
  }
  lastTransportSentMs = now;
  std::string out;
  writeDiagnosticTransportJson(out, fact);
  sendToUi(out);
}

tresult PLUGIN_API OrbelController::notify(IMessage* message) {
  if (!message || !message->getMessageID()) return EditControllerEx1::notify(message);
  const FIDString id = message->getMessageID();
  const void* data = nullptr;
  uint32 size = 0;

  if (idIs(id, "orbel.runtimeBankResult")) {
    if (readJson(message, data, size))
      bankControl.adoptRuntimeBankReply(std::string(static_cast<const char*>(data), size));
    return kResultOk;
  }
  if (idIs(id, "orbel.diag.lifecycle")) {
    if (readJson(message, data, size)) adoptLifecycleName(data, size);
    return kResultOk;
  }
  if (idIs(id, "orbel.diag.transport")) {
    TransportFact fact;
    if (readJson(message, data, size) && transportFactFromImage(data, size, fact))
      adoptTransportFact(fact);
    return kResultOk;
  }
  if (idIs(id, "orbel.diag.signal")) {
    readJson(message, data, size);  // no signal feed in this instrument
    return kResultOk;
  }
  if (idIs(id, "orbel.diag.hostFacts")) {
    HostFacts facts;
    if (readJson(message, data, size) && hostFactsFromImage(data, size, facts))
      adoptHostFacts(facts);
    return kResultOk;
  }
  if (idIs(id, "orbel.runtimeDiagnostics")) {
    if (readJson(message, data, size)) adoptRuntimeHealthReport(data, size);
    return kResultOk;
  }
  return EditControllerEx1::notify(message);
}

}  // namespace orbel
