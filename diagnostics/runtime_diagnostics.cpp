#include "diagnostics/runtime_diagnostics.h"

#include <cstring>

namespace orbel {

namespace {

constexpr const char* kCodeNames[] = {
    nullptr,  // 0 has no row
    "runtime.kernel-create-failed",
    "runtime.rate-adapter-init-failed",
    "runtime.unsupported-processing-configuration",
    "runtime.process-failed",
    "runtime.suspicious-silence",
    "preset.bank-mismatch",
    "preset.processor-apply-failed",
    "state.decode-failed",
    "state.restore-failed",
    "editor.bundle-identity-mismatch",
    "editor.bridge-timeout",
    "install.artifact-stale",
    "install.duplicate-scan-candidate",
    "runtime.invalid-configuration",
    "runtime.engine-unavailable",
    "build.dependency-missing",
    "build.artifact-missing",
    "host.validator-missing",
    "runtime.realtime-violation",
    "runtime.nonfinite-audio",
    "runtime.callback-missing",
    "runtime.event-rejected",
    "runtime.host-connection-failed",
    "runtime.closed",
    "runtime.diagnostics-overflow",
    "runtime.unknown",
    "bank.missing",
    "bank.hash-mismatch",
};

constexpr const char* kSeverityNames[] = {"info", "warning", "error", "fatal"};

constexpr const char* kPhaseNames[] = {"build",  "package",   "install",  "scan",
                                       "load",   "configure", "activate", "process",
                                       "preset", "state",     "editor",   "shutdown"};

}  // namespace

void orbel_runtime_diagnostic_ring_init(orbel_runtime_diagnostic_ring* ring) {
  if (ring == nullptr) return;
  *ring = orbel_runtime_diagnostic_ring{};
}

std::size_t orbel_copy_truncated(char* out, std::size_t capacity, const char* text) {
  if (out == nullptr || capacity == 0) return 0;
  std::size_t n = 0;
  if (text != nullptr) {
    const std::size_t limit = capacity - 1;
    while (n < limit && text[n] != '\0') ++n;
    if (text[n] != '\0') {
      // Cut before a partial UTF-8 sequence: back off over continuation bytes,
      // then drop the lead byte whose sequence no longer fits.
      // A sequence is at most 4 bytes, so look back no further than 3; text
      // that is not UTF-8 at all is cut at the byte limit.
      std::size_t cut = n;
      while (cut > 0 && n - cut < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0u) == 0x80u) {
        --cut;
      }
      if ((static_cast<unsigned char>(text[cut]) & 0xC0u) != 0x80u) n = cut;
    }
    std::memcpy(out, text, n);
  }
  out[n] = '\0';
  return n;
}

bool orbel_runtime_diagnostic_record(orbel_runtime_diagnostic_ring* ring, uint32_t code,
                                     uint8_t severity, uint8_t phase, const char* message,
                                     const char* detail) {
  if (ring == nullptr) return false;
  const uint32_t sequence = ring->nextSequence++;
  if (ring->count >= ORBEL_RUNTIME_DIAGNOSTIC_CAPACITY) {
    ++ring->dropped;
    return false;
  }
  orbel_runtime_diagnostic& record = ring->records[ring->count];
  record.sequence = sequence;
  record.code = code;
  record.severity = severity;
  record.phase = phase;
  record.reserved[0] = 0;
  record.reserved[1] = 0;
  orbel_copy_truncated(record.message, sizeof record.message, message);
  orbel_copy_truncated(record.detail, sizeof record.detail, detail);
  ++ring->count;
  if (severity >= ORBEL_DIAG_SEVERITY_ERROR && ring->firstErrorSequence == 0) {
    ring->firstErrorSequence = sequence;
  }
  return true;
}

const char* orbel_runtime_diagnostic_code_name(uint32_t code) {
  constexpr uint32_t rows = sizeof kCodeNames / sizeof kCodeNames[0];
  if (code == 0 || code >= rows) return "runtime.unknown";
  return kCodeNames[code];
}

const char* orbel_runtime_diagnostic_severity_name(uint8_t severity) {
  if (severity >= sizeof kSeverityNames / sizeof kSeverityNames[0]) return "error";
  return kSeverityNames[severity];
}

const char* orbel_runtime_diagnostic_phase_name(uint8_t phase) {
  if (phase >= sizeof kPhaseNames / sizeof kPhaseNames[0]) return "process";
  return kPhaseNames[phase];
}

}  // namespace orbel
