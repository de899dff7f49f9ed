#pragma once
// Repeating clocks on a borrowed run loop. A clock can be started at any time;
// it waits until some run loop is known and then runs on it. Run loops are
// offered by whoever meets one (a controller in the host context it was given,
// a plug view in its frame) and withdrawn before they go away. The first offer
// still standing carries every clock of the process; when it is withdrawn the
// clocks are taken off it and move to the next offer, or wait again.
//
// Everything here runs on the UI thread that owns the run loops; nothing is
// locked and no thread is ever created.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/run_loop.h"

namespace orbel {

class ClockScheduler {
public:
  using Callback = void (*)(void* context);
  class Clock;

  // 1/30 s, the cadence of the controller's feeds, rounded to whole
  // milliseconds as run loops count them.
  static constexpr uint64_t kDefaultIntervalMs = 33;

  ClockScheduler() = default;
  ClockScheduler(const ClockScheduler&) = delete;
  ClockScheduler& operator=(const ClockScheduler&) = delete;
  ~ClockScheduler();

  // A clock calling callback(context) every intervalSeconds (1/30 s when the
  // interval is not above 0); null for a null callback. It runs as soon as a
  // run loop is known.
  Clock* start(Callback callback, void* context, double intervalSeconds);
  // Takes the clock off its run loop and frees it; nothing for null. May be
  // called from inside the clock's own callback.
  void stop(Clock* clock);

  // `offerer` lends `loop` until it withdraws it. A second offer from the
  // same offerer replaces its first; a null loop withdraws.
  void offer(const void* offerer, std::shared_ptr<RunLoop> loop);
  void withdraw(const void* offerer);
  // Takes every clock off its run loop and forgets every offer (the module is
  // about to be unloaded). Clocks stay valid and wait for a new offer.
  void shutdown();

  // The run loop that carries the clocks, or null while none is known.
  RunLoop* currentRunLoop() const { return offers_.empty() ? nullptr : offers_.front().loop.get(); }
  size_t clockCount() const { return clocks_.size(); }
  bool isRunning(const Clock* clock) const;

private:
  struct Offer {
    const void* offerer;
    std::shared_ptr<RunLoop> loop;
  };

  void scheduleAll();
  void unscheduleAll();

  std::vector<Offer> offers_;
  std::vector<Clock*> clocks_;
};

// The scheduler shared by every clock of this module image. It is never
// destroyed (the module exit calls shutdown instead), so no run loop is
// touched while the process tears its statics down.
ClockScheduler& processClockScheduler();

}  // namespace orbel
