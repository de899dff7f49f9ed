// Children the module no longer needs end without holding the UI thread:
// reaped at once when they go quickly, killed when they linger, reaped in
// the background on the borrowed run loop when even that takes a moment,
// and all gone at module exit.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <memory>
#include <vector>

#include "platform/child_reaper.h"
#include "platform/clock_scheduler.h"
#include "tests/support/hand_run_loop.h"

extern char** environ;

namespace orbel {
namespace {

int spawn(std::vector<const char*> argv) {
  argv.push_back(nullptr);
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv.data()), environ),
            0);
  return pid;
}

// Gone for good: not a zombie of ours any more.
bool gone(int pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) < 0 && errno == ECHILD;
}

using TimerLoop = test::HandRunLoop;

TEST(ChildReaper, QuickAndLingeringChildrenAreReapedBeforeTheCallReturns) {
  const int quick = spawn({"/bin/true"});
  endChildProcess(quick, std::chrono::milliseconds(2000), std::chrono::milliseconds(2000));
  EXPECT_TRUE(gone(quick));

  const int lingering = spawn({"/bin/sleep", "30"});
  endChildProcess(lingering, std::chrono::milliseconds(20), std::chrono::milliseconds(2000));
  EXPECT_TRUE(gone(lingering));
  EXPECT_EQ(childProcessesPending(), 0);
}

TEST(ChildReaper, AChildNotYetDeadAfterItsKillIsReapedOnTheRunLoop) {
  auto loop = std::make_shared<TimerLoop>();
  int loopOwner = 0;
  processClockScheduler().offer(&loopOwner, loop);
  const int child = spawn({"/bin/sleep", "30"});
  // No wait at all: the kill has rarely taken effect by the next look.
  endChildProcess(child, std::chrono::milliseconds(0), std::chrono::milliseconds(0));
  for (int i = 0; i < 2000 && childProcessesPending() > 0; ++i) {
    loop->fire();
    ::usleep(1000);
  }
  EXPECT_EQ(childProcessesPending(), 0);
  EXPECT_TRUE(gone(child));
  EXPECT_TRUE(loop->timers.empty()) << "the reaper's clock stops when nothing is left";
  processClockScheduler().withdraw(&loopOwner);
}

TEST(ChildReaper, ModuleExitReapsWhatIsLeft) {
  // With no run loop lent, a handed-over child waits for the module exit.
  const int child = spawn({"/bin/sleep", "30"});
  endChildProcess(child, std::chrono::milliseconds(0), std::chrono::milliseconds(0));
  reapChildProcessesNow();
  EXPECT_EQ(childProcessesPending(), 0);
  EXPECT_TRUE(gone(child));
}

}  // namespace
}  // namespace orbel
