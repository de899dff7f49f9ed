// liborbel-rt-guard.so: preloaded into a host (LD_PRELOAD), it reports the
// first allocation and lock made on an armed thread, and a summary at exit.
#include <cinttypes>
#include <cstdio>

#include "rtguard/rt_guard.h"

namespace {

__attribute__((constructor)) void startReporting() { orbelRealtimeGuardSetReporting(1); }

__attribute__((destructor)) void printSummary() {
  uint64_t regions = 0, allocations = 0, locks = 0;
  orbelRealtimeGuardTotals(&regions, &allocations, &locks);
  std::fprintf(stderr,
               "orbel-plugin-shell: realtime guard: %" PRIu64 " guarded calls, %" PRIu64
               " heap allocations, %" PRIu64 " mutex locks\n",
               regions, allocations, locks);
}

}  // namespace
