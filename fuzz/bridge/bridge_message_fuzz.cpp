// The page's message text as it arrives: any bytes. Parsing never crashes or
// reads past the text, a refused text leaves the message untouched, and a
// parse is stable under the whitespace the grammar allows around the object
// and refuses anything after it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/bridge_message.h"

namespace {

bool sameMessage(const orbel::BridgeMessage& a, const orbel::BridgeMessage& b) {
  auto sameNumber = [](double x, double y) { return x == y || (x != x && y != y); };
  return a.type == b.type && a.path == b.path && a.id == b.id && a.source == b.source &&
         a.bankPath == b.bankPath && a.url == b.url && a.sha256 == b.sha256 &&
         a.instrument == b.instrument && sameNumber(a.value, b.value) && a.hasValue == b.hasValue &&
         sameNumber(a.note, b.note) && sameNumber(a.velocity, b.velocity) &&
         a.hasState == b.hasState && a.hasCcMap == b.hasCcMap && a.ccMap.count == b.ccMap.count &&
         a.hasPads == b.hasPads && a.pads.size() == b.pads.size() && a.diagOp == b.diagOp &&
         a.feeds == b.feeds && sameNumber(a.hz, b.hz) && a.stimulusKind == b.stimulusKind;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the end is caught.
  std::vector<char> text(data, data + size);
  const char* bytes = text.empty() ? "" : text.data();

  orbel::BridgeMessage sentinel;
  sentinel.type = "sentinel";
  orbel::BridgeMessage message = sentinel;
  const bool ok = orbel::parseBridgeMessage(bytes, size, message);
  if (!ok) {
    if (!sameMessage(message, sentinel)) std::abort();
    return 0;
  }
  if (message.ccMap.count > orbel::kCcMapMaxBindings) std::abort();
  if (message.pads.size() > orbel::kPadOverrideMaxRecords) std::abort();
  const uint8_t diagOp = message.type == "orbel.diag.subscribe"     ? orbel::kBridgeDiagSubscribe
                         : message.type == "orbel.diag.unsubscribe" ? orbel::kBridgeDiagUnsubscribe
                         : message.type == "orbel.diag.stimulus"    ? orbel::kBridgeDiagStimulus
                                                                    : orbel::kBridgeDiagNone;
  if (message.diagOp != diagOp) std::abort();

  std::string padded = " \r\n" + std::string(bytes, size) + "\t ";
  orbel::BridgeMessage again;
  if (!orbel::parseBridgeMessage(padded.data(), padded.size(), again) ||
      !sameMessage(again, message))
    std::abort();
  padded += "x";
  orbel::BridgeMessage trailing;
  if (orbel::parseBridgeMessage(padded.data(), padded.size(), trailing)) std::abort();
  return 0;
}
