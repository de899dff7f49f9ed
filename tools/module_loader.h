// Loads a VST 3 bundle the way a Linux host does: dlopen the bundle's
// binary, call its ModuleEntry with the library handle, ask it for the class
// factory, and on unload release the factory, call ModuleExit and dlclose.
#pragma once

#include <string>

#include "pluginterfaces/base/ipluginbase.h"

namespace orbel {

class VstModule {
public:
  VstModule() = default;
  ~VstModule();
  VstModule(const VstModule&) = delete;
  VstModule& operator=(const VstModule&) = delete;

  // `bundlePath` is a "<name>.vst3" folder; its binary is
  // Contents/x86_64-linux/<name>.so. On failure returns false with a one-line
  // reason in `error` and leaves nothing loaded.
  bool load(const std::string& bundlePath, std::string& error);
  void unload();

  Steinberg::IPluginFactory* factory() const { return factory_; }
  // An exported symbol of the loaded module, or null.
  void* symbol(const char* name) const;
  const std::string& binaryPath() const { return binaryPath_; }

private:
  void* handle_ = nullptr;
  Steinberg::IPluginFactory* factory_ = nullptr;
  bool entered_ = false;
  std::string binaryPath_;
};

// The binary path a bundle path names, without touching the file system
// beyond what is needed to strip trailing slashes.
std::string bundleBinaryPath(const std::string& bundlePath);

}  // namespace orbel
