// Staged bank hand-over, runtime bank replies and recall.
#include "staging/staged_bank.h"

#include <charconv>
#include <cstring>
#include <utility>

#include "banks/hosted_bank.h"
#include "engine/kernel_engine.h"

namespace orbel {
namespace {

RuntimeBankOutcome refuseBank(KernelEngine& engine, const std::string& source,
                              std::string& message) {
  message = kEngineRefusedBankMessage;
  engine.recordRuntimeBankFailure(kRuntimeBankTooLarge, message.c_str(), source.c_str());
  return kRuntimeBankTooLarge;
}

}  // namespace

RuntimeBankRequest parseRuntimeBankRequest(const char* data, size_t length) {
  RuntimeBankRequest request;
  std::string* fields[4] = {&request.source, &request.locator, &request.sha256,
                            &request.instrument};
  size_t start = 0;
  for (std::string* field : fields) {
    if (!data || start > length) break;
    const void* found = std::memchr(data + start, '\n', length - start);
    const size_t end = found ? size_t(static_cast<const char*>(found) - data) : length;
    field->assign(data + start, end - start);
    start = end + 1;
  }
  if (request.source.empty()) request.source = "user-folder";
  return request;
}

std::string encodeRuntimeBankReply(const char* outcomeName, const std::string& message,
                                   const StagedBank* bank) {
  std::string out = outcomeName ? outcomeName : "missing";
  out += '\n';
  out += message;
  if (!bank) return out;
  out += '\n';
  out += bank->instrumentId;
  out += '\t';
  out += bank->instrumentName;
  out += '\t';
  out += bank->instrumentKind;
  for (const StagedPositioning& entry : bank->entries) {
    out += '\n';
    out += entry.id;
    out += '\t';
    out += entry.name;
    out += '\t';
    out += entry.kind;
  }
  for (const StagedPreset& staged : bank->presets) {
    const BankControlPreset& preset = staged.preset;
    out += '\n';
    out += '\x01';
    out += preset.id;
    out += '\t';
    out += preset.name;
    out += '\t';
    out += preset.instrument;
    out += '\t';
    bool first = true;
    for (const auto& [path, value] : preset.params) {
      if (!first) out += '\x1F';
      first = false;
      // "%.17g" in the C locale, whatever locale the host set.
      char number[40];
      const std::to_chars_result r =
          std::to_chars(number, number + sizeof number, value, std::chars_format::general, 17);
      out += path;
      out += '=';
      out.append(number, r.ec == std::errc() ? r.ptr : number);
    }
  }
  return out;
}

RuntimeBankOutcome loadAndPublishRuntimeBank(KernelEngine& engine, const std::string& bankDir,
                                             const std::string& source,
                                             const std::string& instrumentId, std::string& message,
                                             std::shared_ptr<const StagedBank>* published) {
  // An engine that takes no banks refuses before a single file is read: a
  // saved project may name a folder of any size, and the refusal would come
  // only after reading, hashing and decoding all of it.
  if (!engine.acceptsRuntimeBanks()) return refuseBank(engine, source, message);
  // No arena limit here: the engine judges whether the bank fits its kernel.
  RuntimeBankLoad load = loadRuntimeBank(bankDir, 0, instrumentId);
  message = std::move(load.message);
  if (load.outcome != kRuntimeBankOk) {
    engine.recordRuntimeBankFailure(load.outcome, message.c_str(), source.c_str());
    return load.outcome;
  }
  auto bank = std::make_shared<const StagedBank>(std::move(load.bank));
  if (!engine.publishRuntimeBank(bank)) return refuseBank(engine, source, message);
  if (published) *published = std::move(bank);
  return kRuntimeBankOk;
}

std::string loadAndPublishRuntimeBank(KernelEngine& engine, const std::string& bankDir,
                                      const std::string& source, const std::string& instrumentId) {
  std::string message;
  std::shared_ptr<const StagedBank> bank;
  const RuntimeBankOutcome outcome =
      loadAndPublishRuntimeBank(engine, bankDir, source, instrumentId, message, &bank);
  if (outcome != kRuntimeBankOk) {
    return encodeRuntimeBankReply(runtimeBankOutcomeName(outcome), message, nullptr);
  }
  return encodeRuntimeBankReply("ok", "", bank.get());
}

bool runtimeBankRecallWanted(const StateChunk& chunk) {
  return chunk.hasRef && chunk.hasLocator && chunk.locator[0] != '\0' &&
         std::strcmp(chunk.source, "embedded") != 0;
}

std::string runtimeBankRecallFolder(const StateChunk& chunk, HostedBankCacheRootFn cacheRoot) {
  // Only a real pin is joined to the cache root: a recalled "../.." would
  // name a folder outside it.
  if (std::strcmp(chunk.source, "hosted") == 0 && cacheRoot && isHostedBankPin(chunk.sha256)) {
    const std::string root = cacheRoot();
    if (!root.empty()) return root + "/" + chunk.sha256;
  }
  return chunk.locator;
}

bool recallRuntimeBankFromChunk(KernelEngine& engine, const StateChunk& chunk, std::string& source,
                                std::string& locator, std::string& sha256, std::string& instrument,
                                HostedBankCacheRootFn cacheRoot) {
  if (!runtimeBankRecallWanted(chunk)) return false;
  const std::string folder = runtimeBankRecallFolder(chunk, cacheRoot);
  std::string message;
  if (loadAndPublishRuntimeBank(engine, folder, chunk.source, chunk.instrument, message, nullptr) ==
      kRuntimeBankOk) {
    source = chunk.source;
    locator = chunk.locator;
    sha256 = chunk.sha256;
    instrument = chunk.instrument;
    return true;
  }
  source.clear();
  locator.clear();
  sha256.clear();
  instrument.clear();
  return false;
}

bool fillBankStateRef(const KernelEngine& engine, const std::string& source,
                      const std::string& locator, const std::string& presetId, BankStateRefOut& out,
                      std::string& instrumentScratch, const std::string& requestedSha256) {
  const std::shared_ptr<const StagedBank> bank = engine.publishedRuntimeBank();
  if (!bank || source.empty()) return false;
  // The engine keeps the published bank alive; the caller writes at once.
  out = BankStateRefOut{};
  out.id = bank->id.c_str();
  out.bankVersion = bank->version.c_str();
  out.sha256 = source == "hosted" && isHostedBankPin(requestedSha256) ? requestedSha256.c_str()
                                                                      : bank->sha256.c_str();
  out.source = source.c_str();
  out.locator = locator.c_str();
  if (!bank->instrumentId.empty()) {
    instrumentScratch = bank->instrumentId;
    out.instrument = instrumentScratch.c_str();
  }
  if (!presetId.empty()) out.presetId = presetId.c_str();
  return true;
}

}  // namespace orbel
