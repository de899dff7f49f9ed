// The realtime guard: counts heap allocations and mutex locks made by a
// thread while it is armed. Code under test (or a whole host, with the shared
// library preloaded) runs the audio path armed, so any allocation or lock on
// it shows:
//
//   - tests link `orbel_rt_guard` and arm it through `orbel::test::AllocGuard`;
//   - `liborbel-rt-guard.so`, preloaded into a host (LD_PRELOAD), counts the
//     calls of a module built with -DORBEL_REALTIME_GUARD=ON, which arms it
//     around every `process` call; the first allocation and the first lock
//     are reported on standard error with a stack trace, and a summary when
//     the process exits.
//
// The hooks replace malloc, calloc, realloc, aligned_alloc, posix_memalign,
// memalign, the global operator new family, and pthread_mutex_lock/trylock
// for the whole program. Under a sanitizer, which owns these itself, nothing
// is hooked and nothing is counted (`orbelRealtimeGuardHooked` says so).
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Arms the calling thread and clears its counts; `where` names the guarded
// region in reports (kept as a pointer: pass a literal).
void orbelRealtimeGuardArm(const char* where);
void orbelRealtimeGuardDisarm(void);
uint64_t orbelRealtimeGuardAllocations(void);  // the calling thread's, since it was armed
uint64_t orbelRealtimeGuardLocks(void);
// Whether the hooks are in place (not under sanitizers).
int orbelRealtimeGuardHooked(void);
// Process-wide: armed regions so far, and what all armed threads did.
void orbelRealtimeGuardTotals(uint64_t* regions, uint64_t* allocations, uint64_t* locks);
// Report the first allocation and the first lock of the process on standard
// error, with a stack trace (the preloaded library turns this on).
void orbelRealtimeGuardSetReporting(int on);

#ifdef __cplusplus
}
#endif
