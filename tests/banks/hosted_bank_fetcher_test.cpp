// Hosted bank fetches off the UI thread: answers that need no network come
// at once, downloads answer later from a clock on the run loop, a newer
// request replaces an older one, and a fetcher destroyed or stopped at module
// exit mid-download joins its worker and leaves no staging folder.
#include <chrono>
#include <thread>

#include "banks/hosted_bank_fetcher.h"
#include "platform/clock_scheduler.h"
#include "tests/banks/hosted_bank_env.h"
#include "tests/support/hand_run_loop.h"

namespace orbel::test {
namespace {

::testing::Environment* const kServer =
    ::testing::AddGlobalTestEnvironment(HostedBankServerEnv::instance = new HostedBankServerEnv);

using HandLoop = orbel::test::HandRunLoop;

struct Answers {
  int count = 0;
  HostedBankResult last;
  HostedBankFetcher::Completion record() {
    return [this](const HostedBankResult& r) {
      ++count;
      last = r;
    };
  }
};

class Fetcher : public HostedBankTest {
protected:
  void SetUp() override {
    HostedBankTest::SetUp();
    processClockScheduler().offer(this, loop_);
  }
  void TearDown() override {
    fetcher_.reset();
    processClockScheduler().withdraw(this);
    EXPECT_TRUE(loop_->timers.empty()) << "a fetcher left its clock running";
    HostedBankTest::TearDown();
  }

  HostedBankFetcher& fetcher() {
    if (!fetcher_) fetcher_ = makeHostedBankFetcher(options_);
    return *fetcher_;
  }

  // Turns the run loop until `done` holds (false after 30 s).
  template <typename F>
  bool turnUntil(F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop_->fire();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  std::shared_ptr<HandLoop> loop_ = std::make_shared<HandLoop>();
  std::unique_ptr<HostedBankFetcher> fetcher_;
  const std::string slowPin_ = std::string(64, '0');
};

TEST_F(Fetcher, AnswersAtOnceWithoutANetworkAndLaterAfterADownload) {
  Answers refused, downloaded, cached;
  fetcher().fetch(served("pack.zip"), "nope", refused.record());
  EXPECT_EQ(refused.count, 1) << "a refused pin is answered before fetch returns";
  EXPECT_EQ(refused.last.error, "a hosted bank must pin a 64-hex sha256");

  fetcher().fetch(served("pack.zip"), pinOf("pack.zip"), downloaded.record());
  EXPECT_EQ(downloaded.count, 0) << "a download is never answered inside fetch";
  EXPECT_TRUE(fetcher().busy());
  ASSERT_TRUE(turnUntil([&] { return downloaded.count > 0; }));
  EXPECT_EQ(downloaded.count, 1);
  EXPECT_TRUE(downloaded.last.ok) << downloaded.last.error;
  EXPECT_EQ(downloaded.last.path, cacheRoot() + "/" + pinOf("pack.zip"));
  EXPECT_FALSE(fetcher().busy());
  EXPECT_TRUE(loop_->timers.empty()) << "the clock stops when nothing runs";

  fetcher().fetch(served("pack.zip"), pinOf("pack.zip"), cached.record());
  EXPECT_EQ(cached.count, 1);
  EXPECT_EQ(cached.last.path, downloaded.last.path);
}

TEST_F(Fetcher, ANewerRequestReplacesTheOneStillRunning) {
  Answers slow, same1, same2, quick;
  fetcher().fetch(server().url("/slow"), slowPin_, slow.record());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // The same archive asked for again: the running download answers the newer request.
  fetcher().fetch(server().url("/slow"), slowPin_, same1.record());
  fetcher().fetch(served("wrapped.zip"), pinOf("wrapped.zip"), same2.record());
  fetcher().fetch(served("pack.zip"), pinOf("pack.zip"), quick.record());
  ASSERT_TRUE(turnUntil([&] { return quick.count > 0; }));
  // Turned a little longer: nothing else answers.
  for (int i = 0; i < 20; ++i) loop_->fire();
  EXPECT_EQ(slow.count + same1.count + same2.count, 0);
  EXPECT_EQ(quick.count, 1);
  EXPECT_TRUE(quick.last.ok) << quick.last.error;
  // The stopped download took its staging folder with it.
  EXPECT_EQ(cacheEntries(), std::set<std::string>{pinOf("pack.zip")});
}

TEST_F(Fetcher, ACancelledRequestIsNeverAnswered) {
  Answers slow;
  fetcher().fetch(server().url("/slow"), slowPin_, slow.record());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  fetcher().cancel();
  EXPECT_FALSE(fetcher().busy());
  // The worker ends and is joined on the UI thread; then the clock stops.
  ASSERT_TRUE(turnUntil([&] { return loop_->timers.empty(); }));
  EXPECT_EQ(slow.count, 0);
  EXPECT_TRUE(cacheEntries().empty());
}

TEST_F(Fetcher, DestroyedMidDownloadItJoinsItsWorker) {
  Answers slow;
  fetcher().fetch(server().url("/slow"), slowPin_, slow.record());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto started = std::chrono::steady_clock::now();
  fetcher_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  for (int i = 0; i < 5; ++i) loop_->fire();
  EXPECT_EQ(slow.count, 0);
  EXPECT_TRUE(cacheEntries().empty());
}

TEST_F(Fetcher, ModuleExitStopsEveryWorker) {
  Answers a, b;
  std::unique_ptr<HostedBankFetcher> other = makeHostedBankFetcher(options_);
  fetcher().fetch(server().url("/slow"), slowPin_, a.record());
  other->fetch(server().url("/slow"), std::string(64, '1'), b.record());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  stopAllHostedBankFetches();
  EXPECT_FALSE(fetcher().busy());
  EXPECT_FALSE(other->busy());
  EXPECT_TRUE(loop_->timers.empty());
  EXPECT_TRUE(cacheEntries().empty());
  other.reset();
  for (int i = 0; i < 5; ++i) loop_->fire();
  EXPECT_EQ(a.count + b.count, 0);
}

}  // namespace
}  // namespace orbel::test
