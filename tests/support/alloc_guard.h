// Counts heap allocations and mutex locks made by the current thread while a
// guard is alive, for tests of realtime code:
//
//   orbel::test::AllocGuard guard;
//   engine.processBlock(...);
//   guard.stop();
//   EXPECT_EQ(guard.allocations(), 0u);
//   EXPECT_EQ(guard.locks(), 0u);
//
// Link tests/support/alloc_guard.cpp and the `orbel_rt_guard` library into the
// test executable: the realtime guard (rtguard/rt_guard.h) replaces the global
// operator new/delete and interposes malloc and its relatives and
// pthread_mutex_lock/trylock for the whole program. Only the guarded thread's
// calls are counted. Keep assertions outside the guarded region (a failing
// assertion allocates). Under a sanitizer nothing is counted;
// `mallocCounted()` says whether the hooks are in place.
#pragma once

#include <cstdint>

namespace orbel::test {

class AllocGuard {
public:
  AllocGuard();
  ~AllocGuard();
  AllocGuard(const AllocGuard&) = delete;
  AllocGuard& operator=(const AllocGuard&) = delete;

  // Ends counting early; the counts stay readable.
  void stop();
  uint64_t allocations() const { return allocations_; }
  uint64_t locks() const { return locks_; }
  static bool mallocCounted();

private:
  bool active_ = true;
  uint64_t allocations_ = 0;
  uint64_t locks_ = 0;
};

}  // namespace orbel::test
