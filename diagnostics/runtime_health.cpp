#include "diagnostics/runtime_health.h"

#include <charconv>
#include <cstring>

#include "json/json_write.h"

namespace orbel {

namespace {

void appendUnsigned(std::string& out, uint64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

void appendSigned(std::string& out, int64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

// Fixed-size text fields are terminated by the ring's writer, but a snapshot
// may come from anywhere: never read past the field.
void appendQuotedField(std::string& out, const char* field, std::size_t size) {
  char buf[ORBEL_RUNTIME_DIAGNOSTIC_MESSAGE_BYTES + 1];
  const std::size_t n = strnlen(field, size < sizeof buf ? size : sizeof buf - 1);
  std::memcpy(buf, field, n);
  buf[n] = '\0';
  jsonAppendQuoted(out, buf);
}

std::size_t heldCount(const orbel_runtime_diagnostic_ring& ring) {
  return ring.count < ORBEL_RUNTIME_DIAGNOSTIC_CAPACITY ? ring.count
                                                        : ORBEL_RUNTIME_DIAGNOSTIC_CAPACITY;
}

}  // namespace

void appendRuntimeDiagnosticJson(std::string& out, const orbel_runtime_diagnostic& record,
                                 const char* moduleId, const char* version, double sampleRate,
                                 int maxBlockFrames) {
  out += "{\"format\":\"orbel-plugin-runtime-diagnostic/v1\",\"schemaVersion\":1,\"sequence\":";
  appendUnsigned(out, record.sequence);
  out += ",\"code\":";
  jsonAppendQuoted(out, orbel_runtime_diagnostic_code_name(record.code));
  out += ",\"severity\":";
  jsonAppendQuoted(out, orbel_runtime_diagnostic_severity_name(record.severity));
  out += ",\"phase\":";
  jsonAppendQuoted(out, orbel_runtime_diagnostic_phase_name(record.phase));
  out += ",\"component\":\"shell\",\"message\":";
  appendQuotedField(out, record.message, sizeof record.message);
  out += ",\"recoverable\":";
  out += record.severity <= ORBEL_DIAG_SEVERITY_WARNING ? "true" : "false";
  out += ",\"identity\":{\"moduleId\":";
  jsonAppendQuoted(out, moduleId != nullptr ? moduleId : "unknown");
  out += ",\"version\":";
  jsonAppendQuoted(out, version != nullptr ? version : "unknown");
  out += ",\"target\":\"vst3\"},\"configuration\":{\"sampleRate\":";
  jsonAppendNumber(out, sampleRate);  // null when not finite
  out += ",\"maxBlockFrames\":";
  appendSigned(out, maxBlockFrames);
  out += "},\"occurrence\":{\"count\":1}";
  if (record.detail[0] != '\0') {
    out += ",\"context\":{\"detail\":";
    appendQuotedField(out, record.detail, sizeof record.detail);
    out += "}";
  }
  out += "}";
}

std::string writeRuntimeHealthJson(const orbel_runtime_diagnostic_ring& ring, const char* moduleId,
                                   const char* version, double sampleRate, int maxBlockFrames,
                                   bool failed) {
  const std::size_t count = heldCount(ring);
  bool anyError = false;
  bool anyWarning = false;
  const orbel_runtime_diagnostic* firstError = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    const orbel_runtime_diagnostic& record = ring.records[i];
    // Severities beyond fatal are reported as "error", so they count as errors.
    if (record.severity >= ORBEL_DIAG_SEVERITY_ERROR) anyError = true;
    if (record.severity == ORBEL_DIAG_SEVERITY_WARNING) anyWarning = true;
    if (firstError == nullptr && ring.firstErrorSequence != 0 &&
        record.sequence == ring.firstErrorSequence) {
      firstError = &record;
    }
  }
  const char* status = "healthy";
  if (failed || anyError) {
    status = "failed";
  } else if (ring.dropped > 0 || anyWarning) {
    status = "degraded";
  }

  std::string out;
  out.reserve(256 + 640 * (count + 1));
  out +=
      "{\"format\":\"orbel-runtime-health/"
      "v1\",\"schemaVersion\":1,\"instanceId\":\"vst3\",\"lifecycle\":";
  out += failed ? "\"failed\"" : "\"configured\"";
  out += ",\"status\":";
  jsonAppendQuoted(out, status);
  out += ",\"counters\":{\"diagnostics\":";
  appendUnsigned(out, count);
  out += ",\"diagnostics.dropped\":";
  appendUnsigned(out, ring.dropped);
  out += "},\"diagnostics\":[";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out += ",";
    appendRuntimeDiagnosticJson(out, ring.records[i], moduleId, version, sampleRate,
                                maxBlockFrames);
  }
  out += "]";
  if (firstError != nullptr) {
    out += ",\"firstError\":";
    appendRuntimeDiagnosticJson(out, *firstError, moduleId, version, sampleRate, maxBlockFrames);
  }
  out += "}";
  return out;
}

}  // namespace orbel
