// The controller's cadence clock on the host's run loop, its tick, and the
// exported bridge functions that outside clients reach the controller by.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/clock_scheduler.h"
#include "platform/linux/host_run_loop.h"
#include "plugin/diagnostic_bridge.h"
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "tests/editor/bridge_fixture.h"
#include "tests/support/fake_run_loop.h"

namespace orbel::testhost {
namespace {

// A host that lends its UI loop through the context, as some Linux hosts do.
class LoopHost : public orbel::hosting::HostApplication {
public:
  explicit LoopHost(FakeRunLoop* loop) : loop_(loop) {}
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
      loop_->addRef();
      *obj = static_cast<Linux::IRunLoop*>(loop_);
      return kResultOk;
    }
    return HostApplication::queryInterface(iid, obj);
  }

private:
  FakeRunLoop* loop_;
};

std::vector<std::string> ids(const ProcessorPeer& peer) {
  std::vector<std::string> out;
  for (const ProcessorMessage& m : peer.messages)
    out.push_back(m.id + (m.reset >= 0 ? " reset " + std::to_string(m.reset) : ""));
  return out;
}

using Messages = std::vector<std::string>;
const Messages kTick = {"orbel.diag.transportPoll reset 0", "orbel.diag.feedDrain"};

TEST(Cadence, TheClockRunsOnTheContextLoopFromInitializeToTerminate) {
  FakeRunLoop loop;
  LoopHost host(&loop);
  ProcessorPeer peer;
  auto* controller = new OrbelController();
  ASSERT_EQ(controller->initialize(&host), kResultOk);
  controller->connect(&peer);
  ASSERT_EQ(loop.timers.size(), 1u);
  EXPECT_EQ(loop.timers[0].milliseconds, 33u);  // 1/30 s
  EXPECT_TRUE(controller->cadenceClockRunning());

  loop.fireTimers();
  EXPECT_EQ(ids(peer), kTick);

  // The subscription polls with a reset at once; the next tick does not repeat it.
  const std::string subscribe = R"({"type":"orbel.diag.subscribe","feeds":["transport"]})";
  controller->handleBridgeMessage(subscribe.data(), subscribe.size());
  EXPECT_EQ(ids(peer), (Messages{kTick[0], kTick[1], "orbel.diag.transportPoll reset 1"}));
  peer.messages.clear();
  loop.fireTimers();
  EXPECT_EQ(ids(peer), kTick);

  controller->sendResetCounters();
  EXPECT_EQ(peer.messages.back().id, "orbel.diag.resetCounters");

  controller->disconnect(&peer);
  controller->terminate();
  EXPECT_TRUE(loop.timers.empty());
  EXPECT_FALSE(controller->cadenceClockStarted());
  controller->release();
  EXPECT_EQ(loop.refs, 1u);  // the host's loop is no longer held
}

TEST_F(BridgeTest, TheClockWaitsForALoopLentLaterAndLeavesItWhenItGoes) {
  // This host lends no loop in its context: the clock is started but idle.
  EXPECT_TRUE(controller->cadenceClockStarted());
  EXPECT_FALSE(controller->cadenceClockRunning());

  FakeRunLoop frameLoop;  // as a plug view finds it in its frame
  processClockScheduler().offer(&frameLoop, hostRunLoopFrom(&frameLoop));
  ASSERT_EQ(frameLoop.timers.size(), 1u);
  peer.messages.clear();
  frameLoop.fireTimers();
  EXPECT_EQ(ids(peer), kTick);

  processClockScheduler().withdraw(&frameLoop);
  EXPECT_TRUE(frameLoop.timers.empty());
  EXPECT_FALSE(controller->cadenceClockRunning());
  EXPECT_EQ(frameLoop.refs, 1u);
}

TEST_F(BridgeTest, CadenceIntervalFollowsTheSubscribedRate) {
  struct Case {
    const char* hz;  // null: no subscription
    double seconds;
  };
  const Case cases[] = {
      {nullptr, 1.0 / 30}, {"10", 0.1}, {"0.5", 1.0}, {"1000", 1.0 / 30}, {"0", 1.0 / 30}};
  for (const Case& c : cases) {
    if (c.hz)
      post(std::string(R"({"type":"orbel.diag.subscribe","feeds":["lifecycle"],"hz":)") + c.hz +
           "}");
    EXPECT_DOUBLE_EQ(controller->cadenceIntervalSeconds(), c.seconds) << (c.hz ? c.hz : "none");
  }
}

TEST_F(BridgeTest, ExportedFunctionsRefuseWhatIsNotALiveController) {
  EXPECT_EQ(orbelDiagnosticBridgeAbiVersion(), 2);
  const auto sink = [](void*, const char*, size_t) {};
  const std::string ready = R"({"type":"orbel.ready"})";
  orbel::hosting::HostApplication foreign;                       // answers no IEditController
  auto* otherController = new Steinberg::Vst::EditController();  // an edit controller, but not ours
  for (FUnknown* object :
       {static_cast<FUnknown*>(nullptr), static_cast<FUnknown*>(&foreign),
        static_cast<FUnknown*>(static_cast<IEditController*>(otherController))}) {
    EXPECT_EQ(orbelInstallDiagnosticBridgeSink(object, sink, nullptr), 0);
    EXPECT_EQ(orbelDeliverDiagnosticBridgeMessage(object, ready.data(), ready.size()), 0);
    EXPECT_EQ(orbelTickDiagnosticCadence(object), 0);
  }
  otherController->release();

  // Ours is reached through any of its interfaces; null data is refused.
  page.clear();
  for (FUnknown* face : {static_cast<FUnknown*>(static_cast<IEditController*>(controller)),
                         static_cast<FUnknown*>(static_cast<IMidiMapping*>(controller)),
                         static_cast<FUnknown*>(static_cast<IConnectionPoint*>(controller))})
    EXPECT_EQ(orbelDeliverDiagnosticBridgeMessage(face, ready.data(), ready.size()), 1);
  EXPECT_EQ(page.size(), 3u);
  EXPECT_EQ(
      orbelDeliverDiagnosticBridgeMessage(static_cast<IEditController*>(controller), nullptr, 0),
      0);

  peer.messages.clear();
  EXPECT_EQ(orbelTickDiagnosticCadence(static_cast<IEditController*>(controller)), 1);
  EXPECT_EQ(ids(peer), kTick);
}

TEST_F(BridgeTest, TheLastSinkInstalledReceivesTheAnnouncements) {
  struct Client {
    std::vector<std::string> received;
    static void take(void* self, const char* data, size_t length) {
      static_cast<Client*>(self)->received.emplace_back(data, length);
    }
  } first, second;
  FUnknown* object = static_cast<IEditController*>(controller);
  const std::string ready = R"({"type":"orbel.ready"})";
  const auto deliver = [&] {
    orbelDeliverDiagnosticBridgeMessage(object, ready.data(), ready.size());
  };

  page.clear();
  ASSERT_EQ(orbelInstallDiagnosticBridgeSink(object, &Client::take, &first),
            1);  // replaces the page's
  deliver();
  ASSERT_EQ(orbelInstallDiagnosticBridgeSink(object, &Client::take, &second), 1);
  deliver();
  EXPECT_EQ(first.received.size(), 1u);
  ASSERT_EQ(second.received.size(), 1u);
  EXPECT_EQ(second.received[0].rfind(R"({"type":"orbel.hello")", 0), 0u);
  EXPECT_TRUE(page.empty());

  // A web view attached later replaces the outside client; null removes a sink.
  controller->setBridgeSink([this](const std::string& json) { page.push_back(json); });
  deliver();
  EXPECT_EQ(second.received.size(), 1u);
  EXPECT_EQ(page.size(), 1u);
  ASSERT_EQ(orbelInstallDiagnosticBridgeSink(object, nullptr, nullptr), 1);
  EXPECT_FALSE(controller->hasBridgeSink());
}

TEST(CadenceClockExport, StartsOnlyWithACallbackAndTicksAtItsInterval) {
  FakeRunLoop loop;
  processClockScheduler().offer(&loop, hostRunLoopFrom(&loop));
  int ticks = 0;
  const auto count = [](void* context) { ++*static_cast<int*>(context); };
  EXPECT_EQ(orbelStartCadenceClock(nullptr, &ticks, 0.1), nullptr);
  EXPECT_TRUE(loop.timers.empty());

  void* zero = orbelStartCadenceClock(count, &ticks, 0);
  void* negative = orbelStartCadenceClock(count, &ticks, -2);
  void* tenth = orbelStartCadenceClock(count, &ticks, 0.1);
  ASSERT_EQ(loop.timers.size(), 3u);
  EXPECT_EQ(loop.timers[0].milliseconds, 33u);
  EXPECT_EQ(loop.timers[1].milliseconds, 33u);
  EXPECT_EQ(loop.timers[2].milliseconds, 100u);
  loop.fireTimers();
  EXPECT_EQ(ticks, 3);

  orbelStopCadenceClock(nullptr);
  for (void* clock : {zero, negative, tenth}) orbelStopCadenceClock(clock);
  EXPECT_TRUE(loop.timers.empty());
  processClockScheduler().withdraw(&loop);
}

}  // namespace
}  // namespace orbel::testhost
