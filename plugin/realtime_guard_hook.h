// Arms the realtime guard (rtguard/rt_guard.h) around the processor's audio
// work in a module built with -DORBEL_REALTIME_GUARD=ON, when the host process
// has liborbel-rt-guard.so preloaded. In a normal build the scope is empty and
// costs nothing.
#pragma once

namespace orbel {

#if ORBEL_REALTIME_GUARD
// Runs on the audio thread: two calls through pointers looked up once when
// the module was loaded.
class RealtimeGuardScope {
public:
  explicit RealtimeGuardScope(const char* where);
  ~RealtimeGuardScope();
  RealtimeGuardScope(const RealtimeGuardScope&) = delete;
  RealtimeGuardScope& operator=(const RealtimeGuardScope&) = delete;
};
#else
class RealtimeGuardScope {
public:
  explicit RealtimeGuardScope(const char*) {}
};
#endif

}  // namespace orbel
