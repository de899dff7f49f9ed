// Runtime banks and pad overrides: bank loading on the controller's request,
// the runtime bank reply, pad overrides handed to the engine, and the bank
// reference and pad overrides of the saved state. All on the main thread.
#include <string>

#include "banks/hosted_bank.h"
#include "staging/staged_bank.h"
#include "plugin/processor.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool readJsonAttribute(IMessage* message, const void*& data, uint32& size) {
  IAttributeList* attrs = message ? message->getAttributes() : nullptr;
  data = nullptr;
  size = 0;
  return attrs && attrs->getBinary("json", data, size) == kResultOk && data;
}

}  // namespace

RuntimeBankOutcome OrbelProcessor::loadRuntimeBankFromPath(const std::string& locator,
                                                           const std::string& source,
                                                           const std::string& instrument,
                                                           std::string& detail) {
  const RuntimeBankOutcome outcome =
      loadAndPublishRuntimeBank(engine, locator, source, instrument, detail, nullptr);
  // Failures are already in the engine's list; the controller hears at once.
  if (outcome != kRuntimeBankOk) sendRuntimeDiagnostics(false);
  return outcome;
}

void OrbelProcessor::handleLoadRuntimeBank(IMessage* message) {
  const void* data = nullptr;
  uint32 size = 0;
  if (!readJsonAttribute(message, data, size)) return;

  const RuntimeBankRequest request = parseRuntimeBankRequest(static_cast<const char*>(data), size);
  const std::string& source = request.source;
  const std::string& locator = request.locator;

  RuntimeBankOutcome outcome = kRuntimeBankMissing;
  std::string detail;
  std::shared_ptr<const StagedBank> bank;
  if (!locator.empty()) {
    outcome = loadRuntimeBankFromPath(locator, source, request.instrument, detail);
    if (outcome == kRuntimeBankOk) {
      bank = engine.publishedRuntimeBank();
      bankSource = source;
      bankLocator = locator;
      bankSha256 = request.sha256;
      bankInstrument = bank ? bank->instrumentId : std::string();
    }
  }
  const std::string reply = encodeRuntimeBankReply(
      runtimeBankOutcomeName(outcome), detail, outcome == kRuntimeBankOk ? bank.get() : nullptr);
  sendJsonMessage("orbel.runtimeBankResult", reply.data(), reply.size());
}

void OrbelProcessor::handlePadOverrides(IMessage* message) {
  const void* data = nullptr;
  uint32 size = 0;
  if (!readJsonAttribute(message, data, size)) return;
  SamplerPadOverrides overrides;
  if (!parseSamplerPadOverridesJson(static_cast<const char*>(data), size, overrides)) return;
  engine.publishSamplerPadOverrides(overrides);
}

const SamplerPadOverrides* OrbelProcessor::currentPadOverrides() const {
  // The engine holds the current set until the next publication, which only
  // this thread makes.
  return engine.currentSamplerPadOverrides().get();
}

const BankStateRefOut* OrbelProcessor::currentBankReference() const {
  bankReference = BankStateRefOut{};
  if (!fillBankStateRef(engine, bankSource, bankLocator, presetId, bankReference,
                        bankReferenceInstrument, bankSha256)) {
    return nullptr;
  }
  return &bankReference;
}

void OrbelProcessor::adoptRestoredPadOverrides(const SamplerPadOverrides& overrides) {
  engine.publishSamplerPadOverrides(overrides);
}

bool OrbelProcessor::recallBank(const StateChunk& chunk) {
  if (!runtimeBankRecallWanted(chunk)) return false;
  // A hosted reference loads from the download cache (by its pin).
  const std::string folder = runtimeBankRecallFolder(chunk, &hostedBankCacheRoot);
  std::string detail;
  if (loadRuntimeBankFromPath(folder, chunk.source, chunk.instrument, detail) == kRuntimeBankOk) {
    bankSource = chunk.source;
    bankLocator = chunk.locator;
    bankSha256 = chunk.sha256;
    bankInstrument = chunk.instrument;
    return true;
  }
  bankSource.clear();
  bankLocator.clear();
  bankSha256.clear();
  bankInstrument.clear();
  return false;
}

void OrbelProcessor::withdrawBankAfterRecall(const StateChunk& chunk) {
  if (!bankLocator.empty() || chunk.hasLocator) engine.publishRuntimeBank(nullptr);
  engine.recallSampleBank(chunk);
}

}  // namespace orbel
