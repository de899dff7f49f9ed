// The probe's UI-thread run loop, offered to plug-ins as a Linux host offers
// its own: `Steinberg::Linux::IRunLoop` with repeating timers and file
// descriptor handlers, all called on the thread that runs the loop. A timer
// that falls behind skips the firings it missed instead of bunching them.
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"

namespace orbel {

class ProbeRunLoop : public Steinberg::Linux::IRunLoop {
public:
  using Clock = std::chrono::steady_clock;

  ProbeRunLoop();
  virtual ~ProbeRunLoop();

  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API
  unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API
  registerTimer(Steinberg::Linux::ITimerHandler* handler,
                Steinberg::Linux::TimerInterval milliseconds) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

  DECLARE_FUNKNOWN_METHODS

  // Waits until a timer is due, a descriptor is readable or `deadline` has
  // come, whichever is first, and calls what is due.
  void runOnce(Clock::time_point deadline);

  std::size_t timerCount() const { return timers_.size(); }
  std::size_t handlerCount() const { return handlers_.size(); }
  // Forgets every registration without releasing it: for handlers whose
  // module has been unloaded, where a release would call into unmapped code.
  void abandonAll();

private:
  struct Timer {
    Steinberg::Linux::ITimerHandler* handler;
    Clock::duration interval;
    Clock::time_point due;
  };
  struct Handler {
    Steinberg::Linux::IEventHandler* handler;
    Steinberg::Linux::FileDescriptor fd;
  };

  void fireDueTimers();
  void unregisterAll();

  std::vector<Timer> timers_;
  std::vector<Handler> handlers_;
};

}  // namespace orbel
