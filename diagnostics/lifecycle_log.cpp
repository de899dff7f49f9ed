#include "diagnostics/lifecycle_log.h"

#include <time.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "diagnostics/runtime_diagnostics.h"
#include "json/json_write.h"

namespace orbel {

namespace {

constexpr const char* kKindNames[] = {
    "created",
    "configured",
    "activated",
    "deactivated",
    "reset",
    "destroyed",
    "editorOpened",
    "editorClosed",
    "editorError",
    "stateSaved",
    "stateRestored",
    "presetLoaded",
    "presetSaved",
    "latencyChanged",
    "tailChanged",
    "tempoChanged",
    "timeSignatureChanged",
    "sampleRateChanged",
    "blockSizeChanged",
    "busLayoutChanged",
    "processModeChanged",
    "bypassChanged",
    "ccMapChanged",
    nullptr,
    "stimulus",
    "runtimeDiagnostic",
};
constexpr std::size_t kKindCount = sizeof kKindNames / sizeof kKindNames[0];

void appendInteger(std::string& out, int64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

// Reads a fixed text field without running past it.
void appendQuotedField(std::string& out, const char* field, std::size_t size) {
  char buf[64];
  const std::size_t n = strnlen(field, size < sizeof buf ? size : sizeof buf - 1);
  std::memcpy(buf, field, n);
  buf[n] = '\0';
  jsonAppendQuoted(out, buf);
}

template <typename EventAt>
void appendAnnouncement(std::string& out, uint32_t n, uint32_t dropped, EventAt eventAt) {
  out += "{\"type\":\"orbel.lifecycle\",\"events\":[";
  for (uint32_t i = 0; i < n; ++i) {
    if (i > 0) out += ",";
    writeDiagnosticLifecycleEventJson(out, eventAt(i));
  }
  out += "]";
  if (dropped > 0) {
    out += ",\"dropped\":";
    appendInteger(out, dropped);
  }
  out += "}";
}

}  // namespace

const char* diagnosticLifecycleKindName(DiagnosticLifecycleKind kind) {
  const auto value = static_cast<std::size_t>(kind);
  return value < kKindCount ? kKindNames[value] : nullptr;
}

bool diagnosticLifecycleKindFromName(const char* name, DiagnosticLifecycleKind& kind) {
  if (name == nullptr) return false;
  for (std::size_t i = 0; i < kKindCount; ++i) {
    if (kKindNames[i] != nullptr && std::strcmp(name, kKindNames[i]) == 0) {
      kind = static_cast<DiagnosticLifecycleKind>(i);
      return true;
    }
  }
  return false;
}

DiagnosticLifecycleDetail* DiagnosticLifecycleEvent::nextSlot(const char* name, uint8_t type) {
  if (detailCount >= kMaxDetails) return nullptr;
  DiagnosticLifecycleDetail& slot = details[detailCount++];
  slot = DiagnosticLifecycleDetail{};
  orbel_copy_truncated(slot.name, sizeof slot.name, name);
  slot.type = type;
  return &slot;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleEvent::addNumber(const char* name, double value) {
  if (DiagnosticLifecycleDetail* slot = nextSlot(name, DiagnosticLifecycleDetail::Number)) {
    slot->number = value;
  }
  return *this;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleEvent::addString(const char* name, const char* text) {
  if (DiagnosticLifecycleDetail* slot = nextSlot(name, DiagnosticLifecycleDetail::String)) {
    orbel_copy_truncated(slot->text, sizeof slot->text, text);
  }
  return *this;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleEvent::addBool(const char* name, bool value) {
  if (DiagnosticLifecycleDetail* slot = nextSlot(name, DiagnosticLifecycleDetail::Boolean)) {
    slot->boolean = value;
  }
  return *this;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleEvent::addNull(const char* name) {
  nextSlot(name, DiagnosticLifecycleDetail::Null);
  return *this;
}

void DiagnosticLifecycleEvent::clearDetails() {
  for (DiagnosticLifecycleDetail& slot : details) slot = DiagnosticLifecycleDetail{};
  detailCount = 0;
}

bool diagnosticMonotonicNowNs(int64_t& ns) {
  timespec ts{};
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
  ns = static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  return true;
}

DiagnosticLifecycleLog::DiagnosticLifecycleLog() {
  // Every slot starts cleared with atFrame -1 (the member defaults).
  int64_t now = 0;
  epochNs = diagnosticMonotonicNowNs(now) ? now : 0;
}

double DiagnosticLifecycleLog::nowMs() const {
  int64_t now = 0;
  if (!diagnosticMonotonicNowNs(now) || now <= epochNs) return 0.0;
  return static_cast<double>(now - epochNs) / 1000000.0;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleLog::record(DiagnosticLifecycleKind kind,
                                                         int64_t atFrame) {
  if (count >= kCapacity) {
    ++head;  // uint8_t: wraps at 256
    count = kCapacity - 1;
    ++dropped;
  }
  DiagnosticLifecycleEvent& event = events[(head + count) % kCapacity];
  event.clearDetails();
  event.seq = ++lastSeq;
  event.timeMs = nowMs();
  event.atFrame = atFrame;
  event.kind = kind;
  ++count;
  return event;
}

const DiagnosticLifecycleEvent& DiagnosticLifecycleLog::at(uint32_t index) const {
  if (index >= count) index = 0;
  return events[(head + index) % kCapacity];
}

void writeDiagnosticLifecycleEventJson(std::string& out, const DiagnosticLifecycleEvent& event) {
  out += "{\"seq\":";
  appendInteger(out, event.seq);
  out += ",\"timeMs\":";
  jsonAppendNumber(out, event.timeMs);  // null when not finite
  if (event.atFrame >= 0) {
    out += ",\"atFrame\":";
    appendInteger(out, event.atFrame);
  }
  out += ",\"kind\":";
  const char* name = diagnosticLifecycleKindName(event.kind);
  jsonAppendQuoted(out, name != nullptr ? name : "runtimeDiagnostic");
  const uint32_t details = event.detailCount < DiagnosticLifecycleEvent::kMaxDetails
                               ? event.detailCount
                               : DiagnosticLifecycleEvent::kMaxDetails;
  if (details > 0) {
    out += ",\"detail\":{";
    for (uint32_t i = 0; i < details; ++i) {
      const DiagnosticLifecycleDetail& d = event.details[i];
      if (i > 0) out += ",";
      appendQuotedField(out, d.name, sizeof d.name);
      out += ":";
      switch (d.type) {
        case DiagnosticLifecycleDetail::Number:
          jsonAppendNumber(out, d.number);
          break;
        case DiagnosticLifecycleDetail::String:
          appendQuotedField(out, d.text, sizeof d.text);
          break;
        case DiagnosticLifecycleDetail::Boolean:
          out += d.boolean ? "true" : "false";
          break;
        default:
          out += "null";
          break;
      }
    }
    out += "}";
  }
  out += "}";
}

bool writeDiagnosticLifecycleJson(std::string& out, const DiagnosticLifecycleEvent* events,
                                  uint32_t n, uint32_t dropped) {
  if (events == nullptr || n == 0) return false;
  if (n > DiagnosticLifecycleLog::kCapacity) n = DiagnosticLifecycleLog::kCapacity;
  appendAnnouncement(out, n, dropped,
                     [events](uint32_t i) -> const DiagnosticLifecycleEvent& { return events[i]; });
  return true;
}

bool writeDiagnosticLifecycleReplayJson(std::string& out, const DiagnosticLifecycleLog& log) {
  if (log.count == 0) return false;
  const uint32_t n =
      log.count < DiagnosticLifecycleLog::kCapacity ? log.count : DiagnosticLifecycleLog::kCapacity;
  appendAnnouncement(out, n, log.dropped,
                     [&log](uint32_t i) -> const DiagnosticLifecycleEvent& { return log.at(i); });
  return true;
}

}  // namespace orbel
