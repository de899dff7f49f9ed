// parseStateJson on arbitrary bytes. What parses, written and read again,
// must parse; from the second writing on the text must not change any more.
// (One round may still drop things the reader keeps but the writer leaves
// out, such as a pad record with an empty key.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "state/state_document.h"

namespace {

std::string rewrite(const orbel::StateChunk& c) {
  double params[orbel::kStateParamCount];
  for (int s = 0; s < orbel::kStateParamCount; ++s) params[s] = c.hasParam[s] ? c.params[s] : 0.0;
  orbel::BankStateRefOut bank{c.id,       c.bankVersion, c.sha256, c.source,
                              c.presetId, c.instrument,  c.locator};
  orbel::AuthoredStateOut authored{c.authoredBytes.data(), c.authoredBytes.size(),
                                   c.authoredVersion};
  return orbel::writeStateJson(
      params, c.variation, c.hasCcMap ? &c.ccMap : nullptr,
      c.hasAssetFault ? c.assetFault : orbel::kSamplerAssetNone,
      c.hasZoneProgram ? c.zoneProgram : orbel::kZoneLegacySingleZone, c.hasRef ? &bank : nullptr,
      c.hasPadOverrides ? &c.padOverrides : nullptr, c.hasAuthoredState ? &authored : nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orbel::StateChunk chunk;
  if (!orbel::parseStateJson(reinterpret_cast<const char*>(data), size, chunk)) return 0;
  const std::string first = rewrite(chunk);
  orbel::StateChunk again;
  if (!orbel::parseStateJson(first.data(), first.size(), again)) std::abort();
  const std::string second = rewrite(again);
  orbel::StateChunk third;
  if (!orbel::parseStateJson(second.data(), second.size(), third)) std::abort();
  if (rewrite(third) != second) std::abort();
  return 0;
}
