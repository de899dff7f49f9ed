#include "tools/module_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace orbel {

namespace {

using ModuleEntryFn = bool (*)(void*);
using ModuleExitFn = bool (*)();
using GetFactoryFn = Steinberg::IPluginFactory* (*)();

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string stripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string bundleBinaryPath(const std::string& bundlePath) {
  const std::string bundle = stripTrailingSlashes(bundlePath);
  const auto slash = bundle.find_last_of('/');
  std::string name = slash == std::string::npos ? bundle : bundle.substr(slash + 1);
  const std::string suffix = ".vst3";
  if (name.size() > suffix.size() &&
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
    name.resize(name.size() - suffix.size());
  return bundle + "/Contents/x86_64-linux/" + name + ".so";
}

VstModule::~VstModule() { unload(); }

bool VstModule::load(const std::string& bundlePath, std::string& error) {
  unload();
  if (!isDirectory(bundlePath)) {
    error = "no VST 3 bundle at '" + bundlePath + "'";
    return false;
  }
  binaryPath_ = bundleBinaryPath(bundlePath);
  if (!isFile(binaryPath_)) {
    error = "bundle '" + bundlePath + "' has no module binary '" + binaryPath_ + "'";
    return false;
  }
  // RTLD_LOCAL keeps the module's symbols (it carries its own copy of the SDK)
  // out of the global scope.
  handle_ = ::dlopen(binaryPath_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    error = "cannot load '" + binaryPath_ + "': " + (why ? why : "unknown dlopen error");
    return false;
  }
  auto entry = reinterpret_cast<ModuleEntryFn>(::dlsym(handle_, "ModuleEntry"));
  auto getFactory = reinterpret_cast<GetFactoryFn>(::dlsym(handle_, "GetPluginFactory"));
  if (entry == nullptr || getFactory == nullptr) {
    error = "'" + binaryPath_ + "' is not a VST 3 module (ModuleEntry or GetPluginFactory missing)";
    unload();
    return false;
  }
  if (!entry(handle_)) {
    error = "the module's ModuleEntry failed";
    unload();
    return false;
  }
  entered_ = true;
  factory_ = getFactory();
  if (factory_ == nullptr) {
    error = "the module's GetPluginFactory returned no factory";
    unload();
    return false;
  }
  return true;
}

void* VstModule::symbol(const char* name) const {
  return handle_ ? ::dlsym(handle_, name) : nullptr;
}

void VstModule::unload() {
  if (factory_ != nullptr) {
    factory_->release();
    factory_ = nullptr;
  }
  if (handle_ != nullptr) {
    if (entered_) {
      if (auto exitFn = reinterpret_cast<ModuleExitFn>(::dlsym(handle_, "ModuleExit"))) exitFn();
    }
    ::dlclose(handle_);
    handle_ = nullptr;
  }
  entered_ = false;
}

}  // namespace orbel
