#include "platform/linux/host_run_loop.h"

#include <algorithm>
#include <atomic>

#include "pluginterfaces/gui/iplugview.h"

namespace orbel {

using namespace Steinberg;

namespace {

// Reference counting shared by both forwarders. The host may hold its own
// references for as long as it likes; a forwarder whose target was cleared
// does nothing when called.
template <typename Interface>
class Forwarder : public Interface {
public:
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, Interface::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      this->addRef();
      *obj = static_cast<Interface*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++refs_; }
  uint32 PLUGIN_API release() override {
    const uint32 left = --refs_;
    if (left == 0) delete this;
    return left;
  }

protected:
  virtual ~Forwarder() = default;

private:
  std::atomic<uint32> refs_{1};
};

}  // namespace

class HostRunLoop::TimerForwarder final : public Forwarder<Linux::ITimerHandler> {
public:
  explicit TimerForwarder(RunLoopTimer* target) : target(target) {}
  void PLUGIN_API onTimer() override {
    if (target == nullptr) return;
    // Kept alive through the call: the timer may remove itself.
    addRef();
    target->onRunLoopTimer();
    release();
  }
  RunLoopTimer* target;
};

class HostRunLoop::FdForwarder final : public Forwarder<Linux::IEventHandler> {
public:
  explicit FdForwarder(RunLoopFdHandler* target) : target(target) {}
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor fd) override {
    if (target == nullptr) return;
    addRef();
    target->onRunLoopFdReady(fd);
    release();
  }
  RunLoopFdHandler* target;
};

HostRunLoop::HostRunLoop(Linux::IRunLoop* loop) : loop_(loop) { loop_->addRef(); }

HostRunLoop::~HostRunLoop() {
  for (TimerForwarder* t : timers_) {
    t->target = nullptr;
    loop_->unregisterTimer(t);
    t->release();
  }
  for (FdForwarder* f : fdHandlers_) {
    f->target = nullptr;
    loop_->unregisterEventHandler(f);
    f->release();
  }
  loop_->release();
}

bool HostRunLoop::addTimer(RunLoopTimer& timer, uint64_t milliseconds) {
  for (TimerForwarder* t : timers_)
    if (t->target == &timer) return false;
  auto* forwarder = new TimerForwarder(&timer);
  if (loop_->registerTimer(forwarder, milliseconds > 0 ? milliseconds : 1) != kResultOk) {
    forwarder->target = nullptr;
    forwarder->release();
    return false;
  }
  timers_.push_back(forwarder);
  return true;
}

void HostRunLoop::removeTimer(RunLoopTimer& timer) {
  const auto it = std::find_if(timers_.begin(), timers_.end(),
                               [&](TimerForwarder* t) { return t->target == &timer; });
  if (it == timers_.end()) return;
  TimerForwarder* forwarder = *it;
  timers_.erase(it);
  forwarder->target = nullptr;
  loop_->unregisterTimer(forwarder);
  forwarder->release();
}

bool HostRunLoop::addFdHandler(RunLoopFdHandler& handler, int fd) {
  for (FdForwarder* f : fdHandlers_)
    if (f->target == &handler) return false;
  auto* forwarder = new FdForwarder(&handler);
  if (loop_->registerEventHandler(forwarder, fd) != kResultOk) {
    forwarder->target = nullptr;
    forwarder->release();
    return false;
  }
  fdHandlers_.push_back(forwarder);
  return true;
}

void HostRunLoop::removeFdHandler(RunLoopFdHandler& handler) {
  const auto it = std::find_if(fdHandlers_.begin(), fdHandlers_.end(),
                               [&](FdForwarder* f) { return f->target == &handler; });
  if (it == fdHandlers_.end()) return;
  FdForwarder* forwarder = *it;
  fdHandlers_.erase(it);
  forwarder->target = nullptr;
  loop_->unregisterEventHandler(forwarder);
  forwarder->release();
}

std::shared_ptr<RunLoop> hostRunLoopFrom(FUnknown* source) {
  if (source == nullptr) return nullptr;
  Linux::IRunLoop* loop = nullptr;
  if (source->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&loop)) != kResultOk ||
      !loop)
    return nullptr;
  auto adapter = std::make_shared<HostRunLoop>(loop);
  loop->release();  // the adapter holds its own reference
  return adapter;
}

}  // namespace orbel
