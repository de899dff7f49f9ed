// What the probe's host transport reports in each block's process context.
#pragma once

#include <cstdint>

namespace orbel {

struct TransportSpec {
  double tempo = 120.0;
  int32_t numerator = 4;
  int32_t denominator = 4;
  bool playing = true;  // the position only moves while playing
};

}  // namespace orbel
