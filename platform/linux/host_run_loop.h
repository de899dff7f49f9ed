#pragma once
// The host's UI-thread run loop (VST 3 `Steinberg::Linux::IRunLoop`) as the
// platform's RunLoop. Hosts lend it through the IPlugFrame of a view and, in
// some hosts, through the host context given to initialize. Timers and file
// descriptor handlers are registered with the host through small forwarding
// objects, which are unregistered again when removed or when this adapter
// goes away, and never call a timer or handler that was removed.
#include <memory>
#include <vector>

#include "platform/run_loop.h"
#include "pluginterfaces/base/funknown.h"

namespace Steinberg::Linux {
class IRunLoop;
}

namespace orbel {

class HostRunLoop final : public RunLoop {
public:
  // Holds a reference to `loop` (not null) for its lifetime.
  explicit HostRunLoop(Steinberg::Linux::IRunLoop* loop);
  ~HostRunLoop() override;

  bool addTimer(RunLoopTimer& timer, uint64_t milliseconds) override;
  void removeTimer(RunLoopTimer& timer) override;
  bool addFdHandler(RunLoopFdHandler& handler, int fd) override;
  void removeFdHandler(RunLoopFdHandler& handler) override;

  Steinberg::Linux::IRunLoop* hostLoop() const { return loop_; }

private:
  class TimerForwarder;
  class FdForwarder;

  Steinberg::Linux::IRunLoop* loop_;
  std::vector<TimerForwarder*> timers_;
  std::vector<FdForwarder*> fdHandlers_;
};

// The run loop `source` (a host context, a plug frame) offers through
// IRunLoop, or null when it offers none (or is null).
std::shared_ptr<RunLoop> hostRunLoopFrom(Steinberg::FUnknown* source);

}  // namespace orbel
