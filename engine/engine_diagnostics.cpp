// KernelEngine diagnostics: the main-thread list and the realtime ring that the
// audio thread fills without forming text, drained into the list later.
#include <cstdio>

#include "engine/kernel_engine.h"

namespace orbel {

void KernelEngine::recordDiagnostic(uint32_t code, uint8_t severity, uint8_t phase,
                                    const char* message, const char* detail) {
  std::lock_guard<std::mutex> lock(diagnosticsMutex_);
  recordDiagnosticLocked(code, severity, phase, message, detail);
}

void KernelEngine::recordDiagnosticLocked(uint32_t code, uint8_t severity, uint8_t phase,
                                          const char* message, const char* detail) {
  orbel_runtime_diagnostic_record(&diagnostics_, code, severity, phase, message, detail);
}

void KernelEngine::recordRealtimeDiagnostic(uint32_t code, uint8_t severity, uint8_t phase) {
  const uint32_t write = realtimeWrite_.load(std::memory_order_relaxed);
  const uint32_t read = realtimeRead_.load(std::memory_order_acquire);
  if (write - read < kRealtimeRingSize) {
    realtimeEntries_[write % kRealtimeRingSize] = RealtimeEntry{code, severity, phase, 0};
    realtimeWrite_.store(write + 1, std::memory_order_release);
  } else {
    realtimeOverflow_.fetch_add(1, std::memory_order_relaxed);
  }
}

uint32_t KernelEngine::pendingRealtimeDiagnostics() const {
  return realtimeWrite_.load(std::memory_order_acquire) -
         realtimeRead_.load(std::memory_order_relaxed);
}

EngineReport KernelEngine::drainReport() {
  drainRuntimeDiagnostics();
  std::lock_guard<std::mutex> lock(diagnosticsMutex_);
  return EngineReport{diagnostics_, hostRate_, maxBlockFrames_};
}

void KernelEngine::drainRuntimeDiagnostics() {
  std::lock_guard<std::mutex> lock(diagnosticsMutex_);
  // Taken first: an overflow means the ring was full, so its 32 entries alone
  // would fill the list and the overflow report would always be the one lost.
  // One slot is therefore kept for it.
  const uint32_t overflow = realtimeOverflow_.exchange(0, std::memory_order_acq_rel);
  uint32_t read = realtimeRead_.load(std::memory_order_relaxed);
  const uint32_t write = realtimeWrite_.load(std::memory_order_acquire);
  for (; read != write; ++read) {
    const RealtimeEntry entry = realtimeEntries_[read % kRealtimeRingSize];
    if (overflow != 0 && diagnostics_.count + 1 >= ORBEL_RUNTIME_DIAGNOSTIC_CAPACITY) {
      ++diagnostics_.nextSequence;  // recorded, but lost for want of room
      ++diagnostics_.dropped;
      continue;
    }
    const char* message = "runtime diagnostic observed on the audio callback";
    if (entry.code == ORBEL_DIAG_PROCESS_FAILED) {
      message = "audio process callback failed; output was cleared";
    } else if (entry.code == ORBEL_DIAG_RATE_ADAPTER_INIT_FAILED) {
      message = "sample-rate adapter failed; output was cleared";
    }
    recordDiagnosticLocked(entry.code, entry.severity, entry.phase, message, "audio callback");
  }
  realtimeRead_.store(read, std::memory_order_release);

  if (overflow != 0) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "dropped=%u; source=audio callback", overflow);
    recordDiagnosticLocked(ORBEL_DIAG_DIAGNOSTICS_OVERFLOW, ORBEL_DIAG_SEVERITY_WARNING,
                           ORBEL_DIAG_PHASE_PROCESS, "audio diagnostic queue overflowed", detail);
  }
}

}  // namespace orbel
