#include "tools/probe_run_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Linux;

IMPLEMENT_FUNKNOWN_METHODS(ProbeRunLoop, IRunLoop, IRunLoop::iid)

ProbeRunLoop::ProbeRunLoop(){FUNKNOWN_CTOR}

ProbeRunLoop::~ProbeRunLoop() {
  unregisterAll();
  FUNKNOWN_DTOR
}

tresult PLUGIN_API ProbeRunLoop::registerEventHandler(IEventHandler* handler, FileDescriptor fd) {
  if (handler == nullptr || fd < 0) return kInvalidArgument;
  for (const Handler& h : handlers_)
    if (h.handler == handler) return kInvalidArgument;
  handler->addRef();
  handlers_.push_back({handler, fd});
  return kResultOk;
}

tresult PLUGIN_API ProbeRunLoop::unregisterEventHandler(IEventHandler* handler) {
  const auto it = std::find_if(handlers_.begin(), handlers_.end(),
                               [&](const Handler& h) { return h.handler == handler; });
  if (it == handlers_.end()) return kInvalidArgument;
  handlers_.erase(it);
  handler->release();
  return kResultOk;
}

tresult PLUGIN_API ProbeRunLoop::registerTimer(ITimerHandler* handler, TimerInterval milliseconds) {
  if (handler == nullptr || milliseconds == 0) return kInvalidArgument;
  for (const Timer& t : timers_)
    if (t.handler == handler) return kInvalidArgument;
  handler->addRef();
  const Clock::duration interval = std::chrono::milliseconds(milliseconds);
  timers_.push_back({handler, interval, Clock::now() + interval});
  return kResultOk;
}

tresult PLUGIN_API ProbeRunLoop::unregisterTimer(ITimerHandler* handler) {
  const auto it = std::find_if(timers_.begin(), timers_.end(),
                               [&](const Timer& t) { return t.handler == handler; });
  if (it == timers_.end()) return kInvalidArgument;
  timers_.erase(it);
  handler->release();
  return kResultOk;
}

void ProbeRunLoop::runOnce(Clock::time_point deadline) {
  Clock::time_point wake = deadline;
  for (const Timer& t : timers_) wake = std::min(wake, t.due);
  const auto now = Clock::now();
  int timeoutMs = 0;
  if (wake > now) {
    // Rounded up, so the wait never ends just before the time it waits for.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    timeoutMs = static_cast<int>(std::min<decltype(wait)>(wait, 60000));
  }
  std::vector<pollfd> fds;
  for (const Handler& h : handlers_) fds.push_back({h.fd, POLLIN, 0});
  const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
  if (ready > 0) {
    for (const pollfd& p : fds) {
      if ((p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) continue;
      // A handler called earlier may have removed this one.
      const auto it = std::find_if(handlers_.begin(), handlers_.end(),
                                   [&](const Handler& h) { return h.fd == p.fd; });
      if (it == handlers_.end()) continue;
      IEventHandler* handler = it->handler;
      handler->addRef();
      handler->onFDIsSet(p.fd);
      handler->release();
    }
  } else if (ready < 0 && errno != EINTR) {
    // Nothing to wait on that poll accepts; do not spin.
    std::vector<pollfd> none;
    ::poll(none.data(), 0, timeoutMs);
  }
  fireDueTimers();
}

void ProbeRunLoop::fireDueTimers() {
  const auto now = Clock::now();
  std::vector<ITimerHandler*> due;
  for (const Timer& t : timers_)
    if (t.due <= now) due.push_back(t.handler);
  for (ITimerHandler* handler : due) {
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const Timer& t) { return t.handler == handler; });
    if (it == timers_.end()) continue;  // removed by an earlier timer
    it->due += it->interval;
    if (it->due <= now) it->due = now + it->interval;
    handler->addRef();
    handler->onTimer();
    handler->release();
  }
}

void ProbeRunLoop::unregisterAll() {
  std::vector<Timer> timers;
  std::vector<Handler> handlers;
  timers.swap(timers_);
  handlers.swap(handlers_);
  for (const Timer& t : timers) t.handler->release();
  for (const Handler& h : handlers) h.handler->release();
}

void ProbeRunLoop::abandonAll() {
  timers_.clear();
  handlers_.clear();
}

}  // namespace orbel
