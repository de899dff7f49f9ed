#pragma once
// Hosted bank fetches that never block the UI thread. What needs no network
// (the pin, the cache, the address) is answered at once; a download and its
// unpacking run on a worker thread, and the answer comes back on the UI
// thread from a clock on the host's run loop (platform/clock_scheduler.h).
//
// One request is wanted at a time: a new fetch replaces the one before it,
// whose answer is then never given; a running download of the replaced
// request is told to stop, and the new one starts when it has. At most one
// worker thread exists per fetcher. Destroying the fetcher, or
// stopAllHostedBankFetches() at module exit, stops and joins its worker, so
// no thread outlives the code it runs.
#include <functional>
#include <memory>
#include <string>

#include "banks/hosted_bank.h"

namespace orbel {

struct HostedBankResult {
  bool ok = false;
  std::string path;   // the bank's local folder on success
  std::string error;  // one line on failure
};

class HostedBankFetcher {
public:
  using Completion = std::function<void(const HostedBankResult&)>;

  HostedBankFetcher() = default;
  HostedBankFetcher(const HostedBankFetcher&) = delete;
  HostedBankFetcher& operator=(const HostedBankFetcher&) = delete;
  virtual ~HostedBankFetcher() = default;

  // Fetches `url` pinned by `sha256` and calls `done` once, on the UI thread:
  // before returning when no download is needed, else later. Replaces any
  // request still waiting for its answer.
  virtual void fetch(const std::string& url, const std::string& sha256, Completion done) = 0;
  // Forgets the waiting request (its answer is never given) and stops its
  // download.
  virtual void cancel() = 0;
  // A request is waiting for its answer.
  virtual bool busy() const = 0;
};

// The fetcher of the product: lookUpHostedBank on the caller's thread,
// downloadHostedBank on a worker. `options.cancel` is its own.
std::unique_ptr<HostedBankFetcher> makeHostedBankFetcher(HostedBankOptions options = {});

// Stops every worker of every fetcher and joins it; their answers are never
// given. For the module's exit, when the code is about to go.
void stopAllHostedBankFetches();

}  // namespace orbel
