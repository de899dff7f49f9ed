#pragma once
// What happens to a sound pack once it is staged: it is offered to the engine,
// summarised for the controller in the runtime bank reply, recalled from a
// saved state and named in the state's bank reference. Main thread only.
#include <memory>
#include <string>

#include "banks/sound_pack.h"
#include "state/state_document.h"

namespace orbel {

class KernelEngine;

// The detail of a refused publication.
inline constexpr const char* kEngineRefusedBankMessage =
    "the engine refused the staged bank (arena capacity)";

// What the controller asks for in "orbel.loadRuntimeBank": up to four lines
// (source, locator, sha256, instrument); missing lines are empty, anything
// after the fourth line is ignored. An empty source means "user-folder".
struct RuntimeBankRequest {
  std::string source;
  std::string locator;
  std::string sha256;
  std::string instrument;
};
RuntimeBankRequest parseRuntimeBankRequest(const char* data, size_t length);

// Runtime bank reply: outcome name (or "missing" for null), message, and when
// `bank` is given its instrument, entries and presets, one per line, fields
// separated by tabs. `bank` may be null.
std::string encodeRuntimeBankReply(const char* outcomeName, const std::string& message,
                                   const StagedBank* bank);

// Loads the pack, records a failure on the engine and offers a loaded bank to
// it. Returns the outcome (kRuntimeBankTooLarge when the engine refuses);
// `message` gets the detail; `published` the bank on success.
RuntimeBankOutcome loadAndPublishRuntimeBank(KernelEngine& engine, const std::string& bankDir,
                                             const std::string& source,
                                             const std::string& instrumentId, std::string& message,
                                             std::shared_ptr<const StagedBank>* published);

// The same, answered as the runtime bank reply text.
std::string loadAndPublishRuntimeBank(KernelEngine& engine, const std::string& bankDir,
                                      const std::string& source, const std::string& instrumentId);

// Supplies the hosted bank cache root ("" when there is none).
using HostedBankCacheRootFn = std::string (*)();

// True when the state's bank reference asks for a runtime bank to be loaded
// again: it has a non-empty locator and its source is not "embedded".
bool runtimeBankRecallWanted(const StateChunk& chunk);
// The folder such a reference is loaded from: the locator, or for a hosted
// bank whose digest is a pin (64 lowercase hex digits) the cache root joined
// with that pin.
std::string runtimeBankRecallFolder(const StateChunk& chunk, HostedBankCacheRootFn cacheRoot);

// Loads and publishes the bank a state names. On success the four outputs get
// the reference's source, locator (as stored), sha256 and instrument and the
// result is true; otherwise they are cleared. Nothing happens (false, outputs
// untouched) when the reference asks for no recall.
bool recallRuntimeBankFromChunk(KernelEngine& engine, const StateChunk& chunk, std::string& source,
                                std::string& locator, std::string& sha256, std::string& instrument,
                                HostedBankCacheRootFn cacheRoot = nullptr);

// Fills `out` from the engine's published bank; false (out untouched) when no
// bank is published or `source` is empty. The pointers stay valid while the
// bank is alive and the strings unchanged. The digest is the bank.json's,
// except for a hosted bank requested with a pin: its reference carries the
// pin, the name of its folder in the download cache, so that it is found
// there again when the state is recalled.
bool fillBankStateRef(const KernelEngine& engine, const std::string& source,
                      const std::string& locator, const std::string& presetId, BankStateRefOut& out,
                      std::string& instrumentScratch,
                      const std::string& requestedSha256 = std::string());

}  // namespace orbel
