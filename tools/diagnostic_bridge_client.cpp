#include "tools/diagnostic_bridge_client.h"

#include "tools/module_loader.h"

namespace orbel {

namespace {

template <typename Fn>
bool lookUp(const VstModule& module, const char* name, Fn& out, std::string& error) {
  out = reinterpret_cast<Fn>(module.symbol(name));
  if (out != nullptr) return true;
  error = std::string("the module exports no diagnostic bridge (") + name + " is missing)";
  return false;
}

}  // namespace

bool DiagnosticBridgeClient::resolve(const VstModule& module, std::string& error) {
  if (!lookUp(module, "orbelDiagnosticBridgeAbiVersion", abiVersion, error) ||
      !lookUp(module, "orbelInstallDiagnosticBridgeSink", installSink, error) ||
      !lookUp(module, "orbelDeliverDiagnosticBridgeMessage", deliver, error) ||
      !lookUp(module, "orbelTickDiagnosticCadence", tick, error))
    return false;
  const int32_t version = abiVersion();
  if (version != kAbiVersion) {
    error = "the module's diagnostic bridge has version " + std::to_string(version) +
            "; this probe speaks " + std::to_string(kAbiVersion);
    return false;
  }
  return true;
}

}  // namespace orbel
