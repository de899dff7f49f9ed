// The controller's bounded log of what happened to the plug-in instance
// (creation, editor, state, presets, host configuration, transport, reports),
// with the JSON the page receives event by event or as a whole replay.
// Main thread only; recording allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orbel {

enum class DiagnosticLifecycleKind : uint8_t {
  Created = 0,
  Configured = 1,
  Activated = 2,
  Deactivated = 3,
  Reset = 4,
  Destroyed = 5,
  EditorOpened = 6,
  EditorClosed = 7,
  EditorError = 8,
  StateSaved = 9,
  StateRestored = 10,
  PresetLoaded = 11,
  PresetSaved = 12,
  LatencyChanged = 13,
  TailChanged = 14,
  TempoChanged = 15,
  TimeSignatureChanged = 16,
  SampleRateChanged = 17,
  BlockSizeChanged = 18,
  BusLayoutChanged = 19,
  ProcessModeChanged = 20,
  BypassChanged = 21,
  CcMapChanged = 22,
  // 23 is unused
  Stimulus = 24,
  RuntimeDiagnostic = 25,
};

// The wire name of a kind ("created", "tempoChanged", ...), or nullptr for 23
// and values above 25.
const char* diagnosticLifecycleKindName(DiagnosticLifecycleKind kind);

// The kind with exactly this (case-sensitive) name; false for unknown names
// and for null, leaving `kind` untouched.
bool diagnosticLifecycleKindFromName(const char* name, DiagnosticLifecycleKind& kind);

struct DiagnosticLifecycleDetail {
  enum Type : uint8_t { Null = 0, Number = 1, String = 2, Boolean = 3 };

  char name[24];  // at most 23 characters kept
  uint8_t type;
  double number;
  bool boolean;
  char text[64];  // at most 63 characters kept
};

struct DiagnosticLifecycleEvent {
  static constexpr uint32_t kMaxDetails = 6;

  uint32_t seq = 0;      // 1 for the log's first event
  double timeMs = 0.0;   // since the log's epoch
  int64_t atFrame = -1;  // -1 when the event refers to no audio frame
  DiagnosticLifecycleKind kind = DiagnosticLifecycleKind::Created;
  DiagnosticLifecycleDetail details[kMaxDetails] = {};
  uint32_t detailCount = 0;

  // Each fills the next detail slot; a null name or text is stored empty and
  // over-long texts are cut. Once all six slots are used a call does nothing.
  DiagnosticLifecycleEvent& addNumber(const char* name, double value);
  DiagnosticLifecycleEvent& addString(const char* name, const char* text);
  DiagnosticLifecycleEvent& addBool(const char* name, bool value);
  DiagnosticLifecycleEvent& addNull(const char* name);

  // No details, every slot cleared.
  void clearDetails();

private:
  DiagnosticLifecycleDetail* nextSlot(const char* name, uint8_t type);
};

// A 256-event ring that overwrites its oldest event when full.
struct DiagnosticLifecycleLog {
  static constexpr uint32_t kCapacity = 256;

  DiagnosticLifecycleEvent events[kCapacity];
  uint8_t head = 0;      // slot of the oldest event (wraps at 256 by its type)
  uint32_t count = 0;    // events held, 0..256
  uint32_t dropped = 0;  // events overwritten since creation
  uint32_t lastSeq = 0;  // seq of the newest event
  int64_t epochNs = 0;   // monotonic clock at construction; 0 if unreadable

  DiagnosticLifecycleLog();

  // Milliseconds since the epoch; 0 when the clock cannot be read or does not
  // lie after the epoch.
  double nowMs() const;

  // Appends an event (overwriting the oldest when full) and returns it so the
  // caller can add details.
  DiagnosticLifecycleEvent& record(DiagnosticLifecycleKind kind, int64_t atFrame = -1);

  // The event `index` places after the oldest; an index at or beyond `count`
  // gives the oldest.
  const DiagnosticLifecycleEvent& at(uint32_t index) const;

  // The newest event (the oldest slot of an empty log).
  const DiagnosticLifecycleEvent& newest() const { return at(count > 0 ? count - 1 : 0); }
};

// Monotonic clock in nanoseconds; false when it cannot be read.
bool diagnosticMonotonicNowNs(int64_t& ns);

// Appends one event object.
void writeDiagnosticLifecycleEventJson(std::string& out, const DiagnosticLifecycleEvent& event);

// Appends an "orbel.lifecycle" announcement of `n` consecutive events (at most
// 256 are written); false and nothing appended for null events or n = 0.
bool writeDiagnosticLifecycleJson(std::string& out, const DiagnosticLifecycleEvent* events,
                                  uint32_t n, uint32_t dropped);

// Appends an announcement of the whole log, oldest first, with its dropped
// count; false and nothing appended for an empty log.
bool writeDiagnosticLifecycleReplayJson(std::string& out, const DiagnosticLifecycleLog& log);

}  // namespace orbel
