#include "ccmap/cc_resolve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <optional>
#include <vector>

namespace orbel {
namespace {

constexpr double kCutoffSpan = 20000.0 - 20.0;

CcBinding bind(int cc, uint32_t param, uint8_t curve = kCcCurveLinear,
               uint8_t mode = kCcValueAbsolute, uint8_t takeover = kCcTakeoverNone) {
  CcBinding b;
  b.cc = static_cast<uint8_t>(cc);
  b.paramIndex = static_cast<int32_t>(param);
  b.curve = curve;
  b.valueMode = mode;
  b.takeover = takeover;
  return b;
}

CcBinding withRange(CcBinding b, std::optional<double> min, std::optional<double> max) {
  b.hasMin = min.has_value();
  b.min = min.value_or(0.0);
  b.hasMax = max.has_value();
  b.max = max.value_or(0.0);
  return b;
}

CcMap mapOf(std::initializer_list<CcBinding> bindings) {
  CcMap map;
  for (const CcBinding& b : bindings) map.bindings[map.count++] = b;
  return map;
}

double readCurrent(void* context, unsigned) { return *static_cast<double*>(context); }

// One control change; `current` null means the router gets no callback.
std::vector<CcResolution> resolve(const CcMap& map, int value, CcRouterState* state,
                                  double* current = nullptr, int cc = 20, int channel = 1,
                                  unsigned capacity = 8) {
  CcResolution out[8];
  const unsigned n = ccResolve(map, cc, channel, value, state, current ? readCurrent : nullptr,
                               current, out, capacity);
  return std::vector<CcResolution>(out, out + n);
}

// The single result of a control change, or nothing.
std::optional<double> single(const CcMap& map, int value, CcRouterState* state,
                             double* current = nullptr) {
  const auto r = resolve(map, value, state, current);
  EXPECT_LE(r.size(), 1u);
  if (r.empty()) return std::nullopt;
  return r[0].normalized;
}

// ---- ccApplyNormalized ------------------------------------------------------

TEST(CcApplyNormalized, CurvesRangesAndKinds) {
  const double t64 = 64.0 / 127.0;
  const CcBinding cutoff = bind(1, ORBEL_PARAM_FILTER_CUTOFF);
  const CcBinding gain = bind(1, ORBEL_PARAM_MASTER_GAIN);
  struct Case {
    const char* what;
    CcBinding binding;
    uint32_t param;
    int value;
    double expected;
  } cases[] = {
      {"linear top", cutoff, ORBEL_PARAM_FILTER_CUTOFF, 127, 1.0},
      {"linear bottom", cutoff, ORBEL_PARAM_FILTER_CUTOFF, 0, 0.0},
      {"value below 0 clamps", cutoff, ORBEL_PARAM_FILTER_CUTOFF, -40, 0.0},
      {"value above 127 clamps", cutoff, ORBEL_PARAM_FILTER_CUTOFF, 300, 1.0},
      {"inverted range at 0", withRange(cutoff, 1000.0, 500.0), ORBEL_PARAM_FILTER_CUTOFF, 0,
       (1000.0 - 20.0) / kCutoffSpan},
      {"inverted range at 127", withRange(cutoff, 1000.0, 500.0), ORBEL_PARAM_FILTER_CUTOFF, 127,
       (500.0 - 20.0) / kCutoffSpan},
      {"only min given", withRange(cutoff, 10020.0, std::nullopt), ORBEL_PARAM_FILTER_CUTOFF, 0,
       10000.0 / kCutoffSpan},
      {"range wider than parameter", withRange(gain, -2.0, 3.0), ORBEL_PARAM_MASTER_GAIN, 0, 0.0},
      {"exp", bind(1, ORBEL_PARAM_FILTER_CUTOFF, kCcCurveExp), ORBEL_PARAM_FILTER_CUTOFF, 64,
       t64 * t64},
      {"log", bind(1, ORBEL_PARAM_MASTER_GAIN, kCcCurveLog), ORBEL_PARAM_MASTER_GAIN, 64,
       std::sqrt(t64)},
      {"s-curve middle", bind(1, ORBEL_PARAM_MASTER_GAIN, kCcCurveSCurve), ORBEL_PARAM_MASTER_GAIN,
       64, t64 * t64 * (3 - 2 * t64)},
      {"s-curve bottom", bind(1, ORBEL_PARAM_MASTER_GAIN, kCcCurveSCurve), ORBEL_PARAM_MASTER_GAIN,
       0, 0.0},
      {"s-curve top", bind(1, ORBEL_PARAM_MASTER_GAIN, kCcCurveSCurve), ORBEL_PARAM_MASTER_GAIN,
       127, 1.0},
      {"unknown curve is linear", bind(1, ORBEL_PARAM_MASTER_GAIN, 9), ORBEL_PARAM_MASTER_GAIN, 64,
       t64},
      {"list is not quantized", bind(1, ORBEL_PARAM_OSC_TYPE), ORBEL_PARAM_OSC_TYPE, 64, t64},
      {"list range", withRange(bind(1, ORBEL_PARAM_OSC_TYPE), 1.0, 2.0), ORBEL_PARAM_OSC_TYPE, 127,
       2.0 / 3.0},
      {"octave", bind(1, ORBEL_PARAM_OSC_OCTAVE), ORBEL_PARAM_OSC_OCTAVE, 127, 1.0},
      // A document may hold "nan" or "inf" bounds: the parameter's own bound
      // stands in for them.
      {"NaN min", withRange(cutoff, NAN, std::nullopt), ORBEL_PARAM_FILTER_CUTOFF, 0, 0.0},
      {"infinite max", withRange(cutoff, std::nullopt, INFINITY), ORBEL_PARAM_FILTER_CUTOFF, 127,
       1.0},
      // hi - lo overflows here; the result must still follow the knob.
      {"huge bounds below middle", withRange(gain, -1e308, 1e308), ORBEL_PARAM_MASTER_GAIN, 63,
       0.0},
      {"huge bounds above middle", withRange(gain, -1e308, 1e308), ORBEL_PARAM_MASTER_GAIN, 64,
       1.0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(ccApplyNormalized(c.binding, ORBEL_PARAMS[c.param], c.value), c.expected, 1e-12)
        << c.what;
  }
}

TEST(CcApplyNormalized, ToggleAndDegenerateParameters) {
  orbel_param_desc toggle = ORBEL_PARAMS[ORBEL_PARAM_MASTER_GAIN];
  toggle.kind = ORBEL_PARAM_KIND_TOGGLE;
  const CcBinding b = bind(1, 0);
  EXPECT_EQ(ccApplyNormalized(b, toggle, 63), 0.0);  // plain 0.496
  EXPECT_EQ(ccApplyNormalized(b, toggle, 64), 1.0);  // plain 0.504

  orbel_param_desc oneOption = ORBEL_PARAMS[ORBEL_PARAM_OSC_TYPE];
  oneOption.optionCount = 1;
  EXPECT_EQ(ccApplyNormalized(b, oneOption, 127), 0.0);

  orbel_param_desc empty = ORBEL_PARAMS[ORBEL_PARAM_MASTER_GAIN];
  empty.maxValue = empty.minValue;
  EXPECT_EQ(ccApplyNormalized(b, empty, 127), 0.0);
}

// ---- matching -----------------------------------------------------------------

TEST(CcResolve, MatchesControllerChannelAndUsableBindings) {
  CcBinding onChannel3 = bind(20, ORBEL_PARAM_MASTER_GAIN);
  onChannel3.channel = 3;
  CcBinding disabled = bind(20, ORBEL_PARAM_MASTER_GAIN);
  disabled.enabled = false;
  struct Case {
    const char* what;
    CcBinding binding;
    int cc;
    int channel;
    bool answers;
  } cases[] = {
      {"any channel, channel 1", bind(20, ORBEL_PARAM_MASTER_GAIN), 20, 1, true},
      {"any channel, channel 16", bind(20, ORBEL_PARAM_MASTER_GAIN), 20, 16, true},
      {"channel 3 on 3", onChannel3, 20, 3, true},
      {"channel 3 ignores 4", onChannel3, 20, 4, false},
      {"other controller", bind(21, ORBEL_PARAM_MASTER_GAIN), 20, 1, false},
      {"controller 20 + 256", bind(20, ORBEL_PARAM_MASTER_GAIN), 276, 1, false},
      {"disabled", disabled, 20, 1, false},
      {"parameter 11", bind(20, 11), 20, 1, false},
      {"parameter -1", bind(20, static_cast<uint32_t>(-1)), 20, 1, false},
  };
  for (const Case& c : cases) {
    const CcMap map = mapOf({c.binding});
    const auto r = resolve(map, 127, nullptr, nullptr, c.cc, c.channel);
    ASSERT_EQ(r.size(), c.answers ? 1u : 0u) << c.what;
    if (c.answers) {
      EXPECT_EQ(r[0].paramIndex, ORBEL_PARAM_MASTER_GAIN) << c.what;
      EXPECT_EQ(r[0].normalized, 1.0) << c.what;
    }
  }
}

TEST(CcResolve, CapacityOrderAndOutputBounds) {
  const CcMap map = mapOf({bind(20, ORBEL_PARAM_FILTER_CUTOFF), bind(20, ORBEL_PARAM_MASTER_GAIN),
                           bind(21, ORBEL_PARAM_OSC_DETUNE)});
  auto both = resolve(map, 0, nullptr);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0].paramIndex, ORBEL_PARAM_FILTER_CUTOFF);
  EXPECT_EQ(both[1].paramIndex, ORBEL_PARAM_MASTER_GAIN);

  auto first = resolve(map, 0, nullptr, nullptr, 20, 1, 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].paramIndex, ORBEL_PARAM_FILTER_CUTOFF);

  CcResolution out[1];
  EXPECT_EQ(ccResolve(map, 20, 1, 0, nullptr, nullptr, nullptr, nullptr, 4), 0u);
  EXPECT_EQ(ccResolve(map, 20, 1, 0, nullptr, nullptr, nullptr, out, 0), 0u);

  // A corrupt count never reads past the 64 bindings.
  CcMap corrupt = mapOf({});
  for (CcBinding& b : corrupt.bindings) b = bind(20, ORBEL_PARAM_MASTER_GAIN);
  corrupt.count = 1000;
  CcResolution many[100];
  EXPECT_EQ(ccResolve(corrupt, 20, 1, 0, nullptr, nullptr, nullptr, many, 100), 64u);
}

// ---- relative modes ----------------------------------------------------------

TEST(CcResolve, RelativeModesStepFromTheCurrentPosition) {
  // Gain at exactly position 40 of 127.
  double current = 40.0 / 127.0;
  struct Case {
    uint8_t mode;
    int value;
    std::optional<int> position;  // expected new knob position; none = skipped
  } cases[] = {
      {kCcValueRelativeSignedBit, 65, 41},
      {kCcValueRelativeSignedBit, 70, 46},
      {kCcValueRelativeSignedBit, 1, 39},
      {kCcValueRelativeSignedBit, 63, 0},  // -63 clamps at the bottom
      {kCcValueRelativeSignedBit, 64, std::nullopt},
      {kCcValueRelativeSignedBit, 0, std::nullopt},
      {kCcValueRelativeBinaryOffset, 65, 41},
      {kCcValueRelativeBinaryOffset, 63, 39},
      {kCcValueRelativeBinaryOffset, 127, 103},
      {kCcValueRelativeBinaryOffset, 0, 0},
      {kCcValueRelativeBinaryOffset, 64, std::nullopt},
      {kCcValueRelativeTwosComplement, 1, 41},
      {kCcValueRelativeTwosComplement, 63, 103},
      {kCcValueRelativeTwosComplement, 127, 39},
      {kCcValueRelativeTwosComplement, 65, 0},
      {kCcValueRelativeTwosComplement, 64, std::nullopt},
      {kCcValueRelativeTwosComplement, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    const CcMap map = mapOf({bind(20, ORBEL_PARAM_MASTER_GAIN, kCcCurveLinear, c.mode)});
    const auto r = single(map, c.value, nullptr, &current);
    ASSERT_EQ(r.has_value(), c.position.has_value()) << int(c.mode) << " " << c.value;
    if (r) {
      EXPECT_DOUBLE_EQ(*r, *c.position / 127.0) << int(c.mode) << " " << c.value;
    }
  }
}

TEST(CcResolve, PositionSearchPrefersTheLowestOfEqualPositions) {
  // Range -1..2 on gain: positions 0..42 all clamp to 0. From 0 a step up
  // starts at the first of them, so it stays on the plateau.
  const CcMap map = mapOf({withRange(
      bind(20, ORBEL_PARAM_MASTER_GAIN, kCcCurveLinear, kCcValueRelativeBinaryOffset), -1.0, 2.0)});
  double current = 0.0;
  EXPECT_EQ(*single(map, 65, nullptr, &current), 0.0);
  EXPECT_NEAR(*single(map, 64 + 43, nullptr, &current), 2.0 / 127.0, 1e-12);  // -1 + 3 * 43 / 127
}

TEST(CcResolve, RelativeWithoutCallbackWalksFromWhatItSent) {
  const CcMap map =
      mapOf({bind(20, ORBEL_PARAM_FILTER_CUTOFF, kCcCurveExp, kCcValueRelativeBinaryOffset)});
  const CcBinding& b = map.bindings[0];
  const orbel_param_desc& cutoff = ORBEL_PARAMS[ORBEL_PARAM_FILTER_CUTOFF];
  CcRouterState state;
  // Unknown start counts as position 0; then each step follows the last value
  // sent, through the curve.
  EXPECT_EQ(single(map, 70, &state), ccApplyNormalized(b, cutoff, 6));
  EXPECT_EQ(single(map, 70, &state), ccApplyNormalized(b, cutoff, 12));
  EXPECT_EQ(single(map, 60, &state), ccApplyNormalized(b, cutoff, 8));
  // Without a state every step starts from 0 again.
  EXPECT_EQ(single(map, 70, nullptr), ccApplyNormalized(b, cutoff, 6));
  EXPECT_EQ(single(map, 70, nullptr), ccApplyNormalized(b, cutoff, 6));
}

// ---- toggle ------------------------------------------------------------------

TEST(CcResolve, ToggleActsOnRisingEdges) {
  const CcMap map =
      mapOf({withRange(bind(20, ORBEL_PARAM_MASTER_GAIN, kCcCurveExp, kCcValueToggle), 0.2, 0.9)});
  struct Walk {
    std::vector<int> values;
    std::vector<double> results;
  } walks[] = {
      {{0, 127, 127}, {0.9}},
      {{127, 0, 127}, {0.9, 0.2}},
      {{127, 63, 64, 100, 0, 127}, {0.9, 0.2, 0.9}},
      {{10, 63}, {}},
  };
  for (const Walk& w : walks) {
    CcRouterState state;
    std::vector<double> got;
    for (int v : w.values) {
      for (const CcResolution& r : resolve(map, v, &state)) got.push_back(r.normalized);
    }
    ASSERT_EQ(got.size(), w.results.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], w.results[i], 1e-12);
  }

  // With the parameter's value known, the side it is closer to decides
  // (the range has no curve applied).
  double current = 0.95;
  EXPECT_NEAR(*single(map, 127, nullptr, &current), 0.2, 1e-12);
  current = 0.5;
  EXPECT_NEAR(*single(map, 127, nullptr, &current), 0.9, 1e-12);
  // Stateless: every value of 64 or more acts.
  EXPECT_TRUE(single(map, 127, nullptr).has_value());
  EXPECT_TRUE(single(map, 127, nullptr).has_value());
}

// ---- pickup ------------------------------------------------------------------

TEST(CcResolve, PickupWaitsUntilTheKnobPassesTheParameter) {
  const CcMap map = mapOf(
      {bind(20, ORBEL_PARAM_MASTER_GAIN, kCcCurveLinear, kCcValueAbsolute, kCcTakeoverPickup)});
  double current = 0.5;
  CcRouterState state;
  EXPECT_FALSE(single(map, 10, &state, &current));
  EXPECT_FALSE(single(map, 20, &state, &current));
  EXPECT_DOUBLE_EQ(*single(map, 100, &state, &current), 100.0 / 127.0);  // crossed 0.5
  current = 100.0 / 127.0;
  EXPECT_DOUBLE_EQ(*single(map, 5, &state, &current), 5.0 / 127.0);  // caught: follows
  EXPECT_DOUBLE_EQ(*single(map, 6, &state, &current), 6.0 / 127.0);

  struct Walk {
    const char* what;
    double current;
    std::vector<int> values;
    int firstResultAt;  // index into values, -1 for none
  } walks[] = {
      {"exact position", 40.0 / 127.0, {30, 40, 41}, 1},
      {"crossing downwards", 40.0 / 127.0, {100, 90, 20}, 2},
      {"standing still beside it", 40.0 / 127.0, {39, 39}, -1},
      {"stays above", 40.0 / 127.0, {127, 41, 100, 41}, -1},
  };
  for (const Walk& w : walks) {
    CcRouterState s;
    double c = w.current;
    int first = -1;
    for (size_t i = 0; i < w.values.size(); ++i) {
      if (single(map, w.values[i], &s, &c) && first < 0) first = static_cast<int>(i);
    }
    EXPECT_EQ(first, w.firstResultAt) << w.what;
  }
}

TEST(CcResolve, PickupWithoutKnownValueJumpsThenTracks) {
  const CcMap map = mapOf(
      {bind(20, ORBEL_PARAM_MASTER_GAIN, kCcCurveLinear, kCcValueAbsolute, kCcTakeoverPickup)});
  // No state: nothing to remember, so it jumps.
  double current = 0.5;
  EXPECT_DOUBLE_EQ(*single(map, 10, nullptr, &current), 10.0 / 127.0);
  // A NaN from the host counts as unknown: jump.
  double nan = NAN;
  CcRouterState state;
  EXPECT_DOUBLE_EQ(*single(map, 10, &state, &nan), 10.0 / 127.0);
  // State but no callback: the first value jumps (nothing known yet); the
  // knob then starts from the value it sent, so it keeps following.
  CcRouterState own;
  EXPECT_DOUBLE_EQ(*single(map, 10, &own), 10.0 / 127.0);
  EXPECT_DOUBLE_EQ(*single(map, 12, &own), 12.0 / 127.0);
  EXPECT_DOUBLE_EQ(*single(map, 7, &own), 7.0 / 127.0);
  CcRouterState down;
  EXPECT_DOUBLE_EQ(*single(map, 10, &down), 10.0 / 127.0);
  EXPECT_DOUBLE_EQ(*single(map, 7, &down), 7.0 / 127.0);
}

TEST(CcResolve, ANewMapRestartsTakeover) {
  const CcMap a = mapOf(
      {bind(20, ORBEL_PARAM_MASTER_GAIN, kCcCurveLinear, kCcValueAbsolute, kCcTakeoverPickup)});
  const CcMap b = a;  // same content, another map
  double current = 40.0 / 127.0;
  CcRouterState state;
  ASSERT_TRUE(single(a, 40, &state, &current));  // caught
  ASSERT_TRUE(single(a, 90, &state, &current));
  EXPECT_EQ(state.map, &a);
  EXPECT_FALSE(single(b, 90, &state, &current));  // pickup from scratch
  EXPECT_EQ(state.map, &b);
  EXPECT_TRUE(state.hasLastValue[0]);
  state.reset(&b);
  EXPECT_FALSE(state.hasLastValue[0]);
  EXPECT_FALSE(state.pickedUp[0]);
}

// ---- scaled ------------------------------------------------------------------

TEST(CcResolve, ScaledMovesInProportionToMeetTheKnob) {
  const CcMap map = mapOf(
      {bind(20, ORBEL_PARAM_MASTER_GAIN, kCcCurveLinear, kCcValueAbsolute, kCcTakeoverScaled)});
  struct Case {
    int position;  // the parameter's knob position
    int from;
    int to;
    std::optional<int> expected;
  } cases[] = {
      {32, 96, 100, 44},   // (95 / 31 * 4 + 32) = 44.26
      {32, 96, 127, 127},  // meets the knob at the top
      {32, 96, 48, 16},    // (32 / 96 * -48 + 32)
      {32, 96, 0, 0},      // meets the knob at the bottom
      {32, 96, 96, std::nullopt},
      {100, 10, 11, 100},  // 100 + 27/117 = 100.23
      {100, 10, 9, 90},    // 100 - 100/10 = 90
      {0, 127, 126, 0},
  };
  for (const Case& c : cases) {
    CcRouterState state;
    double current = c.position / 127.0;
    EXPECT_FALSE(single(map, c.from, &state, &current)) << "first value has no direction";
    const auto r = single(map, c.to, &state, &current);
    ASSERT_EQ(r.has_value(), c.expected.has_value()) << c.from << "->" << c.to;
    if (r) {
      EXPECT_DOUBLE_EQ(*r, *c.expected / 127.0) << c.from << "->" << c.to;
    }
  }

  // Without the parameter's value it tracks what it sent, i.e. the knob.
  CcRouterState state;
  EXPECT_DOUBLE_EQ(*single(map, 30, &state), 30.0 / 127.0);
  EXPECT_DOUBLE_EQ(*single(map, 50, &state), 50.0 / 127.0);
  // Without a state it can never learn a direction, so it jumps.
  double current = 0.25;
  EXPECT_DOUBLE_EQ(*single(map, 50, nullptr, &current), 50.0 / 127.0);
}

TEST(CcResolve, RouterWalkStaysInRange) {
  // Every mode and takeover on every parameter, a rough controller stream:
  // results are always in 0..1 and name the bound parameter.
  CcMap map;
  for (uint32_t i = 0; i < kCcMapMaxBindings; ++i) {
    CcBinding b = bind(20, i % ORBEL_PARAM_COUNT, i % 4, i % 5, (i / 5) % 3);
    if (i % 7 == 0) b = withRange(b, -1e9 * (i % 3), 3.5 * i);
    map.bindings[map.count++] = b;
  }
  CcRouterState state;
  double current = 0.3;
  unsigned seed = 7;
  for (int step = 0; step < 400; ++step) {
    seed = seed * 1103515245u + 12345u;
    const int value = static_cast<int>((seed >> 16) % 140) - 6;
    current = ((seed >> 8) % 1000) / 999.0;
    for (const CcResolution& r :
         resolve(map, value, &state, step % 2 ? &current : nullptr, 20, 1, 8)) {
      EXPECT_GE(r.normalized, 0.0);
      EXPECT_LE(r.normalized, 1.0);
      EXPECT_LT(r.paramIndex, ORBEL_PARAM_COUNT);
    }
  }
}

}  // namespace
}  // namespace orbel
