// A stand-in for a guarded module: allocates and locks inside the scope a
// module built with the realtime guard opens around `process`. Run with
// liborbel-rt-guard.so preloaded; guard_report_test.sh reads what it reports.
#include <cstdio>
#include <memory>
#include <mutex>

#include "plugin/realtime_guard_hook.h"

namespace {
std::mutex gMutex;
}

int main() {
  int value = 0;
  { const orbel::RealtimeGuardScope quiet("a quiet region"); }
  {
    const orbel::RealtimeGuardScope guard("guarded_work");
    auto heap = std::make_unique<int>(7);
    std::lock_guard<std::mutex> lock(gMutex);
    value = *heap;
  }
  std::printf("work %d\n", value);
  auto after = std::make_unique<int>(1);  // unguarded: not counted
  return *after - 1;
}
