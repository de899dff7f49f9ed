#pragma once
// The platform's RunLoop (platform/run_loop.h) turned by hand: it records the
// timers added to it and fires them when a test says so. A timer removed
// while others fire is not fired again. Descriptor handlers are refused.
#include <algorithm>
#include <vector>

#include "platform/run_loop.h"

namespace orbel::test {

class HandRunLoop : public RunLoop {
public:
  std::vector<RunLoopTimer*> timers;

  bool addTimer(RunLoopTimer& timer, uint64_t) override {
    timers.push_back(&timer);
    return true;
  }
  void removeTimer(RunLoopTimer& timer) override { std::erase(timers, &timer); }
  bool addFdHandler(RunLoopFdHandler&, int) override { return false; }
  void removeFdHandler(RunLoopFdHandler&) override {}

  // Calls every timer once.
  void fire() {
    const std::vector<RunLoopTimer*> now = timers;
    for (RunLoopTimer* t : now)
      if (std::find(timers.begin(), timers.end(), t) != timers.end()) t->onRunLoopTimer();
  }
};

}  // namespace orbel::test
