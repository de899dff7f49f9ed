// Exact integer time keeping for the sample-rate adapter. The host rate is held
// as numerator / denominator; products of positions, 48000 and the
// denominator need 128-bit intermediates.
#pragma once

#include <cstdint>

namespace orbel {

__extension__ typedef unsigned __int128 u128;
__extension__ typedef __int128 i128;

inline uint64_t gcdEuclid(uint64_t a, uint64_t b) {
  while (b != 0) {
    const uint64_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// floor(a / b) for b > 0.
inline i128 floorDiv(i128 a, i128 b) {
  i128 q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}

}  // namespace orbel
