// CC resolution: turns one incoming MIDI control change into new normalized
// values for the parameters a CC map binds to it, through each binding's
// curve, range, value mode and takeover rule.
//
// Everything here is allocation-free and lock-free, so it may run on the
// audio thread. The only memory between calls is a CcRouterState, owned by
// the caller.
#pragma once

#include <cstdint>

#include "ccmap/cc_map.h"
#include "params/param_table.h"

namespace orbel {

struct CcResolution {
  uint32_t paramIndex = 0;  // row of ORBEL_PARAMS
  double normalized = 0.0;  // the parameter's new normalized value, 0..1
};

// Per-binding memory of one router (indexed like the map's bindings). It
// belongs to one map at a time, by address: meeting another map clears it,
// so publishing a new map restarts pickup and scaling from scratch.
struct CcRouterState {
  const CcMap* map = nullptr;
  uint8_t lastValue[kCcMapMaxBindings] = {};  // last controller value seen
  bool hasLastValue[kCcMapMaxBindings] = {};
  bool pickedUp[kCcMapMaxBindings] = {};    // pickup has caught the parameter
  double lastSent[kCcMapMaxBindings] = {};  // last normalized value produced
  bool hasLastSent[kCcMapMaxBindings] = {};

  // Binds the state to `map` and forgets everything seen so far.
  void reset(const CcMap* newMap);
};

// A controller value (clamped to 0..127) to the parameter's normalized value
// through the binding's curve and its range (min/max in plain units, the
// parameter's own range where absent; min > max inverts the direction).
// Always returns a value in 0..1.
double ccApplyNormalized(const CcBinding& binding, const orbel_param_desc& param, int value);

// Callback giving a parameter's current normalized value.
using CcCurrentValueFn = double (*)(void* context, unsigned paramIndex);

// Resolves one control change (controller `cc`, MIDI channel `channel` 1..16,
// `value` 0..127) against every enabled binding of `map` that matches it, in
// map order, writing at most `capacity` results to `out`. Returns how many
// were written. `state` may be null (no memory between calls); `current` may
// be null (the last value sent then stands in for the parameter's value).
unsigned ccResolve(const CcMap& map, int cc, int channel, int value, CcRouterState* state,
                   CcCurrentValueFn current, void* context, CcResolution* out, unsigned capacity);

}  // namespace orbel
