// The table of exactSine: sin and cos at 1025 points of the cycle, built when
// the module loads from the first quadrant by symmetry, so that the values at
// multiples of π/2 are exactly 0 and ±1.
#include "kernel/exact_sine.h"

#include <array>

namespace orbel {
namespace {

constexpr int kQuarter = EXACT_SINE_STEPS / 4;

ExactSineTable buildTable() {
  // m · 2π/1024 for m = 0 … 255, in extended precision and then rounded.
  const long double pi = 3.141592653589793238462643383279502884L;
  std::array<ExactSinePoint, kQuarter> quarter{};
  quarter[0] = {0.0, 1.0};
  for (int m = 1; m < kQuarter; ++m) {
    const long double a = pi * m / (2 * kQuarter);
    quarter[m] = {static_cast<double>(std::sin(a)), static_cast<double>(std::cos(a))};
  }
  ExactSineTable t{};
  for (int j = 0; j <= EXACT_SINE_STEPS; ++j) {
    const ExactSinePoint& q = quarter[j % kQuarter];
    switch ((j / kQuarter) % 4) {  // j = 1024 is a whole cycle: quadrant 0
      case 0:
        t.points[j] = {q.sine, q.cosine};
        break;
      case 1:
        t.points[j] = {q.cosine, 0.0 - q.sine};
        break;
      case 2:
        t.points[j] = {0.0 - q.sine, -q.cosine};
        break;
      default:
        t.points[j] = {-q.cosine, q.sine};
        break;
    }
  }
  return t;
}

}  // namespace

const ExactSineTable EXACT_SINE_TABLE = buildTable();

float exactSineCompiled(double phase) { return exactSine(phase); }
double exactSineDoubleCompiled(double phase) { return exactSineDouble(phase); }

}  // namespace orbel
