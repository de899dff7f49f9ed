#include "editor/bridge_message.h"

#include <utility>

#include "editor/diagnostic_blocks.h"
#include "params/param_table.h"

namespace orbel {

namespace {

// The byte a value starts with (whitespace skipped), 0 at the end.
char nextByte(Reader& reader) {
  skipWhitespace(reader);
  return reader.peek();
}

bool readText(Reader& reader, std::string& out) { return parseString(reader, &out); }

// "state": the object is walked as a top-level state document. Its extent is
// found first so that the document reader sees exactly the object's bytes and
// nothing after it.
bool readState(Reader& reader, BridgeMessage& message) {
  const char* begin = reader.cursor;
  Reader probe = reader;
  message.state = StateChunk{};  // a repeated key keeps its last value
  if (!skipValue(probe, 0)) return false;
  if (!parseStateJson(begin, static_cast<size_t>(probe.cursor - begin), message.state))
    return false;
  reader.cursor = probe.cursor;
  message.hasState = true;
  return true;
}

bool readMember(Reader& reader, const std::string& key, BridgeMessage& message) {
  const char c = nextByte(reader);
  if (key == "type") return readText(reader, message.type);
  if (key == "path") return readText(reader, message.path);
  if (key == "id") return readText(reader, message.id);
  if (key == "source") return readText(reader, message.source);
  if (key == "bankPath") return readText(reader, message.bankPath);
  if (key == "url") return readText(reader, message.url);
  if (key == "sha256") return readText(reader, message.sha256);
  if (key == "instrument") return readText(reader, message.instrument);
  if (key == "value") {
    if (!parseNumber(reader, &message.value)) return false;
    message.hasValue = true;
    return true;
  }
  if (key == "note") return parseNumber(reader, &message.note);
  if (key == "velocity") return parseNumber(reader, &message.velocity);
  if (key == "hz") return parseNumber(reader, &message.hz);
  if (key == "state" && c == '{') return readState(reader, message);
  if (key == "map" && (c == '{' || c == '[')) {
    bool present = false;
    if (!parseCcMapValue(reader, message.ccMap, present)) return false;
    message.hasCcMap = present;
    return true;
  }
  if (key == "pads" && c == '{') {
    if (!parsePadOverrideMap(reader, message.pads)) return false;
    message.hasPads = true;
    return true;
  }
  if (key == "feeds" && c == '[') {
    // A repeated key keeps its last value.
    message.feeds = 0;
    return parseDiagnosticFeedArray(reader, message.feeds);
  }
  if (key == "stimulus" && c == '{') {
    message.stimulusKind.clear();
    return parseDiagnosticStimulus(reader, message.stimulusKind);
  }
  // Unknown keys, and the object-valued keys given another kind of value.
  return skipValue(reader, 1);
}

uint8_t diagOpOfType(const std::string& type) {
  if (type == "orbel.diag.subscribe") return kBridgeDiagSubscribe;
  if (type == "orbel.diag.unsubscribe") return kBridgeDiagUnsubscribe;
  if (type == "orbel.diag.stimulus") return kBridgeDiagStimulus;
  return kBridgeDiagNone;
}

}  // namespace

int32_t bridgeParamIndex(std::string_view path) {
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i)
    if (path == ORBEL_PARAMS[i].path) return static_cast<int32_t>(i);
  return -1;
}

bool parseDiagnosticFeedArray(Reader& reader, uint32_t& feeds) {
  if (!consumeChar(reader, '[')) return false;
  if (consumeChar(reader, ']')) return true;
  std::string name;
  for (;;) {
    if (!parseString(reader, &name)) return false;
    feeds |= diagnosticFeedBit(name);
    const int sep = memberSeparator(reader, ']');
    if (sep < 0) return false;
    if (sep == 0) return true;
  }
}

bool parseDiagnosticStimulus(Reader& reader, std::string& kind) {
  if (!consumeChar(reader, '{')) return false;
  if (consumeChar(reader, '}')) return true;
  std::string key;
  for (;;) {
    if (!parseString(reader, &key)) return false;
    if (!consumeChar(reader, ':')) return false;
    if (key == "kind") {
      if (!parseString(reader, &kind)) return false;
    } else if (!skipValue(reader, 2)) {
      return false;
    }
    const int sep = memberSeparator(reader, '}');
    if (sep < 0) return false;
    if (sep == 0) return true;
  }
}

bool parseBridgeMessage(const char* text, size_t length, BridgeMessage& out) {
  if (text == nullptr) return false;
  // Read into a fresh message: a text that fails half way leaves nothing of
  // itself behind.
  BridgeMessage message;
  Reader reader(text, length);
  if (!consumeChar(reader, '{')) return false;
  if (!consumeChar(reader, '}')) {
    std::string key;
    for (;;) {
      if (!parseString(reader, &key)) return false;
      if (!consumeChar(reader, ':')) return false;
      if (!readMember(reader, key, message)) return false;
      const int sep = memberSeparator(reader, '}');
      if (sep < 0) return false;
      if (sep == 0) break;
    }
  }
  skipWhitespace(reader);
  if (!reader.atEnd()) return false;
  message.diagOp = diagOpOfType(message.type);
  out = std::move(message);
  return true;
}

}  // namespace orbel
