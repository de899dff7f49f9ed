// The module's exported entry points. Hosts call ModuleEntry with the handle
// they loaded the module under, GetPluginFactory to reach the classes, and
// ModuleExit before unloading. Entry and exit calls are counted: the module is
// initialised on the first balanced entry and de-initialised on the last exit.
#include <mutex>
#include <string>
#include <vector>

#include "banks/hosted_bank_fetcher.h"
#include "platform/child_reaper.h"
#include "platform/clock_scheduler.h"
#include "platform/module_path.h"
#include "plugin/factory.h"
#include "plugin/module_state.h"
#include "pluginterfaces/base/ipluginbase.h"

#define ORBEL_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace orbel {
namespace {

std::mutex moduleMutex;
int32_t moduleRefCounter = 0;       // entries not yet balanced by an exit
std::vector<void*> moduleHandles;   // every handle passed to ModuleEntry, until the last exit
void* firstModuleHandle = nullptr;  // the first handle seen; set once
char modulePath[2048] = {};         // bundle path of the loaded image
bool moduleInitialised = false;

// Any address inside this image identifies it to dladdr.
void addressMarker() {}

bool initModule() {
  moduleInitialised = true;
  return true;
}

bool deinitModule() {
  // The host may unload the module next: no thread of ours may still run
  // (a bank download is stopped and joined), no timer stay with its run loop.
  stopAllHostedBankFetches();
  reapChildProcessesNow();
  processClockScheduler().shutdown();
  moduleInitialised = false;
  return true;
}

}  // namespace

const char* moduleBundlePath() { return modulePath; }
void* moduleHandle() { return firstModuleHandle; }

}  // namespace orbel

ORBEL_MODULE_EXPORT bool ModuleEntry(void* handle) {
  using namespace orbel;
  if (!handle) return true;
  std::lock_guard<std::mutex> lock(moduleMutex);
  ++moduleRefCounter;
  moduleHandles.push_back(handle);
  if (!firstModuleHandle) {
    firstModuleHandle = handle;
    const std::string path = bundlePathForModulePath(
        modulePathForAddress(reinterpret_cast<const void*>(&addressMarker)));
    const size_t n = path.size() < sizeof(modulePath) ? path.size() : sizeof(modulePath) - 1;
    path.copy(modulePath, n);
    modulePath[n] = 0;
  }
  if (moduleRefCounter == 1) return initModule();
  return true;
}

ORBEL_MODULE_EXPORT bool ModuleExit() {
  using namespace orbel;
  std::lock_guard<std::mutex> lock(moduleMutex);
  // An exit without a matching entry is refused and leaves the count alone, so
  // a stray call cannot make the next entry skip initialisation.
  if (moduleRefCounter <= 0) return false;
  if (--moduleRefCounter == 0) {
    deinitModule();
    moduleHandles.clear();
  }
  return true;
}

ORBEL_MODULE_EXPORT Steinberg::IPluginFactory* GetPluginFactory() {
  return orbel::acquirePluginFactory();
}
