// The host's VST 3 run loop behind the platform's RunLoop: registrations
// reach the host, its calls reach the right timer or handler, and nothing is
// called or left registered once removed.
#include <gtest/gtest.h>

#include "platform/linux/host_run_loop.h"
#include "sdk/hosting/host_classes.h"
#include "tests/support/fake_run_loop.h"

namespace orbel {
namespace {

struct Counter : RunLoopTimer, RunLoopFdHandler {
  int timerCalls = 0;
  int lastFd = -1;
  void onRunLoopTimer() override { ++timerCalls; }
  void onRunLoopFdReady(int fd) override { lastFd = fd; }
};

TEST(HostRunLoop, OnlyAnObjectOfferingIRunLoopLendsOne) {
  orbel::hosting::HostApplication plainHost;
  EXPECT_EQ(hostRunLoopFrom(nullptr), nullptr);
  EXPECT_EQ(hostRunLoopFrom(&plainHost), nullptr);
  testhost::FakeRunLoop host;
  {
    std::shared_ptr<RunLoop> loop = hostRunLoopFrom(&host);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(host.refs, 2u);  // held while the adapter lives
  }
  EXPECT_EQ(host.refs, 1u);
}

TEST(HostRunLoop, TimersAndHandlersReachTheHostAndLeaveIt) {
  testhost::FakeRunLoop host;
  Counter a, b;
  {
    HostRunLoop loop(&host);
    ASSERT_TRUE(loop.addTimer(a, 33));
    EXPECT_FALSE(loop.addTimer(a, 33));  // added once only
    ASSERT_TRUE(loop.addTimer(b, 0));
    ASSERT_EQ(host.timers.size(), 2u);
    EXPECT_EQ(host.timers[0].milliseconds, 33u);
    EXPECT_EQ(host.timers[1].milliseconds, 1u);
    host.fireTimers();
    EXPECT_EQ(a.timerCalls, 1);
    EXPECT_EQ(b.timerCalls, 1);

    // A host that keeps calling a handler it was told to drop reaches nothing.
    Steinberg::Linux::ITimerHandler* stale = host.timers[0].handler;
    stale->addRef();
    loop.removeTimer(a);
    EXPECT_EQ(host.timers.size(), 1u);
    stale->onTimer();
    EXPECT_EQ(a.timerCalls, 1);
    stale->release();

    ASSERT_TRUE(loop.addFdHandler(a, 7));
    host.fireHandlers();
    EXPECT_EQ(a.lastFd, 7);
    loop.removeFdHandler(a);
    EXPECT_TRUE(host.handlers.empty());
    ASSERT_TRUE(loop.addFdHandler(b, 9));

    host.refuse = true;
    EXPECT_FALSE(loop.addTimer(a, 33));
    EXPECT_FALSE(loop.addFdHandler(a, 7));
  }
  // The adapter went away: everything it still had is off the host's loop.
  EXPECT_TRUE(host.timers.empty());
  EXPECT_TRUE(host.handlers.empty());
  EXPECT_EQ(host.refs, 1u);
}

}  // namespace
}  // namespace orbel
