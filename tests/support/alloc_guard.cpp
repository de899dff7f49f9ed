#include "tests/support/alloc_guard.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORBEL_ALLOC_GUARD_HOOKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define ORBEL_ALLOC_GUARD_HOOKS 0
#endif
#endif
#ifndef ORBEL_ALLOC_GUARD_HOOKS
#define ORBEL_ALLOC_GUARD_HOOKS 1
#endif

namespace {
// Per thread, so the test runner's other threads never count.
thread_local bool tArmed = false;
thread_local uint64_t tAllocations = 0;
thread_local uint64_t tLocks = 0;

inline void countAllocation() {
  if (tArmed) ++tAllocations;
}
inline void countLock() {
  if (tArmed) ++tLocks;
}
}  // namespace

namespace orbel::test {

AllocGuard::AllocGuard() {
  tAllocations = 0;
  tLocks = 0;
  tArmed = true;
}

AllocGuard::~AllocGuard() { stop(); }

void AllocGuard::stop() {
  if (!active_) return;
  tArmed = false;
  active_ = false;
  allocations_ = tAllocations;
  locks_ = tLocks;
}

bool AllocGuard::mallocCounted() { return ORBEL_ALLOC_GUARD_HOOKS != 0; }

}  // namespace orbel::test

#if ORBEL_ALLOC_GUARD_HOOKS
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
int posix_memalign(void** out, size_t alignment, size_t size) {
  countAllocation();
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return 12;  // ENOMEM
  *out = p;
  return 0;
}

using MutexFn = int (*)(pthread_mutex_t*);
static MutexFn realLock = nullptr;
static MutexFn realTrylock = nullptr;

// Resolved before main, while the program is single-threaded.
__attribute__((constructor)) static void resolveMutexFunctions() {
  realLock = reinterpret_cast<MutexFn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  realTrylock = reinterpret_cast<MutexFn>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
}

int pthread_mutex_lock(pthread_mutex_t* m) {
  countLock();
  if (realLock == nullptr) resolveMutexFunctions();
  return realLock(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
  countLock();
  if (realTrylock == nullptr) resolveMutexFunctions();
  return realTrylock(m);
}
}  // extern "C"

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
