#include "ccmap/cc_resolve.h"

#include <cmath>

namespace orbel {
namespace {

// Clamp that also maps NaN to the lower bound, so every result stays in range.
double clampValue(double x, double lo, double hi) {
  if (!(x >= lo)) return lo;
  if (x > hi) return hi;
  return x;
}

int clampInt(int x, int lo, int hi) { return x < lo ? lo : (x > hi ? hi : x); }

double applyCurve(uint8_t curve, double t) {
  switch (curve) {
    case kCcCurveExp:
      return t * t;
    case kCcCurveLog:
      return std::sqrt(t);
    case kCcCurveSCurve:
      return t * t * (3.0 - 2.0 * t);
    default:
      return t;
  }
}

// The binding's range in plain units. A bound that is not a finite number
// (a document may carry "nan" or "inf", which strtod accepts) falls back to
// the parameter's own bound instead of poisoning every result.
void bindingRange(const CcBinding& b, const orbel_param_desc& param, double& lo, double& hi) {
  lo = (b.hasMin && std::isfinite(b.min)) ? b.min : param.minValue;
  hi = (b.hasMax && std::isfinite(b.max)) ? b.max : param.maxValue;
}

double plainToNormalized(const orbel_param_desc& param, double plain) {
  switch (param.kind) {
    case ORBEL_PARAM_KIND_LIST: {
      if (param.optionCount < 2) return 0.0;
      const double n = static_cast<double>(param.optionCount - 1);
      return clampValue(plain, 0.0, n) / n;
    }
    case ORBEL_PARAM_KIND_TOGGLE: {
      const double lo = param.minValue < param.maxValue ? param.minValue : param.maxValue;
      const double hi = param.minValue < param.maxValue ? param.maxValue : param.minValue;
      return clampValue(plain, lo, hi) >= 0.5 ? 1.0 : 0.0;
    }
    default: {
      const double range = param.maxValue - param.minValue;
      if (range == 0.0) return 0.0;
      return clampValue((plain - param.minValue) / range, 0.0, 1.0);
    }
  }
}

// Closest controller position (0..127) to the normalized value c; the lowest
// position wins a tie. An unknown value counts as position 0.
int positionOf(const CcBinding& b, const orbel_param_desc& param, bool known, double c) {
  if (!known) return 0;
  int best = 0;
  double bestDistance = INFINITY;
  for (int k = 0; k <= 127; ++k) {
    const double d = std::fabs(ccApplyNormalized(b, param, k) - c);
    if (d < bestDistance) {
      bestDistance = d;
      best = k;
    }
  }
  return best;
}

bool isRelative(uint8_t mode) {
  return mode == kCcValueRelativeSignedBit || mode == kCcValueRelativeBinaryOffset ||
         mode == kCcValueRelativeTwosComplement;
}

}  // namespace

void CcRouterState::reset(const CcMap* newMap) {
  map = newMap;
  for (uint32_t i = 0; i < kCcMapMaxBindings; ++i) {
    lastValue[i] = 0;
    hasLastValue[i] = false;
    pickedUp[i] = false;
    lastSent[i] = 0.0;
    hasLastSent[i] = false;
  }
}

double ccApplyNormalized(const CcBinding& binding, const orbel_param_desc& param, int value) {
  const double t = clampInt(value, 0, 127) / 127.0;
  const double shaped = applyCurve(binding.curve, t);
  double lo, hi;
  bindingRange(binding, param, lo, hi);
  double plain = lo + shaped * (hi - lo);
  // hi - lo overflows for bounds of opposite sign near the double limit; the
  // convex form stays finite there.
  if (!std::isfinite(plain)) plain = lo * (1.0 - shaped) + hi * shaped;
  return plainToNormalized(param, plain);
}

unsigned ccResolve(const CcMap& map, int cc, int channel, int value, CcRouterState* state,
                   CcCurrentValueFn current, void* context, CcResolution* out, unsigned capacity) {
  if (out == nullptr || capacity == 0) return 0;
  if (state != nullptr && state->map != &map) state->reset(&map);

  const int v = clampInt(value, 0, 127);
  const uint32_t bindingCount = map.count < kCcMapMaxBindings ? map.count : kCcMapMaxBindings;
  unsigned written = 0;

  for (uint32_t i = 0; i < bindingCount && written < capacity; ++i) {
    const CcBinding& b = map.bindings[i];
    if (!b.enabled || b.cc != cc) continue;
    if (b.channel != 0 && b.channel != channel) continue;
    if (b.paramIndex < 0 || b.paramIndex >= static_cast<int32_t>(ORBEL_PARAM_COUNT)) continue;
    const orbel_param_desc& param = ORBEL_PARAMS[b.paramIndex];

    bool hasPrevious = false;
    int previous = 0;
    if (state != nullptr) {
      if (state->hasLastValue[i]) {
        hasPrevious = true;
        previous = state->lastValue[i];
      }
      state->lastValue[i] = static_cast<uint8_t>(v);
      state->hasLastValue[i] = true;
    }

    bool known = false;
    double c = 0.0;
    if (current != nullptr) {
      const double reported = current(context, static_cast<unsigned>(b.paramIndex));
      if (!std::isnan(reported)) {
        c = clampValue(reported, 0.0, 1.0);
        known = true;
      }
    } else if (state != nullptr && state->hasLastSent[i]) {
      c = state->lastSent[i];
      known = true;
    }

    double result = 0.0;
    if (isRelative(b.valueMode)) {
      int delta;
      if (b.valueMode == kCcValueRelativeSignedBit) {
        delta = v < 65 ? -v : v - 64;
      } else if (b.valueMode == kCcValueRelativeBinaryOffset) {
        delta = v - 64;
      } else {
        delta = v < 64 ? v : v - 128;
      }
      if (delta == 0) continue;
      if (b.valueMode != kCcValueRelativeBinaryOffset && (v == 0 || v == 64)) continue;
      const int p = positionOf(b, param, known, c);
      result = ccApplyNormalized(b, param, clampInt(p + delta, 0, 127));
    } else if (b.valueMode == kCcValueToggle) {
      // Only a rising edge through 64 acts; with no previous value any
      // value of 64 or more counts as one.
      if (v < 64 || (hasPrevious && previous >= 64)) continue;
      double lo, hi;
      bindingRange(b, param, lo, hi);
      const double loN = plainToNormalized(param, lo);
      const double hiN = plainToNormalized(param, hi);
      result = hiN;
      if (known && std::fabs(c - hiN) < std::fabs(c - loN)) result = loN;
    } else if (b.takeover == kCcTakeoverPickup && state != nullptr && known) {
      if (!state->pickedUp[i]) {
        const int p = positionOf(b, param, known, c);
        // Caught when the knob stands on the parameter's position or passes
        // it. A knob that starts from that position counts as passing it:
        // otherwise a router that knows the parameter only through the value
        // it last sent would never catch again after its first jump.
        bool caught = v == p;
        if (!caught && hasPrevious) {
          caught = (previous <= p && p < v) || (v < p && p <= previous);
        }
        if (!caught) continue;
        state->pickedUp[i] = true;
      }
      result = ccApplyNormalized(b, param, v);
    } else if (b.takeover == kCcTakeoverScaled && state != nullptr && known) {
      // Scaling needs the knob's previous position; without a state there
      // is none ever, so a stateless router jumps instead of staying mute.
      if (!hasPrevious || v == previous) continue;
      const int d = v - previous;
      const bool up = d > 0;
      const int room = up ? 127 - previous : previous;
      if (room == 0) continue;
      const int p = positionOf(b, param, known, c);
      const double x = ((up ? 127 - p : p) / static_cast<double>(room) * d + p) / 127.0;
      const long k = std::lround(clampValue(x, 0.0, 1.0) * 127.0);
      result = ccApplyNormalized(b, param, static_cast<int>(k));
    } else {
      result = ccApplyNormalized(b, param, v);
    }

    out[written].paramIndex = static_cast<uint32_t>(b.paramIndex);
    out[written].normalized = result;
    ++written;
    if (state != nullptr) {
      state->lastSent[i] = result;
      state->hasLastSent[i] = true;
    }
  }
  return written;
}

}  // namespace orbel
