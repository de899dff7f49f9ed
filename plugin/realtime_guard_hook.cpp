#include "plugin/realtime_guard_hook.h"

#if ORBEL_REALTIME_GUARD
#include <dlfcn.h>

#include <cstdio>

namespace orbel {
namespace {

using ArmFn = void (*)(const char*);
using DisarmFn = void (*)();

struct GuardEntries {
  ArmFn arm = nullptr;
  DisarmFn disarm = nullptr;
  GuardEntries() {
    // Looked up in the host's global scope, where a preloaded library sits.
    arm = reinterpret_cast<ArmFn>(dlsym(RTLD_DEFAULT, "orbelRealtimeGuardArm"));
    disarm = reinterpret_cast<DisarmFn>(dlsym(RTLD_DEFAULT, "orbelRealtimeGuardDisarm"));
    if (arm == nullptr || disarm == nullptr) {
      arm = nullptr;
      disarm = nullptr;
      std::fprintf(stderr,
                   "orbel-plugin-shell: built with the realtime guard, but liborbel-rt-guard.so "
                   "is not preloaded; nothing is checked\n");
    }
  }
};

const GuardEntries gEntries;

}  // namespace

RealtimeGuardScope::RealtimeGuardScope(const char* where) {
  if (gEntries.arm != nullptr) gEntries.arm(where);
}

RealtimeGuardScope::~RealtimeGuardScope() {
  if (gEntries.disarm != nullptr) gEntries.disarm();
}

}  // namespace orbel
#endif
