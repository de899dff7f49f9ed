#include "banks/hosted_bank_fetcher.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/clock_scheduler.h"

namespace orbel {

namespace {

// How often the UI thread looks for a finished worker.
constexpr double kPollSeconds = 0.05;

struct Request {
  std::string url;
  std::string sha256;
  std::string bankDir;
};

// One download on its own thread. The worker writes `result` and then sets
// `finished` (release); the UI thread reads `result` only after seeing it
// (acquire) and joining.
struct Job {
  Request request;
  HostedBankOptions options;
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  HostedBankResult result;
  std::thread thread;

  void run() {
    result.ok = downloadHostedBank(request.url, request.sha256, request.bankDir, options,
                                   result.path, result.error);
    finished.store(true, std::memory_order_release);
  }
};

class ThreadedFetcher;

std::mutex& registryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<ThreadedFetcher*>& registry() {
  static std::vector<ThreadedFetcher*> fetchers;
  return fetchers;
}

class ThreadedFetcher final : public HostedBankFetcher {
public:
  explicit ThreadedFetcher(HostedBankOptions options) : options_(std::move(options)) {
    options_.cancel = nullptr;  // each job has its own flag
    std::lock_guard<std::mutex> lock(registryMutex());
    registry().push_back(this);
  }

  ~ThreadedFetcher() override {
    {
      std::lock_guard<std::mutex> lock(registryMutex());
      auto& all = registry();
      all.erase(std::remove(all.begin(), all.end(), this), all.end());
    }
    stopAll();
  }

  void fetch(const std::string& url, const std::string& sha256, Completion done) override {
    Request request{url, sha256, {}};
    HostedBankResult immediate;
    switch (lookUpHostedBank(url, sha256, request.bankDir, immediate.error)) {
      case HostedBankLookup::Cached:
        immediate.ok = true;
        immediate.path = request.bankDir;
        [[fallthrough]];
      case HostedBankLookup::Failed:
        cancel();
        if (done) done(immediate);
        return;
      case HostedBankLookup::Download:
        break;
    }
    if (running_ && !running_->cancel.load() && sameRequest(running_->request, request)) {
      // The same archive is on its way already: only the answer changes hands.
      wanted_ = std::move(done);
      waiting_.reset();
      return;
    }
    cancel();
    if (running_) {
      waiting_ = request;
      waitingDone_ = std::move(done);
      return;
    }
    start(request, std::move(done));
  }

  void cancel() override {
    wanted_ = nullptr;
    waiting_.reset();
    waitingDone_ = nullptr;
    if (running_) running_->cancel.store(true);
  }

  bool busy() const override { return static_cast<bool>(wanted_) || waiting_.has_value(); }

  // Stops and joins the worker and forgets every answer.
  void stopAll() {
    cancel();
    stopClock();
    if (running_) {
      if (running_->thread.joinable()) running_->thread.join();
      running_.reset();
    }
  }

private:
  static bool sameRequest(const Request& a, const Request& b) {
    return a.url == b.url && a.sha256 == b.sha256;
  }

  static void pollThunk(void* self) { static_cast<ThreadedFetcher*>(self)->poll(); }

  void start(const Request& request, Completion done) {
    auto job = std::make_unique<Job>();
    job->request = request;
    job->options = options_;
    job->options.cancel = &job->cancel;
    Job* raw = job.get();
    try {
      job->thread = std::thread([raw] { raw->run(); });
    } catch (const std::system_error&) {
      HostedBankResult failed;
      failed.error = "cannot start the download";
      if (done) done(failed);
      return;
    }
    running_ = std::move(job);
    wanted_ = std::move(done);
    if (clock_ == nullptr) clock_ = processClockScheduler().start(&pollThunk, this, kPollSeconds);
  }

  void poll() {
    if (!running_ || !running_->finished.load(std::memory_order_acquire)) return;
    running_->thread.join();
    const std::unique_ptr<Job> job = std::move(running_);
    Completion done = std::move(wanted_);
    wanted_ = nullptr;
    if (waiting_) {
      const Request next = *waiting_;
      Completion nextDone = std::move(waitingDone_);
      waiting_.reset();
      waitingDone_ = nullptr;
      start(next, std::move(nextDone));
    }
    if (!running_) stopClock();
    // Last: the answer may start another fetch.
    if (done) done(job->result);
  }

  void stopClock() {
    if (clock_ == nullptr) return;
    processClockScheduler().stop(clock_);
    clock_ = nullptr;
  }

  HostedBankOptions options_;
  std::unique_ptr<Job> running_;
  Completion wanted_;  // the answer running_ owes, or empty when it was replaced
  std::optional<Request> waiting_;
  Completion waitingDone_;
  ClockScheduler::Clock* clock_ = nullptr;
};

}  // namespace

std::unique_ptr<HostedBankFetcher> makeHostedBankFetcher(HostedBankOptions options) {
  return std::make_unique<ThreadedFetcher>(std::move(options));
}

void stopAllHostedBankFetches() {
  // Held throughout: a fetcher destroyed meanwhile waits to leave the list.
  std::lock_guard<std::mutex> lock(registryMutex());
  for (ThreadedFetcher* fetcher : registry()) fetcher->stopAll();
}

}  // namespace orbel
