// Message images are outside data: any bytes of the right size must read into
// safe records, and every JSON writer must stay within the records.
#include <cstdint>
#include <cstring>
#include <string>

#include "diagnostics/host_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orbel;
  // Two host images and a transport image from the input, zero-filled.
  static uint8_t image[2 * kHostFactsImageSize + kTransportFactImageSize];
  const size_t n = size < sizeof image ? size : sizeof image;
  std::memset(image, 0, sizeof image);
  if (n > 0) std::memcpy(image, data, n);

  HostFacts before;
  HostFacts after;
  TransportFact fact;
  if (!hostFactsFromImage(image, kHostFactsImageSize, before)) __builtin_trap();
  if (!hostFactsFromImage(image + kHostFactsImageSize, kHostFactsImageSize, after))
    __builtin_trap();
  if (!transportFactFromImage(image + 2 * kHostFactsImageSize, kTransportFactImageSize, fact)) {
    __builtin_trap();
  }
  HostFacts ignored;
  if (size != kHostFactsImageSize && hostFactsFromImage(data, size, ignored)) __builtin_trap();

  std::string out;
  writeDiagnosticHostJson(out, before);
  writeDiagnosticHostJson(out, after);
  writeDiagnosticHostDeltaJson(out, before, after);
  diagnosticHostChangeKind(before, after);
  writeDiagnosticHostChangedJson(out, before, after, 1, 0.5);
  writeDiagnosticTransportJson(out, fact);
  fact.differsFrom(TransportFact{});
  return 0;
}
