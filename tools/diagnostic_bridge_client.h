// A module's exported diagnostic bridge, as an outside client reaches it:
// the functions are looked up by their unmangled names and called with the
// controller as any of its interfaces. The probe declares the signatures
// itself; it never links the plug-in's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pluginterfaces/base/funknown.h"

namespace orbel {

class VstModule;

struct DiagnosticBridgeClient {
  using Sink = void (*)(void* context, const char* data, std::size_t length);

  static constexpr int32_t kAbiVersion = 2;

  int32_t (*abiVersion)() = nullptr;
  int32_t (*installSink)(Steinberg::FUnknown* controller, Sink callback, void* context) = nullptr;
  int32_t (*deliver)(Steinberg::FUnknown* controller, const char* data,
                     std::size_t length) = nullptr;
  int32_t (*tick)(Steinberg::FUnknown* controller) = nullptr;

  // False (with a reason) when a function is missing or the module speaks
  // another version of the bridge.
  bool resolve(const VstModule& module, std::string& error);
};

}  // namespace orbel
