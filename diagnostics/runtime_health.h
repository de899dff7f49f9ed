// The runtime health report: one JSON text made from a snapshot of the
// diagnostic ring, which the processor sends to the controller.
#pragma once

#include <string>

#include "diagnostics/runtime_diagnostics.h"

namespace orbel {

// The whole report ("orbel-runtime-health/v1"). `failed` is set when the report
// is sent because set-up or activation failed. Null moduleId/version are
// written as "unknown".
std::string writeRuntimeHealthJson(const orbel_runtime_diagnostic_ring& ring, const char* moduleId,
                                   const char* version, double sampleRate, int maxBlockFrames,
                                   bool failed);

// Appends one record ("orbel-plugin-runtime-diagnostic/v1").
void appendRuntimeDiagnosticJson(std::string& out, const orbel_runtime_diagnostic& record,
                                 const char* moduleId, const char* version, double sampleRate,
                                 int maxBlockFrames);

}  // namespace orbel
