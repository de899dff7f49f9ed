// Checks the voice's sine against the C library for every single-precision
// phase in [0, 1) (1,065,353,216 of them): exactSine(p) must give the float
// f32(sin(2π·p)) bit for bit. Also reports how far the double it rounds lies
// from the library's double at most, in units of the last place. About half
// a minute on two cores; built with the benchmarks and run by hand (the
// kernel tests sample the same comparison). Prints a summary and the first
// differing phases; exits 1 when any phase differs.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "kernel/exact_sine.h"

namespace {

struct Tally {
  uint64_t checked = 0;
  uint64_t differ = 0;
  uint64_t maxUlps = 0;
  std::vector<uint32_t> examples;  // the first few differing phases
};

uint64_t bitsOf(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

void check(uint32_t from, uint32_t to, Tally& t) {
  for (uint32_t bits = from; bits < to; ++bits) {
    float phase;
    std::memcpy(&phase, &bits, sizeof phase);
    const double p = phase;
    const double library = std::sin(orbel::EXACT_SINE_TWO_PI * p);
    const float want = static_cast<float>(library);
    const float got = orbel::exactSineCompiled(p);
    ++t.checked;
    if (std::memcmp(&want, &got, sizeof want) != 0 && t.differ++ < 8) t.examples.push_back(bits);
    const double mine = orbel::exactSineDoubleCompiled(p);
    if (mine != library) {
      // Of the same sign the distance in units of the last place is the
      // difference of the bit patterns (also across a binade).
      const uint64_t a = bitsOf(mine), b = bitsOf(library);
      const uint64_t ulps = (a >> 63) == (b >> 63) ? (a > b ? a - b : b - a) : ~uint64_t{0};
      t.maxUlps = std::max(t.maxUlps, ulps);
    }
  }
}

}  // namespace

int main() {
  const uint32_t end = 0x3f800000u;  // the bits of 1.0f: every float below is in [0, 1)
  const unsigned threads = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
  std::vector<Tally> tallies(threads);
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < threads; ++i) {
    const uint32_t from = uint32_t(uint64_t(end) * i / threads);
    const uint32_t to = uint32_t(uint64_t(end) * (i + 1) / threads);
    workers.emplace_back(check, from, to, std::ref(tallies[i]));
  }
  for (auto& w : workers) w.join();
  Tally all;
  for (const Tally& t : tallies) {
    all.checked += t.checked;
    all.differ += t.differ;
    all.maxUlps = std::max(all.maxUlps, t.maxUlps);
    all.examples.insert(all.examples.end(), t.examples.begin(), t.examples.end());
  }
  std::printf("phases %llu, differing %llu, largest distance of the doubles %llu ulp\n",
              static_cast<unsigned long long>(all.checked),
              static_cast<unsigned long long>(all.differ),
              static_cast<unsigned long long>(all.maxUlps));
  for (uint32_t bits : all.examples) std::printf("  differs at phase bits 0x%08x\n", bits);
  return all.differ == 0 ? 0 : 1;
}
