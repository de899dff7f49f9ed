// The processor's message traffic with the controller: the messages it
// receives in notify, and the reports it sends (runtime health, host facts).
// Every payload travels as the binary attribute "json".
#include <cstring>
#include <string>

#include "diagnostics/runtime_health.h"
#include "plugin/plugin_ids.h"
#include "plugin/processor.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr const char* kJsonAttr = "json";

bool idIs(FIDString id, const char* expected) { return id && std::strcmp(id, expected) == 0; }

// The "json" attribute of a message, or false when it is missing.
bool readJson(IMessage* message, const void*& data, uint32& size) {
  IAttributeList* attrs = message->getAttributes();
  data = nullptr;
  size = 0;
  return attrs && attrs->getBinary(kJsonAttr, data, size) == kResultOk && data;
}

}  // namespace

void OrbelProcessor::sendJsonMessage(const char* id, const void* data, size_t size) {
  IMessage* message = allocateMessage();
  if (!message) return;
  message->setMessageID(id);
  if (IAttributeList* attrs = message->getAttributes())
    attrs->setBinary(kJsonAttr, data, static_cast<uint32>(size));
  sendMessage(message);
  message->release();
}

bool OrbelProcessor::onMainThread() const {
  return mainThread == std::thread::id{} || std::this_thread::get_id() == mainThread;
}

void OrbelProcessor::flushDeferredReports() {
  if (!onMainThread()) return;
  if (hostFactsDeferred.exchange(false)) {
    HostFacts facts;
    {
      std::lock_guard<std::mutex> lock(hostFactsMutex);
      facts = hostFacts;
    }
    sendJsonMessage("orbel.diag.hostFacts", &facts, sizeof(HostFacts));
  }
  if (healthDeferred.exchange(false))
    sendRuntimeDiagnostics(healthDeferredSetupFailed.exchange(false));
}

void OrbelProcessor::sendRuntimeDiagnostics(bool setupFailed) {
  if (!onMainThread()) {
    if (setupFailed) healthDeferredSetupFailed = true;
    healthDeferred = true;
    return;
  }
  const EngineReport snapshot = engine.drainReport();
  const std::string report =
      writeRuntimeHealthJson(snapshot.diagnostics, kBundleId, kBundleVersion, snapshot.hostRate,
                             snapshot.maxBlockFrames, setupFailed);
  sendJsonMessage("orbel.runtimeDiagnostics", report.data(), report.size());
}

void OrbelProcessor::captureHostFacts(HostFacts& facts) {
  facts.sampleRate = processSetup.sampleRate;
  facts.maxBlockFrames = processSetup.maxSamplesPerBlock;
  switch (processSetup.processMode) {
    case kOffline:
      facts.processMode = HostFacts::kProcessOffline;
      break;
    case kPrefetch:
      facts.processMode = HostFacts::kProcessPrefetch;
      break;
    default:
      facts.processMode = HostFacts::kProcessRealtime;
      break;
  }
  facts.sampleSize = processSetup.symbolicSampleSize == kSample64 ? 64 : 32;
  facts.latencySamples = static_cast<int32_t>(getLatencySamples());
  facts.busCount = 0;
  auto addBuses = [&facts](BusList& list, bool isInput) {
    for (size_t i = 0; i < list.size(); ++i) {
      auto* bus = FCast<AudioBus>(list[i].get());
      if (!bus) continue;
      const SpeakerArrangement arr = bus->getArrangement();
      const char* layout = arr == SpeakerArr::kStereo ? "stereo"
                           : arr == SpeakerArr::kMono ? "mono"
                                                      : "";
      const std::string id = (isInput ? "in" : "out") + std::to_string(i);
      facts.addBus(id.c_str(), isInput, SpeakerArr::getChannelCount(arr), bus->isActive() != 0,
                   layout);
    }
  };
  addBuses(audioInputs, true);
  addBuses(audioOutputs, false);
}

void OrbelProcessor::refreshHostFacts() {
  // The identity fields are carried over; the processor never learns the
  // host's identity itself, so in this product they stay empty.
  HostFacts fresh;
  {
    std::lock_guard<std::mutex> lock(hostFactsMutex);
    std::strncpy(fresh.hostName, hostFacts.hostName, 127);
    fresh.hostName[127] = 0;
    std::strncpy(fresh.hostVersion, hostFacts.hostVersion, 63);
    fresh.hostVersion[63] = 0;
    fresh.validatorHost = hostFacts.validatorHost;
  }
  captureHostFacts(fresh);
  {
    std::lock_guard<std::mutex> lock(hostFactsMutex);
    hostFacts = fresh;
  }
  if (!onMainThread()) {
    hostFactsDeferred = true;
    return;
  }
  hostFactsDeferred = false;
  sendJsonMessage("orbel.diag.hostFacts", &fresh, sizeof(HostFacts));
}

void OrbelProcessor::onSetupSucceeded() { refreshHostFacts(); }

void OrbelProcessor::onSetupFailed() { sendRuntimeDiagnostics(true); }

void OrbelProcessor::onActivated(bool active) {
  if (active) lastTransport.atFrame = 0;
  transportPollFlag = 0;
  refreshHostFacts();
}

void OrbelProcessor::onBusArrangementAccepted() { refreshHostFacts(); }

tresult PLUGIN_API OrbelProcessor::notify(IMessage* message) {
  flushDeferredReports();
  if (!message) return AudioEffect::notify(message);
  const FIDString id = message->getMessageID();

  if (idIs(id, "orbel.diag.transportPoll")) {
    int64 reset = 0;
    IAttributeList* attrs = message->getAttributes();
    if (attrs && attrs->getInt("reset", reset) == kResultOk && reset != 0) transportPollFlag = 0;
    drainTransportToController();
    return kResultOk;
  }
  if (idIs(id, "orbel.diag.feedDrain")) return kResultOk;  // no feeds of its own
  if (idIs(id, "orbel.diag.presetLoaded")) {
    const void* data;
    uint32 size;
    if (readJson(message, data, size))
      presetId.assign(static_cast<const char*>(data), size);
    else
      presetId.clear();
    return kResultOk;
  }
  if (idIs(id, "orbel.diag.resetCounters")) return kResultOk;
  if (idIs(id, "orbel.loadRuntimeBank")) {
    handleLoadRuntimeBank(message);
    return kResultOk;
  }
  if (idIs(id, "orbel.padOverrides")) {
    handlePadOverrides(message);
    return kResultOk;
  }
  if (idIs(id, "orbel.stageResourceSlot")) return kResultFalse;
  if (idIs(id, "orbel.ccMap")) {
    const void* data;
    uint32 size;
    CcMap parsed{};
    if (readJson(message, data, size) &&
        parseCcMapJson(static_cast<const char*>(data), size, parsed)) {
      ccMap = parsed;
      ccMapPresent = true;
    }
    return kResultOk;
  }
  return AudioEffect::notify(message);
}

}  // namespace orbel
