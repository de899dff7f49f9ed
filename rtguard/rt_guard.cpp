#include "rtguard/rt_guard.h"

#include <execinfo.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORBEL_RT_GUARD_HOOKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define ORBEL_RT_GUARD_HOOKS 0
#endif
#endif
#ifndef ORBEL_RT_GUARD_HOOKS
#define ORBEL_RT_GUARD_HOOKS 1
#endif

namespace {

// Per thread, so only the armed thread's calls count.
thread_local bool tArmed = false;
thread_local const char* tWhere = "";
thread_local uint64_t tAllocations = 0;
thread_local uint64_t tLocks = 0;

std::atomic<bool> gReporting{false};
std::atomic<uint64_t> gRegions{0};
std::atomic<uint64_t> gAllocations{0};
std::atomic<uint64_t> gLocks{0};
std::atomic<bool> gAllocationReported{false};
std::atomic<bool> gLockReported{false};

// Writes without allocating: the report may come from inside malloc.
void writeText(const char* text) {
  ssize_t unused = ::write(2, text, std::strlen(text));
  (void)unused;
}

void reportFirst(std::atomic<bool>& reported, const char* what) {
  if (!gReporting.load(std::memory_order_relaxed) || reported.exchange(true)) return;
  tArmed = false;  // the trace itself may allocate the first time
  writeText("orbel-plugin-shell: realtime guard: ");
  writeText(what);
  writeText(" in ");
  writeText(tWhere);
  writeText(" on the audio thread; stack (addr2line -f -C -e FILE OFFSET names a frame):\n");
  void* frames[48];
  const int count = backtrace(frames, 48);
  backtrace_symbols_fd(frames, count, 2);
  tArmed = true;
}

inline void countAllocation() {
  if (!tArmed) return;
  ++tAllocations;
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  reportFirst(gAllocationReported, "heap allocation");
}

inline void countLock() {
  if (!tArmed) return;
  ++tLocks;
  gLocks.fetch_add(1, std::memory_order_relaxed);
  reportFirst(gLockReported, "mutex lock");
}

}  // namespace

extern "C" {

void orbelRealtimeGuardArm(const char* where) {
  tAllocations = 0;
  tLocks = 0;
  tWhere = where != nullptr ? where : "";
  tArmed = true;
  gRegions.fetch_add(1, std::memory_order_relaxed);
}

void orbelRealtimeGuardDisarm(void) { tArmed = false; }

uint64_t orbelRealtimeGuardAllocations(void) { return tAllocations; }

uint64_t orbelRealtimeGuardLocks(void) { return tLocks; }

int orbelRealtimeGuardHooked(void) { return ORBEL_RT_GUARD_HOOKS; }

void orbelRealtimeGuardTotals(uint64_t* regions, uint64_t* allocations, uint64_t* locks) {
  if (regions != nullptr) *regions = gRegions.load();
  if (allocations != nullptr) *allocations = gAllocations.load();
  if (locks != nullptr) *locks = gLocks.load();
}

void orbelRealtimeGuardSetReporting(int on) {
  if (on) {
    // backtrace loads its unwinder on first use; do that now, unguarded.
    void* frame[1];
    backtrace(frame, 1);
  }
  gReporting.store(on != 0);
}

}  // extern "C"

#if ORBEL_RT_GUARD_HOOKS
#include <dlfcn.h>
#include <pthread.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t size) {
  countAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
  countAllocation();
  return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
  countAllocation();
  return __libc_realloc(p, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  countAllocation();
  return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
  countAllocation();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  countAllocation();
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return 12;  // ENOMEM
  *out = p;
  return 0;
}
}  // extern "C"
#endif

#if ORBEL_RT_GUARD_HOOKS
namespace {
using MutexFn = int (*)(pthread_mutex_t*);
MutexFn realLock = nullptr;
MutexFn realTrylock = nullptr;

// Resolved before main, while the program is single-threaded.
__attribute__((constructor)) void resolveMutexFunctions() {
  realLock = reinterpret_cast<MutexFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  realTrylock = reinterpret_cast<MutexFn>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
}
}  // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* m) {
  countLock();
  if (realLock == nullptr) resolveMutexFunctions();
  return realLock(m);
}
extern "C" int pthread_mutex_trylock(pthread_mutex_t* m) {
  countLock();
  if (realTrylock == nullptr) resolveMutexFunctions();
  return realTrylock(m);
}

void* operator new(std::size_t size) {
  countAllocation();
  if (size == 0) size = 1;
  for (;;) {
    if (void* p = __libc_malloc(size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  countAllocation();
  return __libc_malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#endif
