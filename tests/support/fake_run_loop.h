#pragma once
// A host's UI run loop as the plug-in sees it (`Steinberg::Linux::IRunLoop`),
// driven by hand: it records what is registered, and a test fires timers and
// descriptor handlers when it likes. Registrations hold references as a
// host's would, so a test can also see that everything was given back.
#include <algorithm>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"

namespace orbel::testhost {

class FakeRunLoop : public Steinberg::Linux::IRunLoop {
public:
  struct Timer {
    Steinberg::Linux::ITimerHandler* handler;
    Steinberg::uint64 milliseconds;
  };
  struct Handler {
    Steinberg::Linux::IEventHandler* handler;
    int fd;
  };
  std::vector<Timer> timers;
  std::vector<Handler> handlers;
  bool refuse = false;  // answer every registration with kResultFalse

  ~FakeRunLoop() { clear(); }

  // Calls every registered timer once (a timer may unregister while called).
  void fireTimers() {
    std::vector<Timer> now = timers;
    for (const Timer& t : now)
      if (registered(t.handler)) t.handler->onTimer();
  }
  void fireHandlers() {
    std::vector<Handler> now = handlers;
    for (const Handler& h : now) h.handler->onFDIsSet(h.fd);
  }
  bool registered(Steinberg::Linux::ITimerHandler* handler) const {
    return std::any_of(timers.begin(), timers.end(),
                       [&](const Timer& t) { return t.handler == handler; });
  }
  void clear() {
    for (const Timer& t : timers) t.handler->release();
    for (const Handler& h : handlers) h.handler->release();
    timers.clear();
    handlers.clear();
  }

  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override {
    if (refuse || !handler) return Steinberg::kResultFalse;
    handler->addRef();
    handlers.push_back({handler, fd});
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API
  unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override {
    for (auto it = handlers.begin(); it != handlers.end(); ++it)
      if (it->handler == handler) {
        handlers.erase(it);
        handler->release();
        return Steinberg::kResultOk;
      }
    return Steinberg::kInvalidArgument;
  }
  Steinberg::tresult PLUGIN_API
  registerTimer(Steinberg::Linux::ITimerHandler* handler,
                Steinberg::Linux::TimerInterval milliseconds) override {
    if (refuse || !handler) return Steinberg::kResultFalse;
    handler->addRef();
    timers.push_back({handler, milliseconds});
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override {
    for (auto it = timers.begin(); it != timers.end(); ++it)
      if (it->handler == handler) {
        timers.erase(it);
        handler->release();
        return Steinberg::kResultOk;
      }
    return Steinberg::kInvalidArgument;
  }

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
    if (Steinberg::FUnknownPrivate::iidEqual(iid, IRunLoop::iid) ||
        Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown::iid)) {
      addRef();
      *obj = static_cast<IRunLoop*>(this);
      return Steinberg::kResultOk;
    }
    *obj = nullptr;
    return Steinberg::kNoInterface;
  }
  Steinberg::uint32 PLUGIN_API addRef() override { return ++refs; }
  Steinberg::uint32 PLUGIN_API release() override { return --refs; }
  Steinberg::uint32 refs = 1;  // the test's own
};

}  // namespace orbel::testhost
