#pragma once
// The UI thread's event loop as the plug-in sees it: something that calls
// repeating timers and reports readable file descriptors, always on that one
// thread. A Linux plug-in has no process-wide loop of its own to use; the host
// lends one (platform/linux/host_run_loop.h adapts the host's VST 3 run loop).
// Nothing here creates a thread.
#include <cstdint>

namespace orbel {

// Called by a run loop every interval, on the loop's thread.
class RunLoopTimer {
public:
  virtual void onRunLoopTimer() = 0;

protected:
  ~RunLoopTimer() = default;
};

// Called by a run loop when a watched file descriptor is readable (or closed
// or in error), on the loop's thread.
class RunLoopFdHandler {
public:
  virtual void onRunLoopFdReady(int fd) = 0;

protected:
  ~RunLoopFdHandler() = default;
};

class RunLoop {
public:
  RunLoop() = default;
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;
  virtual ~RunLoop() = default;

  // Calls `timer` every `milliseconds` (at least 1) until removeTimer; false
  // when the loop refuses. A timer is added at most once.
  virtual bool addTimer(RunLoopTimer& timer, uint64_t milliseconds) = 0;
  // Stops calling `timer`; nothing for a timer that was not added. Safe from
  // inside the timer's own call.
  virtual void removeTimer(RunLoopTimer& timer) = 0;

  // Calls `handler` whenever `fd` is readable until removeFdHandler; false
  // when the loop refuses. A handler watches one descriptor.
  virtual bool addFdHandler(RunLoopFdHandler& handler, int fd) = 0;
  virtual void removeFdHandler(RunLoopFdHandler& handler) = 0;
};

}  // namespace orbel
