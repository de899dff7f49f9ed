// The controller's cadence: a 1/30 s clock on the host's run loop whose tick
// polls the processor's transport feed and drains its other feeds, and the
// lifecycle replay for the feeds the page subscribed to.
#include <algorithm>
#include <string>

#include "platform/clock_scheduler.h"
#include "plugin/controller.h"
#include "plugin/diagnostic_bridge.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double kCadenceHz = 30.0;

void tickController(void* controller) { static_cast<OrbelController*>(controller)->tickCadence(); }

}  // namespace

void OrbelController::startCadenceClock() {
  if (cadenceClock != nullptr) return;
  cadenceClock = orbelStartCadenceClock(&tickController, this, 1.0 / kCadenceHz);
}

void OrbelController::stopCadenceClock() {
  if (cadenceClock == nullptr) return;
  orbelStopCadenceClock(cadenceClock);
  cadenceClock = nullptr;
}

bool OrbelController::cadenceClockRunning() const {
  return processClockScheduler().isRunning(static_cast<const ClockScheduler::Clock*>(cadenceClock));
}

void OrbelController::tickCadence() {
  pollTransport();
  drainProcessorFeeds();
}

void OrbelController::pollTransport() {
  // A reset stays pending until a poll carrying it could be sent.
  if (sendTransportPoll(transportResetPending)) transportResetPending = false;
}

void OrbelController::drainProcessorFeeds() { sendEmptyMessage("orbel.diag.feedDrain"); }

void OrbelController::sendResetCounters() { sendEmptyMessage("orbel.diag.resetCounters"); }

double OrbelController::cadenceIntervalSeconds() const {
  const double hz = maxFeedHz > 0 ? maxFeedHz : kCadenceHz;
  return 1.0 / std::clamp(hz, 1.0, kCadenceHz);
}

bool OrbelController::sendTransportPoll(bool reset) {
  IMessage* poll = allocateMessage();
  if (!poll) return false;
  poll->setMessageID("orbel.diag.transportPoll");
  if (IAttributeList* attrs = poll->getAttributes()) attrs->setInt("reset", reset ? 1 : 0);
  sendMessage(poll);
  poll->release();
  return true;
}

void OrbelController::sendEmptyMessage(const char* id) {
  IMessage* message = allocateMessage();
  if (!message) return;
  message->setMessageID(id);
  sendMessage(message);
  message->release();
}

void OrbelController::replayLifecycle() {
  if (!bridgeSink || (feedMask & kFeedLifecycle) == 0 || lifecycleLog.count == 0) return;
  std::string out;
  if (writeDiagnosticLifecycleReplayJson(out, lifecycleLog)) sendToUi(out);
}

}  // namespace orbel
