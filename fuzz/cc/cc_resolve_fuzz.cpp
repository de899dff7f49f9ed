// Input: two bytes of map length (little endian), the map text, then the
// controller stream in 4-byte events {cc, channel, value, flags}. A map text
// that does not parse is used as raw binding records instead, so odd field
// values (non-finite ranges, unknown modes, bad parameter rows) are reached
// too.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ccmap/cc_activity_feed.h"
#include "ccmap/cc_map.h"
#include "ccmap/cc_resolve.h"

namespace {

using namespace orbel;

void check(bool ok) {
  if (!ok) std::abort();
}

void rawMap(const uint8_t* data, size_t size, CcMap& map) {
  constexpr size_t kRecord = 24;
  map.count = 0;
  for (size_t at = 0; at + kRecord <= size && map.count < kCcMapMaxBindings; at += kRecord) {
    const uint8_t* r = data + at;
    CcBinding& b = map.bindings[map.count++];
    b.paramIndex = static_cast<int8_t>(r[0]) % 13;  // includes -12..12
    b.cc = r[1] & 3;                                // few controllers, so bindings share them
    b.channel = r[2] % 18;
    b.curve = r[3] % 5;
    b.valueMode = r[4] % 6;
    b.takeover = r[5] % 4;
    b.enabled = (r[6] & 7) != 0;
    b.hasMin = r[6] & 8;
    b.hasMax = r[6] & 16;
    std::memcpy(&b.min, r + 8, sizeof(double));
    std::memcpy(&b.max, r + 16, sizeof(double));
  }
}

double currentValue(void* context, unsigned paramIndex) {
  check(paramIndex < ORBEL_PARAM_COUNT);
  return *static_cast<double*>(context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t mapLength = data[0] | static_cast<size_t>(data[1]) << 8;
  data += 2;
  size -= 2;
  if (mapLength > size) mapLength = size;

  static CcMap map;  // 64 bindings: too large to rebuild on the stack each run
  static CcMap other;
  if (!parseCcMapJson(reinterpret_cast<const char*>(data), mapLength, map)) {
    rawMap(data, mapLength, map);
  }
  check(map.count <= kCcMapMaxBindings);
  other = map;

  for (uint32_t i = 0; i < map.count; ++i) {
    const CcBinding& b = map.bindings[i];
    if (b.paramIndex < 0 || b.paramIndex >= static_cast<int32_t>(ORBEL_PARAM_COUNT)) continue;
    for (int v : {-1, 0, 63, 64, 127, 1000}) {
      const double n = ccApplyNormalized(b, ORBEL_PARAMS[b.paramIndex], v);
      check(n >= 0.0 && n <= 1.0);
    }
  }

  CcRouterState state;
  CcActivityFeed feed;
  CcResolution out[kCcMapMaxBindings];
  double current = 0.0;
  const uint8_t* stream = data + mapLength;
  const size_t events = (size - mapLength) / 4;
  for (size_t e = 0; e < events; ++e) {
    const uint8_t* ev = stream + e * 4;
    const uint8_t flags = ev[3];
    const int cc = ev[0] & 3;
    const int channel = ev[1] % 18;
    const int value = (flags & 0x80) ? static_cast<int8_t>(ev[2]) * 3 : ev[2] & 0x7F;
    switch ((flags >> 4) & 7) {
      case 0:
        current = ev[2] / 255.0;
        break;
      case 1:
        current = NAN;
        break;
      case 2:
        current = -INFINITY;
        break;
      case 3:
        current = 7.5;
        break;
      default:
        break;
    }
    const bool useCurrent = flags & 1;
    CcRouterState* st = (flags & 2) ? nullptr : &state;
    const CcMap& m = (flags & 4) ? other : map;  // switching maps resets the state
    const unsigned capacity = (flags & 8) ? 1 + ev[2] % 3 : kCcMapMaxBindings;
    const unsigned n = ccResolve(m, cc, channel, value, st, useCurrent ? currentValue : nullptr,
                                 &current, out, capacity);
    check(n <= capacity);
    for (unsigned i = 0; i < n; ++i) {
      check(out[i].paramIndex < ORBEL_PARAM_COUNT);
      check(out[i].normalized >= 0.0 && out[i].normalized <= 1.0);
    }
    feed.record(static_cast<int8_t>(ev[0]), static_cast<int8_t>(ev[1]), value);
  }
  CcActivityRecord records[4];
  const unsigned drained = feed.drain(1000, records, 4);
  check(drained <= 4);
  for (unsigned i = 0; i < drained; ++i) check(records[i].value <= 127 && records[i].cc < 128);
  return 0;
}
