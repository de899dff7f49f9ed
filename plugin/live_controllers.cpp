#include "plugin/live_controllers.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "plugin/controller.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Hosts may create and release controllers on more than one thread.
std::mutex liveMutex;
std::vector<OrbelController*>& live() {
  static std::vector<OrbelController*> controllers;
  return controllers;
}

}  // namespace

void addLiveController(OrbelController* controller) {
  std::lock_guard<std::mutex> lock(liveMutex);
  live().push_back(controller);
}

void removeLiveController(OrbelController* controller) {
  std::lock_guard<std::mutex> lock(liveMutex);
  auto& controllers = live();
  controllers.erase(std::remove(controllers.begin(), controllers.end(), controller),
                    controllers.end());
}

OrbelController* liveControllerOf(FUnknown* object) {
  if (object == nullptr) return nullptr;
  IEditController* asController = nullptr;
  if (object->queryInterface(IEditController::iid, reinterpret_cast<void**>(&asController)) !=
          kResultOk ||
      asController == nullptr)
    return nullptr;
  // Only the identity is needed: the caller holds the object.
  asController->release();
  std::lock_guard<std::mutex> lock(liveMutex);
  for (OrbelController* controller : live())
    if (static_cast<IEditController*>(controller) == asController) return controller;
  return nullptr;
}

}  // namespace orbel
