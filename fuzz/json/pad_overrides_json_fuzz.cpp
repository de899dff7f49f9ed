// parseSamplerPadOverridesJson on arbitrary bytes; what parses respects the
// limits and survives a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "banks/pad_overrides.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orbel::SamplerPadOverrides list;
  if (!orbel::parseSamplerPadOverridesJson(reinterpret_cast<const char*>(data), size, list))
    return 0;
  if (list.size() > orbel::kPadOverrideMaxRecords) std::abort();
  for (const auto& record : list) {
    if (record.mask == 0 || record.pad.size() > orbel::kPadOverrideMaxKeyBytes) std::abort();
  }
  std::string first;
  orbel::writeSamplerPadOverridesJson(first, list);
  orbel::SamplerPadOverrides again;
  if (!orbel::parseSamplerPadOverridesJson(first.data(), first.size(), again)) std::abort();
  std::string second;
  orbel::writeSamplerPadOverridesJson(second, again);
  if (second != first) std::abort();
  return 0;
}
