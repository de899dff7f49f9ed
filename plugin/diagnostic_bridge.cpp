// The module's exported glue functions (plugin/diagnostic_bridge.h).
#include "plugin/diagnostic_bridge.h"

#include <string>

#include "editor/ui_root.h"
#include "platform/clock_scheduler.h"
#include "plugin/controller.h"
#include "plugin/live_controllers.h"

using orbel::OrbelController;

ORBEL_EXPORTED void* orbelStartCadenceClock(OrbelClockCallback callback, void* context,
                                            double intervalSeconds) {
  return orbel::processClockScheduler().start(callback, context, intervalSeconds);
}

ORBEL_EXPORTED void orbelStopCadenceClock(void* handle) {
  orbel::processClockScheduler().stop(static_cast<orbel::ClockScheduler::Clock*>(handle));
}

ORBEL_EXPORTED int32_t orbelDiagnosticBridgeAbiVersion() { return kOrbelDiagnosticBridgeAbi; }

ORBEL_EXPORTED int32_t orbelInstallDiagnosticBridgeSink(Steinberg::FUnknown* controller,
                                                        OrbelDiagnosticSink callback,
                                                        void* context) {
  OrbelController* target = orbel::liveControllerOf(controller);
  if (target == nullptr) return 0;
  if (callback == nullptr) {
    target->setBridgeSink({});
  } else {
    target->setBridgeSink([callback, context](const std::string& json) {
      callback(context, json.data(), json.size());
    });
  }
  return 1;
}

ORBEL_EXPORTED int32_t orbelDeliverDiagnosticBridgeMessage(Steinberg::FUnknown* controller,
                                                           const char* data, size_t length) {
  OrbelController* target = orbel::liveControllerOf(controller);
  if (target == nullptr || data == nullptr) return 0;
  target->handleBridgeMessage(data, length);
  return 1;
}

ORBEL_EXPORTED int32_t orbelTickDiagnosticCadence(Steinberg::FUnknown* controller) {
  OrbelController* target = orbel::liveControllerOf(controller);
  if (target == nullptr) return 0;
  target->tickCadence();
  return 1;
}

ORBEL_EXPORTED const char* orbelPluginUiRootForDiagnostics() {
  // Freed with the module when a host unloads it.
  static std::string root;
  root = orbel::pluginUiRoot();
  return root.c_str();
}
