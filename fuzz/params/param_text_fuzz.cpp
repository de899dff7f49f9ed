// Any text a host passes to fromString must give false or a normalized value
// in 0..1, and the display text of that value must read back.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "params/param_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orbel;
  const std::string text(reinterpret_cast<const char*>(data), size);  // may hold NULs: cut there
  std::vector<char16_t> wide(size / 2 + 1, u'\0');
  for (size_t i = 0; i + 1 < size; i += 2)
    wide[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  for (const orbel_param_desc& desc : ORBEL_PARAMS) {
    double value = -7.0;
    if (orbel_param_from_text(&desc, text.c_str(), &value)) {
      if (!(value >= 0.0 && value <= 1.0)) std::abort();
      const std::string shown = orbel_param_to_text(&desc, value);
      double again = -7.0;
      if (!orbel_param_from_text(&desc, shown.c_str(), &again)) std::abort();
      if (!(again >= 0.0 && again <= 1.0)) std::abort();
    } else if (value != -7.0) {
      std::abort();  // failure must leave the output alone
    }
    double wideValue = -7.0;
    if (orbel_param_from_utf16(&desc, wide.data(), &wideValue) &&
        !(wideValue >= 0.0 && wideValue <= 1.0)) {
      std::abort();
    }
    char16_t shown16[128];
    orbel_param_to_utf16(&desc, value, shown16, 128);
  }
  // The input's first bytes as a raw normalized or plain value (NaN, inf, ...).
  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    for (const orbel_param_desc& desc : ORBEL_PARAMS) {
      const double plain = orbel_param_to_plain(&desc, raw);
      if (!(plain >= desc.minValue && plain <= desc.maxValue)) std::abort();
      const double normalized = orbel_param_normalize(&desc, raw);
      if (!(normalized >= 0.0 && normalized <= 1.0)) std::abort();
      (void)orbel_param_to_text(&desc, raw);
    }
  }
  return 0;
}
