// Clocks on borrowed run loops: they wait for a loop, run on the first one
// offered, move when it is withdrawn, and are always off a loop before it
// goes away.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "platform/clock_scheduler.h"

namespace orbel {
namespace {

// A run loop driven by hand.
class HandLoop : public RunLoop {
public:
  struct Entry {
    RunLoopTimer* timer;
    uint64_t ms;
  };
  std::vector<Entry> timers;
  bool refuse = false;

  bool addTimer(RunLoopTimer& timer, uint64_t ms) override {
    if (refuse) return false;
    timers.push_back({&timer, ms});
    return true;
  }
  void removeTimer(RunLoopTimer& timer) override {
    for (auto it = timers.begin(); it != timers.end(); ++it)
      if (it->timer == &timer) {
        timers.erase(it);
        return;
      }
    ADD_FAILURE() << "removed a timer that was not added";
  }
  bool addFdHandler(RunLoopFdHandler&, int) override { return false; }
  void removeFdHandler(RunLoopFdHandler&) override {}

  void fire() {
    const std::vector<Entry> now = timers;
    for (const Entry& e : now)
      for (const Entry& still : timers)
        if (still.timer == e.timer) {
          e.timer->onRunLoopTimer();
          break;
        }
  }
};

// Holds a loop's owner side while the scheduler may still keep a shared
// reference; a loop must be empty when the last reference goes.
struct Loop {
  std::shared_ptr<HandLoop> loop = std::shared_ptr<HandLoop>(new HandLoop, [](HandLoop* l) {
    EXPECT_TRUE(l->timers.empty()) << "a run loop went away with clocks on it";
    delete l;
  });
};

void count(void* context) { ++*static_cast<int*>(context); }

TEST(ClockScheduler, IntervalsBecomeWholeMilliseconds) {
  struct Case {
    double seconds;
    uint64_t ms;
  };
  const Case cases[] = {{0.0, 33},  {-1.0, 33}, {NAN, 33},      {1.0 / 30, 33},
                        {0.1, 100}, {1e-6, 1},  {1e9, 86400000}};
  ClockScheduler scheduler;
  Loop a;
  scheduler.offer(&a, a.loop);
  int ticks = 0;
  for (const Case& c : cases) {
    ClockScheduler::Clock* clock = scheduler.start(&count, &ticks, c.seconds);
    ASSERT_EQ(a.loop->timers.size(), 1u);
    EXPECT_EQ(a.loop->timers[0].ms, c.ms) << c.seconds;
    scheduler.stop(clock);
  }
  EXPECT_EQ(scheduler.start(nullptr, &ticks, 0.1), nullptr);
  EXPECT_TRUE(a.loop->timers.empty());
  EXPECT_EQ(scheduler.clockCount(), 0u);
  scheduler.stop(nullptr);
  scheduler.withdraw(&a);
}

TEST(ClockScheduler, AClockWaitsForARunLoopAndRunsOnTheFirstOffered) {
  ClockScheduler scheduler;
  int ticksA = 0, ticksB = 0;
  ClockScheduler::Clock* first = scheduler.start(&count, &ticksA, 0);
  EXPECT_FALSE(scheduler.isRunning(first));
  Loop a, b;
  scheduler.offer(&a, a.loop);  // a plug frame appears late
  EXPECT_TRUE(scheduler.isRunning(first));
  scheduler.offer(&b, b.loop);
  ClockScheduler::Clock* second = scheduler.start(&count, &ticksB, 0);
  // One loop serves every clock of the process.
  EXPECT_EQ(a.loop->timers.size(), 2u);
  EXPECT_TRUE(b.loop->timers.empty());
  a.loop->fire();
  a.loop->fire();
  EXPECT_EQ(ticksA, 2);
  EXPECT_EQ(ticksB, 2);

  // The carrying loop goes away: its clocks are taken off it first and move on.
  scheduler.withdraw(&a);
  EXPECT_TRUE(a.loop->timers.empty());
  EXPECT_EQ(b.loop->timers.size(), 2u);
  b.loop->fire();
  EXPECT_EQ(ticksA, 3);
  // The last one goes: the clocks wait again.
  scheduler.withdraw(&b);
  EXPECT_TRUE(b.loop->timers.empty());
  EXPECT_FALSE(scheduler.isRunning(second));
  scheduler.stop(first);
  scheduler.stop(second);
}

TEST(ClockScheduler, StoppedClocksNeverRunAndAClockMayStopItself) {
  ClockScheduler scheduler;
  int ticks = 0;
  scheduler.stop(scheduler.start(&count, &ticks, 0));  // stopped before any loop was known
  Loop a;
  scheduler.offer(&a, a.loop);
  EXPECT_TRUE(a.loop->timers.empty());

  struct SelfStopping {
    ClockScheduler* scheduler;
    ClockScheduler::Clock* clock = nullptr;
    int calls = 0;
  } self{&scheduler};
  self.clock = scheduler.start(
      [](void* context) {
        auto* s = static_cast<SelfStopping*>(context);
        ++s->calls;
        s->scheduler->stop(s->clock);
      },
      &self, 0);
  a.loop->fire();
  a.loop->fire();
  EXPECT_EQ(self.calls, 1);
  EXPECT_EQ(scheduler.clockCount(), 0u);
  scheduler.withdraw(&a);
}

TEST(ClockScheduler, ShutdownTakesEveryClockOffAndARefusingLoopLeavesThemWaiting) {
  ClockScheduler scheduler;
  int ticks = 0;
  Loop refusing, a;
  refusing.loop->refuse = true;
  scheduler.offer(&refusing, refusing.loop);
  ClockScheduler::Clock* clock = scheduler.start(&count, &ticks, 0);
  EXPECT_FALSE(scheduler.isRunning(clock));
  scheduler.withdraw(&refusing);
  scheduler.offer(&a, a.loop);
  EXPECT_TRUE(scheduler.isRunning(clock));

  scheduler.shutdown();  // the module is about to be unloaded
  EXPECT_TRUE(a.loop->timers.empty());
  EXPECT_EQ(scheduler.currentRunLoop(), nullptr);
  EXPECT_FALSE(scheduler.isRunning(clock));
  // The same offerer may lend a loop again (the module was entered again).
  scheduler.offer(&a, a.loop);
  EXPECT_TRUE(scheduler.isRunning(clock));
  scheduler.stop(clock);
  scheduler.withdraw(&a);
}

}  // namespace
}  // namespace orbel
