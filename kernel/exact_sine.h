// The sine wave's sample f32(sin(2π·p)) for a phase p, without calling the C
// library: sin(a + r) from a table of 1025 points a of the cycle and short
// series in r, in double, then rounded to single precision.
//
// The double lies within one unit in its last place of the library's sin,
// and for every single-precision phase in [0, 1) both round to the same
// float: bench/sine_check.cpp compares all 1,065,353,216 of them (the result
// is in docs/voice.md), and the kernel tests sample the same comparison.
#pragma once

#include <cmath>
#include <cstdint>

namespace orbel {

struct ExactSinePoint {
  double sine;    // sin(2π·j/1024), rounded to double
  double cosine;  // cos(2π·j/1024)
};

inline constexpr int EXACT_SINE_STEPS = 1024;  // table points per cycle

struct ExactSineTable {
  ExactSinePoint points[EXACT_SINE_STEPS + 1];  // j = 0 … 1024
};

// Built when the module loads.
extern const ExactSineTable EXACT_SINE_TABLE;

// 2π as the voice writes it (the double nearest to 2π).
inline constexpr double EXACT_SINE_TWO_PI = 6.283185307179586;

inline float exactSineSlow(double phase) {
  return static_cast<float>(std::sin(EXACT_SINE_TWO_PI * phase));
}

// sin(2π·phase) in double for phase in [0, 1), x = 2π·phase rounded first
// (as the library is asked for sin x).
inline double exactSineDouble(double phase) {
  const double x = EXACT_SINE_TWO_PI * phase;
  const int j = static_cast<int>(phase * EXACT_SINE_STEPS + 0.5);
  // 2π/1024 = STEP_HI + STEP_LO + STEP_LO2, the first two with 33
  // significant bits: j·STEP_HI and j·STEP_LO are exact, and so is
  // x − j·STEP_HI (the two lie within a factor of two of each other), so r
  // keeps its relative precision even at phase 0.5, where sin x is 1.2e-16.
  constexpr double STEP_HI = 0x1.921fb544p-8;
  constexpr double STEP_LO = 0x1.0b4611a6p-42;
  constexpr double STEP_LO2 = 0x1.3198a2e037073p-77;
  const double r = ((x - j * STEP_HI) - j * STEP_LO) - j * STEP_LO2;  // |r| ≤ π/1024 + tiny
  const double r2 = r * r;
  // sin r − r and cos r − 1 to r⁵ and r⁴; the next terms stay below 2⁻⁶⁰
  // of the result.
  const double sinMinusR = r * r2 * (-1.0 / 6 + r2 * (1.0 / 120));
  const double cosMinusOne = r2 * (-0.5 + r2 * (1.0 / 24));
  const ExactSinePoint& a = EXACT_SINE_TABLE.points[j];
  // sin(a + r) = sin a · cos r + cos a · sin r, the large terms added last.
  return a.sine + (a.cosine * r + (a.sine * cosMinusOne + a.cosine * sinMinusR));
}

// f32(sin(2π · phase)); phases outside [0, 1) go to the library.
inline float exactSine(double phase) {
  if (!(phase >= 0.0 && phase < 1.0)) return exactSineSlow(phase);
  return static_cast<float>(exactSineDouble(phase));
}

// The same two, compiled with the kernel's floating-point flags, for the
// check tool and the tests.
float exactSineCompiled(double phase);
double exactSineDoubleCompiled(double phase);

}  // namespace orbel
