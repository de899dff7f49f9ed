#include "platform/clock_scheduler.h"

#include <algorithm>
#include <cmath>

namespace orbel {

class ClockScheduler::Clock final : public RunLoopTimer {
public:
  Clock(Callback callback, void* context, uint64_t intervalMs)
      : callback(callback), context(context), intervalMs(intervalMs) {}

  void onRunLoopTimer() override {
    // Last statement: the callback may stop (and free) this clock.
    callback(context);
  }

  const Callback callback;
  void* const context;
  const uint64_t intervalMs;
  RunLoop* loop = nullptr;  // the loop it is added to, or null while waiting
};

namespace {

uint64_t intervalMilliseconds(double seconds) {
  if (!(seconds > 0)) return ClockScheduler::kDefaultIntervalMs;
  constexpr double kDayMs = 86400000.0;
  const double ms = std::round(seconds * 1000.0);
  return ms < 1.0 ? 1 : ms > kDayMs ? static_cast<uint64_t>(kDayMs) : static_cast<uint64_t>(ms);
}

}  // namespace

ClockScheduler::~ClockScheduler() {
  shutdown();
  for (Clock* clock : clocks_) delete clock;
}

ClockScheduler::Clock* ClockScheduler::start(Callback callback, void* context,
                                             double intervalSeconds) {
  if (callback == nullptr) return nullptr;
  auto* clock = new Clock(callback, context, intervalMilliseconds(intervalSeconds));
  clocks_.push_back(clock);
  if (RunLoop* loop = currentRunLoop(); loop && loop->addTimer(*clock, clock->intervalMs))
    clock->loop = loop;
  return clock;
}

void ClockScheduler::stop(Clock* clock) {
  const auto it = std::find(clocks_.begin(), clocks_.end(), clock);
  if (it == clocks_.end()) return;
  clocks_.erase(it);
  if (clock->loop) clock->loop->removeTimer(*clock);
  delete clock;
}

bool ClockScheduler::isRunning(const Clock* clock) const {
  return std::find(clocks_.begin(), clocks_.end(), clock) != clocks_.end() &&
         clock->loop != nullptr;
}

void ClockScheduler::offer(const void* offerer, std::shared_ptr<RunLoop> loop) {
  if (!loop) {
    withdraw(offerer);
    return;
  }
  const auto it = std::find_if(offers_.begin(), offers_.end(),
                               [&](const Offer& o) { return o.offerer == offerer; });
  if (it == offers_.end()) {
    offers_.push_back({offerer, std::move(loop)});
    if (offers_.size() == 1) scheduleAll();
    return;
  }
  const bool carrying = it == offers_.begin();
  if (carrying) unscheduleAll();
  it->loop = std::move(loop);
  if (carrying) scheduleAll();
}

void ClockScheduler::withdraw(const void* offerer) {
  const auto it = std::find_if(offers_.begin(), offers_.end(),
                               [&](const Offer& o) { return o.offerer == offerer; });
  if (it == offers_.end()) return;
  const bool carrying = it == offers_.begin();
  if (carrying) unscheduleAll();
  // Kept alive until the clocks are off it and it is out of the list.
  const std::shared_ptr<RunLoop> leaving = std::move(it->loop);
  offers_.erase(it);
  if (carrying) scheduleAll();
}

void ClockScheduler::shutdown() {
  unscheduleAll();
  offers_.clear();
}

void ClockScheduler::scheduleAll() {
  RunLoop* loop = currentRunLoop();
  if (loop == nullptr) return;
  for (Clock* clock : clocks_)
    if (clock->loop == nullptr && loop->addTimer(*clock, clock->intervalMs)) clock->loop = loop;
}

void ClockScheduler::unscheduleAll() {
  for (Clock* clock : clocks_) {
    if (clock->loop) clock->loop->removeTimer(*clock);
    clock->loop = nullptr;
  }
}

ClockScheduler& processClockScheduler() {
  static ClockScheduler* scheduler = new ClockScheduler();
  return *scheduler;
}

}  // namespace orbel
