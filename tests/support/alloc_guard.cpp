#include "tests/support/alloc_guard.h"

#include "rtguard/rt_guard.h"

namespace orbel::test {

AllocGuard::AllocGuard() { orbelRealtimeGuardArm("a guarded test region"); }

AllocGuard::~AllocGuard() { stop(); }

void AllocGuard::stop() {
  if (!active_) return;
  orbelRealtimeGuardDisarm();
  active_ = false;
  allocations_ = orbelRealtimeGuardAllocations();
  locks_ = orbelRealtimeGuardLocks();
}

bool AllocGuard::mallocCounted() { return orbelRealtimeGuardHooked() != 0; }

}  // namespace orbel::test
