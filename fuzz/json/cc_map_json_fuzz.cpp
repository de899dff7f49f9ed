// parseCcMapJson on arbitrary bytes; a map that parses survives a write and
// a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ccmap/cc_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orbel::CcMap map;
  if (!orbel::parseCcMapJson(reinterpret_cast<const char*>(data), size, map)) return 0;
  if (map.count > orbel::kCcMapMaxBindings) std::abort();
  std::string first;
  orbel::writeCcMapJson(first, map);
  orbel::CcMap again;
  if (!orbel::parseCcMapJson(first.data(), first.size(), again)) std::abort();
  std::string second;
  orbel::writeCcMapJson(second, again);
  if (second != first || again.count != map.count) std::abort();
  return 0;
}
