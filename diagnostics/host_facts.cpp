#include "diagnostics/host_facts.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "diagnostics/runtime_diagnostics.h"
#include "json/json_write.h"

namespace orbel {

namespace {

void appendInteger(std::string& out, int64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, result.ptr);
}

void appendBool(std::string& out, bool value) { out += value ? "true" : "false"; }

// Fixed text fields are terminated by their writers, but never read past one.
std::size_t fieldLength(const char* field, std::size_t size) { return strnlen(field, size); }

void appendQuotedField(std::string& out, const char* field, std::size_t size) {
  char buf[sizeof(HostFacts::hostPath) + 1];
  const std::size_t n = fieldLength(field, size < sizeof buf ? size : sizeof buf - 1);
  std::memcpy(buf, field, n);
  buf[n] = '\0';
  jsonAppendQuoted(out, buf);
}

bool sameField(const char* a, const char* b, std::size_t size) {
  return std::strncmp(a, b, size) == 0;
}

// Two NaNs are the same value here: a host that keeps reporting an unusable
// number has not changed anything.
bool sameDouble(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

uint32_t busesHeld(const HostFacts& facts) {
  return facts.busCount < HostFacts::kMaxBuses ? facts.busCount : HostFacts::kMaxBuses;
}

bool sameBus(const HostBusFact& a, const HostBusFact& b) {
  return a.isInput == b.isInput && a.channels == b.channels && a.active == b.active &&
         sameField(a.id, b.id, sizeof a.id) && sameField(a.layout, b.layout, sizeof a.layout);
}

bool busesChanged(const HostFacts& before, const HostFacts& after) {
  if (before.busCount != after.busCount) return true;
  const uint32_t n = busesHeld(after);
  for (uint32_t i = 0; i < n; ++i) {
    if (!sameBus(before.buses[i], after.buses[i])) return true;
  }
  return false;
}

bool tailChanged(const HostFacts& before, const HostFacts& after) {
  return before.tailKind != after.tailKind || before.tailSamples != after.tailSamples;
}

bool bypassChanged(const HostFacts& before, const HostFacts& after) {
  return after.bypassKnown != 0 && (before.bypassKnown == 0 || before.bypassed != after.bypassed);
}

void appendTail(std::string& out, const HostFacts& facts) {
  if (facts.tailKind == HostFacts::kTailInfinite) {
    out += "\"infinite\"";
  } else if (facts.tailKind == HostFacts::kTailSamples) {
    appendInteger(out, facts.tailSamples);
  } else {
    out += "\"unreported\"";
  }
}

void appendBuses(std::string& out, const HostFacts& facts) {
  out += "[";
  const uint32_t n = busesHeld(facts);
  for (uint32_t i = 0; i < n; ++i) {
    const HostBusFact& bus = facts.buses[i];
    if (i > 0) out += ",";
    out += "{\"id\":";
    appendQuotedField(out, bus.id, sizeof bus.id);
    out += ",\"direction\":";
    out += bus.isInput != 0 ? "\"input\"" : "\"output\"";
    out += ",\"channels\":";
    appendInteger(out, bus.channels);
    out += ",\"active\":";
    appendBool(out, bus.active != 0);
    if (fieldLength(bus.layout, sizeof bus.layout) > 0) {
      out += ",\"layout\":";
      appendQuotedField(out, bus.layout, sizeof bus.layout);
    }
    out += "}";
  }
  out += "]";
}

// Appends "," before every member but the first.
struct MemberList {
  std::string& out;
  bool any = false;
  void key(const char* quotedKeyColon) {
    if (any) out += ",";
    any = true;
    out += quotedKeyColon;
  }
};

template <std::size_t N>
void terminate(char (&field)[N]) {
  field[N - 1] = '\0';
}

}  // namespace

HostFacts::HostFacts() {
  std::memset(static_cast<void*>(this), 0, sizeof *this);
  lastBlockFrames = -1;
  sampleSize = 32;
}

void HostFacts::addBus(const char* id, bool isInput, int32_t channels, bool active,
                       const char* layout) {
  if (busCount >= kMaxBuses) return;
  HostBusFact& bus = buses[busCount];
  std::memset(static_cast<void*>(&bus), 0, sizeof bus);
  orbel_copy_truncated(bus.id, sizeof bus.id, id);
  bus.isInput = isInput ? 1 : 0;
  bus.channels = channels;
  bus.active = active ? 1 : 0;
  orbel_copy_truncated(bus.layout, sizeof bus.layout, layout);
  ++busCount;
}

bool TransportFact::differsFrom(const TransportFact& other) const {
  return source != other.source || playing != other.playing || recording != other.recording ||
         looping != other.looping || hasTempo != other.hasTempo ||
         hasTimeSignature != other.hasTimeSignature || hasPosition != other.hasPosition ||
         hasLoop != other.hasLoop || canSetTempo != other.canSetTempo ||
         !sameDouble(tempo, other.tempo) || numerator != other.numerator ||
         denominator != other.denominator || !sameDouble(loopStartPpq, other.loopStartPpq) ||
         !sameDouble(loopEndPpq, other.loopEndPpq) || !sameDouble(sampleRate, other.sampleRate);
}

bool hostFactsFromImage(const void* data, std::size_t size, HostFacts& out) {
  if (data == nullptr || size != kHostFactsImageSize) return false;
  unsigned char bytes[kHostFactsImageSize];
  std::memcpy(bytes, data, sizeof bytes);
  // A bool object may only hold 0 or 1.
  unsigned char& bypassed = bytes[offsetof(HostFacts, bypassed)];
  bypassed = bypassed != 0 ? 1 : 0;
  std::memcpy(static_cast<void*>(&out), bytes, sizeof bytes);
  terminate(out.hostName);
  terminate(out.hostVersion);
  terminate(out.hostPath);
  if (out.busCount > HostFacts::kMaxBuses) out.busCount = HostFacts::kMaxBuses;
  for (HostBusFact& bus : out.buses) {
    terminate(bus.id);
    terminate(bus.layout);
  }
  return true;
}

bool transportFactFromImage(const void* data, std::size_t size, TransportFact& out) {
  if (data == nullptr || size != kTransportFactImageSize) return false;
  unsigned char bytes[kTransportFactImageSize];
  std::memcpy(bytes, data, sizeof bytes);
  for (std::size_t i = offsetof(TransportFact, playing); i <= offsetof(TransportFact, canSetTempo);
       ++i) {
    bytes[i] = bytes[i] != 0 ? 1 : 0;
  }
  std::memcpy(static_cast<void*>(&out), bytes, sizeof bytes);
  return true;
}

const char* diagnosticProcessModeName(uint8_t processMode) {
  switch (processMode) {
    case HostFacts::kProcessOffline:
      return "offline";
    case HostFacts::kProcessPrefetch:
      return "prefetch";
    default:
      return "realtime";
  }
}

const char* diagnosticTransportSourceName(uint8_t source) {
  switch (source) {
    case TransportFact::kSourceHost:
      return "host";
    case TransportFact::kSourceInternal:
      return "internal";
    default:
      return "none";
  }
}

const char* diagnosticValidatorName(uint8_t validatorHost) {
  switch (validatorHost) {
    case HostFacts::kValidatorPluginval:
      return "pluginval";
    case HostFacts::kValidatorClap:
      return "clap-validator";
    case HostFacts::kValidatorAuval:
      return "auval";
    case HostFacts::kValidatorSteinberg:
      return "steinberg-validator";
    case HostFacts::kValidatorOrbelProbe:
      return "orbel-probe";
    default:
      return nullptr;
  }
}

void writeDiagnosticHostJson(std::string& out, const HostFacts& facts) {
  out += "{";
  MemberList m{out};
  if (fieldLength(facts.hostName, sizeof facts.hostName) > 0) {
    m.key("\"hostName\":");
    appendQuotedField(out, facts.hostName, sizeof facts.hostName);
  }
  if (fieldLength(facts.hostVersion, sizeof facts.hostVersion) > 0) {
    m.key("\"hostVersion\":");
    appendQuotedField(out, facts.hostVersion, sizeof facts.hostVersion);
  }
  if (fieldLength(facts.hostPath, sizeof facts.hostPath) > 0) {
    m.key("\"hostPath\":");
    appendQuotedField(out, facts.hostPath, sizeof facts.hostPath);
  }
  if (const char* validator = diagnosticValidatorName(facts.validatorHost)) {
    m.key("\"validatorHost\":");
    jsonAppendQuoted(out, validator);
  }
  m.key("\"sampleRate\":");
  jsonAppendNumber(out, facts.sampleRate);
  m.key("\"maxBlockFrames\":");
  appendInteger(out, facts.maxBlockFrames);
  if (facts.lastBlockFrames >= 0) {
    m.key("\"lastBlockFrames\":");
    appendInteger(out, facts.lastBlockFrames);
  }
  m.key("\"processMode\":");
  jsonAppendQuoted(out, diagnosticProcessModeName(facts.processMode));
  m.key("\"sampleSize\":");
  appendInteger(out, facts.sampleSize);
  m.key("\"latencySamples\":");
  appendInteger(out, facts.latencySamples);
  m.key("\"tailSamples\":");
  appendTail(out, facts);
  if (facts.internalSampleRate > 0) {
    m.key("\"internalSampleRate\":");
    jsonAppendNumber(out, facts.internalSampleRate);
  }
  m.key("\"buses\":");
  appendBuses(out, facts);
  if (facts.bypassKnown != 0) {
    m.key("\"bypassed\":");
    appendBool(out, facts.bypassed);
  }
  out += "}";
}

bool writeDiagnosticHostDeltaJson(std::string& out, const HostFacts& before,
                                  const HostFacts& after) {
  std::string members;
  MemberList m{members};
  if (!sameDouble(before.sampleRate, after.sampleRate)) {
    m.key("\"sampleRate\":");
    jsonAppendNumber(members, after.sampleRate);
  }
  if (before.maxBlockFrames != after.maxBlockFrames) {
    m.key("\"maxBlockFrames\":");
    appendInteger(members, after.maxBlockFrames);
  }
  if (before.lastBlockFrames != after.lastBlockFrames && after.lastBlockFrames >= 0) {
    m.key("\"lastBlockFrames\":");
    appendInteger(members, after.lastBlockFrames);
  }
  if (before.processMode != after.processMode) {
    m.key("\"processMode\":");
    jsonAppendQuoted(members, diagnosticProcessModeName(after.processMode));
  }
  if (before.sampleSize != after.sampleSize) {
    m.key("\"sampleSize\":");
    appendInteger(members, after.sampleSize);
  }
  if (before.latencySamples != after.latencySamples) {
    m.key("\"latencySamples\":");
    appendInteger(members, after.latencySamples);
  }
  if (tailChanged(before, after)) {
    m.key("\"tailSamples\":");
    appendTail(members, after);
  }
  if (!sameDouble(before.internalSampleRate, after.internalSampleRate) &&
      after.internalSampleRate > 0) {
    m.key("\"internalSampleRate\":");
    jsonAppendNumber(members, after.internalSampleRate);
  }
  if (busesChanged(before, after)) {
    m.key("\"buses\":");
    appendBuses(members, after);
  }
  if (bypassChanged(before, after)) {
    m.key("\"bypassed\":");
    appendBool(members, after.bypassed);
  }
  if (!m.any) return false;
  out += "{";
  out += members;
  out += "}";
  return true;
}

const char* diagnosticHostChangeKind(const HostFacts& before, const HostFacts& after) {
  if (!sameDouble(before.sampleRate, after.sampleRate)) return "sampleRateChanged";
  if (before.maxBlockFrames != after.maxBlockFrames) return "blockSizeChanged";
  if (busesChanged(before, after)) return "busLayoutChanged";
  if (before.latencySamples != after.latencySamples) return "latencyChanged";
  if (tailChanged(before, after)) return "tailChanged";
  if (before.processMode != after.processMode) return "processModeChanged";
  if (bypassChanged(before, after)) return "bypassChanged";
  if (before.lastBlockFrames != after.lastBlockFrames) return "blockSizeChanged";
  if (before.sampleSize != after.sampleSize) return "configured";
  if (!sameDouble(before.internalSampleRate, after.internalSampleRate)) return "sampleRateChanged";
  return nullptr;
}

bool writeDiagnosticHostChangedJson(std::string& out, const HostFacts& before,
                                    const HostFacts& after, uint32_t seq, double timeMs) {
  std::string delta;
  if (!writeDiagnosticHostDeltaJson(delta, before, after)) return false;
  out += "{\"type\":\"orbel.hostChanged\",\"host\":";
  out += delta;
  if (const char* kind = diagnosticHostChangeKind(before, after)) {
    out += ",\"event\":{\"seq\":";
    appendInteger(out, seq);
    out += ",\"timeMs\":";
    jsonAppendNumber(out, timeMs);
    out += ",\"kind\":";
    jsonAppendQuoted(out, kind);
    out += "}";
  }
  out += "}";
  return true;
}

void writeDiagnosticTransportJson(std::string& out, const TransportFact& fact) {
  out += "{\"type\":\"orbel.transport\",\"frame\":{\"atFrame\":";
  jsonAppendNumber(out, static_cast<double>(fact.atFrame));
  out += ",\"source\":";
  jsonAppendQuoted(out, diagnosticTransportSourceName(fact.source));
  out += ",\"state\":{\"playing\":";
  appendBool(out, fact.playing);
  out += ",\"recording\":";
  appendBool(out, fact.recording);
  out += ",\"looping\":";
  appendBool(out, fact.looping);
  out += ",\"tempo\":";
  jsonAppendNumber(out, fact.tempo);
  out += ",\"timeSignature\":{\"numerator\":";
  jsonAppendNumber(out, static_cast<double>(fact.numerator));
  out += ",\"denominator\":";
  jsonAppendNumber(out, static_cast<double>(fact.denominator));
  out += "},\"ppqPosition\":";
  jsonAppendNumber(out, fact.ppqPosition);
  out += ",\"barPositionPpq\":";
  jsonAppendNumber(out, fact.barPositionPpq);
  out += ",\"loopStartPpq\":";
  if (fact.hasLoop) {
    jsonAppendNumber(out, fact.loopStartPpq);
  } else {
    out += "null";
  }
  out += ",\"loopEndPpq\":";
  if (fact.hasLoop) {
    jsonAppendNumber(out, fact.loopEndPpq);
  } else {
    out += "null";
  }
  out += ",\"sampleRate\":";
  if (fact.sampleRate > 0 && std::isfinite(fact.sampleRate)) {
    jsonAppendNumber(out, fact.sampleRate);
  } else {
    out += "null";
  }
  out += ",\"projectTimeSamples\":";
  jsonAppendNumber(out, static_cast<double>(fact.projectTimeSamples));
  out += "},\"capabilities\":{\"tempo\":";
  appendBool(out, fact.hasTempo);
  out += ",\"timeSignature\":";
  appendBool(out, fact.hasTimeSignature);
  out += ",\"position\":";
  appendBool(out, fact.hasPosition);
  out += ",\"loop\":";
  appendBool(out, fact.hasLoop);
  out += ",\"canSetTempo\":";
  appendBool(out, fact.canSetTempo);
  out += "}}}";
}

}  // namespace orbel
