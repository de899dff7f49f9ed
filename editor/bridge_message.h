// The editor page's messages to the controller: small JSON objects with a
// "type" and a few typed members. parseBridgeMessage reads one of them into a
// BridgeMessage; OrbelController::handleBridgeMessage acts on it.
//
// The reader is lenient the way the page needs: unknown members are skipped,
// members a type does not use are read and ignored, and the object- or
// array-valued members ("state", "map", "pads", "feeds", "stimulus") are
// skipped when given some other kind of value. A string where a number
// belongs (or the reverse) fails the whole message, as does anything that is
// not one well-formed object. Reading never goes past `length`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "banks/pad_overrides.h"
#include "ccmap/cc_map.h"
#include "json/json_read.h"
#include "state/state_document.h"

namespace orbel {

// BridgeMessage::diagOp, derived from the type.
enum : uint8_t {
  kBridgeDiagNone = 0,
  kBridgeDiagSubscribe = 1,    // "orbel.diag.subscribe"
  kBridgeDiagUnsubscribe = 2,  // "orbel.diag.unsubscribe"
  kBridgeDiagStimulus = 3,     // "orbel.diag.stimulus"
};

struct BridgeMessage {
  std::string type;        // "type", e.g. "orbel.setParam"
  std::string path;        // "path": parameter path
  std::string id;          // "id": preset or bank entry id
  std::string source;      // "source": bank source name
  std::string bankPath;    // "bankPath": folder of a user bank
  std::string url;         // "url": hosted bank address
  std::string sha256;      // "sha256": pinned digest of a hosted bank
  std::string instrument;  // "instrument": instrument or kit id inside a bank
  double value = 0.0;      // "value": plain parameter value
  bool hasValue = false;
  double note = 0.0;      // "note"
  double velocity = 0.0;  // "velocity"
  StateChunk state;       // "state": a state document given inline
  bool hasState = false;
  CcMap ccMap;               // "map"
  bool hasCcMap = false;     // the map held bindings (an empty list counts)
  SamplerPadOverrides pads;  // "pads"
  bool hasPads = false;
  uint8_t diagOp = kBridgeDiagNone;
  uint32_t feeds = 0;        // "feeds": bit set of diagnostic feeds
  double hz = 0.0;           // "hz": requested feed rate
  std::string stimulusKind;  // "stimulus"."kind"
};

// Parses exactly `length` bytes (no terminator needed). True when they hold
// one well-formed message object with only whitespace around it; `out` is
// then the message (every member not given is empty, zero or false). On
// failure `out` is left as it was.
bool parseBridgeMessage(const char* text, size_t length, BridgeMessage& out);

// The parameter index 0..10 of a path (exact, case-sensitive), or -1.
int32_t bridgeParamIndex(std::string_view path);

// A "feeds" array at the reader's position: the bits of the named feeds are
// ORed into `feeds` (unknown names add nothing). A non-string element or a
// trailing comma fails.
bool parseDiagnosticFeedArray(Reader& reader, uint32_t& feeds);

// A "stimulus" object at the reader's position: its "kind" string goes to
// `kind`, other members are skipped.
bool parseDiagnosticStimulus(Reader& reader, std::string& kind);

}  // namespace orbel
