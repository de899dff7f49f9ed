// Structured runtime diagnostic records and the fixed ring that keeps them.
// The engine fills the ring on its main-thread side (realtime code queues small
// code/severity/phase entries that the engine drains into it); the processor
// copies the ring whole and turns the snapshot into the health report.
// The ring is a plain value and is not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orbel {

inline constexpr uint32_t ORBEL_RUNTIME_DIAGNOSTIC_CAPACITY = 32;
inline constexpr std::size_t ORBEL_RUNTIME_DIAGNOSTIC_MESSAGE_BYTES = 192;  // 191 + terminator
inline constexpr std::size_t ORBEL_RUNTIME_DIAGNOSTIC_DETAIL_BYTES = 128;   // 127 + terminator

// Severities (orbel_runtime_diagnostic::severity).
enum : uint8_t {
  ORBEL_DIAG_SEVERITY_INFO = 0,
  ORBEL_DIAG_SEVERITY_WARNING = 1,
  ORBEL_DIAG_SEVERITY_ERROR = 2,
  ORBEL_DIAG_SEVERITY_FATAL = 3,
};

// Phases (orbel_runtime_diagnostic::phase).
enum : uint8_t {
  ORBEL_DIAG_PHASE_BUILD = 0,
  ORBEL_DIAG_PHASE_PACKAGE = 1,
  ORBEL_DIAG_PHASE_INSTALL = 2,
  ORBEL_DIAG_PHASE_SCAN = 3,
  ORBEL_DIAG_PHASE_LOAD = 4,
  ORBEL_DIAG_PHASE_CONFIGURE = 5,
  ORBEL_DIAG_PHASE_ACTIVATE = 6,
  ORBEL_DIAG_PHASE_PROCESS = 7,
  ORBEL_DIAG_PHASE_PRESET = 8,
  ORBEL_DIAG_PHASE_STATE = 9,
  ORBEL_DIAG_PHASE_EDITOR = 10,
  ORBEL_DIAG_PHASE_SHUTDOWN = 11,
};

// Codes (orbel_runtime_diagnostic::code).
enum : uint32_t {
  ORBEL_DIAG_KERNEL_CREATE_FAILED = 1,
  ORBEL_DIAG_RATE_ADAPTER_INIT_FAILED = 2,
  ORBEL_DIAG_UNSUPPORTED_PROCESSING_CONFIGURATION = 3,
  ORBEL_DIAG_PROCESS_FAILED = 4,
  ORBEL_DIAG_SUSPICIOUS_SILENCE = 5,
  ORBEL_DIAG_PRESET_BANK_MISMATCH = 6,
  ORBEL_DIAG_PRESET_PROCESSOR_APPLY_FAILED = 7,
  ORBEL_DIAG_STATE_DECODE_FAILED = 8,
  ORBEL_DIAG_STATE_RESTORE_FAILED = 9,
  ORBEL_DIAG_EDITOR_BUNDLE_IDENTITY_MISMATCH = 10,
  ORBEL_DIAG_EDITOR_BRIDGE_TIMEOUT = 11,
  ORBEL_DIAG_INSTALL_ARTIFACT_STALE = 12,
  ORBEL_DIAG_INSTALL_DUPLICATE_SCAN_CANDIDATE = 13,
  ORBEL_DIAG_INVALID_CONFIGURATION = 14,
  ORBEL_DIAG_ENGINE_UNAVAILABLE = 15,
  ORBEL_DIAG_BUILD_DEPENDENCY_MISSING = 16,
  ORBEL_DIAG_BUILD_ARTIFACT_MISSING = 17,
  ORBEL_DIAG_HOST_VALIDATOR_MISSING = 18,
  ORBEL_DIAG_REALTIME_VIOLATION = 19,
  ORBEL_DIAG_NONFINITE_AUDIO = 20,
  ORBEL_DIAG_CALLBACK_MISSING = 21,
  ORBEL_DIAG_EVENT_REJECTED = 22,
  ORBEL_DIAG_HOST_CONNECTION_FAILED = 23,
  ORBEL_DIAG_CLOSED = 24,
  ORBEL_DIAG_DIAGNOSTICS_OVERFLOW = 25,
  ORBEL_DIAG_UNKNOWN = 26,
  ORBEL_DIAG_BANK_MISSING = 27,
  ORBEL_DIAG_BANK_HASH_MISMATCH = 28,
};

struct orbel_runtime_diagnostic {
  uint32_t sequence;  // the ring's running number when recorded (first record 1)
  uint32_t code;
  uint8_t severity;
  uint8_t phase;
  uint8_t reserved[2];                                   // always 0
  char message[ORBEL_RUNTIME_DIAGNOSTIC_MESSAGE_BYTES];  // always terminated
  char detail[ORBEL_RUNTIME_DIAGNOSTIC_DETAIL_BYTES];    // always terminated; empty for none
};

// Copied whole by value; a default-constructed ring is a fresh, empty ring.
struct orbel_runtime_diagnostic_ring {
  uint32_t version = 1;
  uint32_t nextSequence = 1;
  uint32_t dropped = 0;             // records lost because the ring was full
  uint32_t firstErrorSequence = 0;  // first stored record of severity >= error, 0 for none
  uint32_t count = 0;               // records held, 0..32, oldest first
  orbel_runtime_diagnostic records[ORBEL_RUNTIME_DIAGNOSTIC_CAPACITY] = {};
};

// Resets a ring to the state of a freshly made one.
void orbel_runtime_diagnostic_ring_init(orbel_runtime_diagnostic_ring* ring);

// Records one diagnostic by the ring rules: takes nextSequence (and advances it,
// also when the record is lost); stores at index `count` while there is room,
// otherwise counts it in `dropped` (the ring never overwrites); the first stored
// record of severity >= error sets firstErrorSequence. Null message or detail
// reads as empty; texts are truncated (never inside a UTF-8 sequence) and
// always terminated. Returns true when the record was stored.
// Allocates nothing and takes no lock.
bool orbel_runtime_diagnostic_record(orbel_runtime_diagnostic_ring* ring, uint32_t code,
                                     uint8_t severity, uint8_t phase, const char* message,
                                     const char* detail);

// Names as they appear in reports. Unknown codes name "runtime.unknown",
// unknown severities "error", unknown phases "process". Never null.
const char* orbel_runtime_diagnostic_code_name(uint32_t code);
const char* orbel_runtime_diagnostic_severity_name(uint8_t severity);
const char* orbel_runtime_diagnostic_phase_name(uint8_t phase);

// Copies `text` (null reads as empty) into `out`, truncated to capacity - 1 bytes
// without splitting a UTF-8 sequence, and terminates it. Returns the length.
std::size_t orbel_copy_truncated(char* out, std::size_t capacity, const char* text);

}  // namespace orbel
