// What the controller tells the editor page. Every announcement is one JSON
// object with a "type", built by appending fixed fragments and values in a
// fixed member order, without whitespace, and handed to the bridge sink.
//
// Announcements whose bodies live elsewhere: "orbel.ccMapChanged"
// (ccmap/cc_map.h), "orbel.lifecycle" (diagnostics/lifecycle_log.h),
// "orbel.transport" and "orbel.hostChanged" (diagnostics/host_facts.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ccmap/cc_map.h"
#include "diagnostics/host_facts.h"
#include "params/param_table.h"
#include "diagnostics/preset_state_facts.h"

namespace orbel {

// The plug-in's identity as the page sees it.
inline constexpr const char* kAnnouncedPluginId = "music.orbel.mirel";
inline constexpr const char* kAnnouncedPluginName = "Mirel";
inline constexpr const char* kAnnouncedPluginVendor = "Orbel Music";
inline constexpr const char* kAnnouncedPluginVersion = "0.0.0";

// Everything a hello reports besides the fixed identity.
struct HelloFacts {
  const double* normalized = nullptr;  // ORBEL_PARAM_COUNT current values, by index
  const CcMap* ccMap = nullptr;        // null while no map was ever adopted
  std::string_view runtimeHealth;      // last health report (one JSON object), or empty
  const HostFacts* host = nullptr;     // null: no host block
  const PresetStateFacts* presetState = nullptr;
};

// Appends "orbel.hello": plug-in identity, every parameter (path, plain and
// normalized value), the (empty) factory preset list, the CC map and health
// report when there are any, then the diagnostic hello blocks.
void writeHelloJson(std::string& out, const HelloFacts& facts);

// Appends "orbel.paramChanged" for parameter `index`; false and nothing
// appended for an index above 10.
bool writeParamChangedJson(std::string& out, uint32_t index, double normalized);

// Appends "orbel.state" around a state document (inserted as it is).
void writeStateAnnouncementJson(std::string& out, std::string_view document);

// Appends "orbel.runtimeDiagnostics" around a health report (inserted as it is).
void writeRuntimeDiagnosticsJson(std::string& out, std::string_view report);

}  // namespace orbel
