// The controller's construction, initialize/terminate, views, host identity,
// preset facts and lifecycle bookkeeping.
#include "plugin/controller.h"

#include <cstdio>
#include <cstring>

#include "platform/clock_scheduler.h"
#include "platform/linux/host_run_loop.h"
#include "plugin/live_controllers.h"
#include "plugin/parameter.h"
#include "plugin/web_view_plug_view.h"
#include "pluginterfaces/vst/ivsthostapplication.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

uint8_t validatorHostForName(const char* hostName) {
  if (hostName == nullptr) return HostFacts::kValidatorNone;
  struct Mark {
    const char* first;
    const char* second;
    uint8_t validator;
  };
  // Tried in this order: a name holding several marks gets the first.
  static constexpr Mark kMarks[] = {
      {"pluginval", "Pluginval", HostFacts::kValidatorPluginval},
      {"auval", nullptr, HostFacts::kValidatorAuval},
      {"clap-validator", "clap_validator", HostFacts::kValidatorClap},
      {"Validator", "validator", HostFacts::kValidatorSteinberg},
      {"Orbel", "orbel", HostFacts::kValidatorOrbelProbe},
  };
  for (const Mark& mark : kMarks) {
    if (std::strstr(hostName, mark.first) != nullptr) return mark.validator;
    if (mark.second != nullptr && std::strstr(hostName, mark.second) != nullptr)
      return mark.validator;
  }
  return HostFacts::kValidatorNone;
}

OrbelController::OrbelController() { addLiveController(this); }

OrbelController::~OrbelController() {
  // A host that skips terminate must not leave a clock calling a dead object.
  stopCadenceClock();
  processClockScheduler().withdraw(this);
  removeLiveController(this);
}

FUnknown* OrbelController::createInstance(void* /*context*/) {
  return static_cast<IEditController*>(new OrbelController());
}

tresult PLUGIN_API OrbelController::initialize(FUnknown* context) {
  const tresult result = EditControllerEx1::initialize(context);
  if (result != kResultOk) return result;
  captureHostIdentity(context);
  // Ids are the table's row indices; the container takes ownership.
  for (const orbel_param_desc& desc : ORBEL_PARAMS)
    parameters.addParameter(new OrbelParameter(desc));
  refreshPresetState();
  emitLifecycle(DiagnosticLifecycleKind::Created);
  // Some hosts lend their UI run loop through the context; others only
  // through a plug view's frame, and the clock waits until then.
  if (std::shared_ptr<RunLoop> loop = hostRunLoopFrom(context))
    processClockScheduler().offer(this, loop);
  startCadenceClock();
  return kResultOk;
}

tresult PLUGIN_API OrbelController::terminate() {
  emitLifecycle(DiagnosticLifecycleKind::Destroyed);
  // A bank download still running no longer continues into a load.
  bankControl.cancelDownloads();
  stopCadenceClock();
  // The host's loop may go away with its context.
  processClockScheduler().withdraw(this);
  return EditControllerEx1::terminate();
}

void OrbelController::captureHostIdentity(FUnknown* context) {
  if (context == nullptr) return;
  IHostApplication* host = nullptr;
  if (context->queryInterface(IHostApplication::iid, reinterpret_cast<void**>(&host)) !=
          kResultOk ||
      !host)
    return;
  String128 name{};
  if (host->getName(name) == kResultOk) {
    // ASCII only: anything else reads as '?'. At most 127 characters.
    size_t n = 0;
    for (; n < 127 && name[n] != 0; ++n)
      hostFacts.hostName[n] = name[n] > 0 && name[n] < 128 ? static_cast<char>(name[n]) : '?';
    hostFacts.hostName[n] = 0;
    hostFacts.validatorHost = validatorHostForName(hostFacts.hostName);
  }
  host->release();
}

IPlugView* PLUGIN_API OrbelController::createView(FIDString name) {
  if (name == nullptr || std::strcmp(name, "editor") != 0) return nullptr;
  return createWebViewEditor(this, nullptr);
}

bool OrbelController::presetDirty() {
  if (!presetBaselineValid) return false;
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i)
    if (getParamNormalized(i) != presetBaseline[i]) return true;
  return false;
}

void OrbelController::refreshPresetState() {
  presetState.factoryCount = 0;
  presetState.dirty = presetDirty();
  presetState.userPresetsSupported = false;
  presetState.bank.reset();
  if (compiledBankCount() > 0) describeCompiledBank(0, presetState.bank);
}

DiagnosticLifecycleEvent& OrbelController::recordLifecycle(DiagnosticLifecycleKind kind,
                                                           int64_t atFrame) {
  return lifecycleLog.record(kind, atFrame);
}

void OrbelController::publishLastLifecycle() {
  if (!bridgeSink || (feedMask & kFeedLifecycle) == 0 || lifecycleLog.count == 0) return;
  std::string out;
  if (writeDiagnosticLifecycleJson(out, &lifecycleLog.newest(), 1, 0)) sendToUi(out);
}

void OrbelController::emitLifecycle(DiagnosticLifecycleKind kind, int64_t atFrame) {
  recordLifecycle(kind, atFrame);
  publishLastLifecycle();
}

}  // namespace orbel
