#include <benchmark/benchmark.h>

#include "ccmap/cc_activity_feed.h"
#include "ccmap/cc_resolve.h"

namespace {

using namespace orbel;

double halfway(void*, unsigned) { return 0.5; }

// `bindings` bindings on one controller, all with the given mode/takeover.
CcMap sameController(unsigned bindings, uint8_t mode, uint8_t takeover) {
  CcMap map;
  for (unsigned i = 0; i < bindings; ++i) {
    CcBinding& b = map.bindings[map.count++];
    b.cc = 1;
    b.paramIndex = static_cast<int32_t>(i % ORBEL_PARAM_COUNT);
    b.curve = static_cast<uint8_t>(i % 4);
    b.valueMode = mode;
    b.takeover = takeover;
  }
  return map;
}

void run(benchmark::State& st, const CcMap& map) {
  CcRouterState state;
  CcResolution out[kCcMapMaxBindings];
  int value = 0;
  for (auto _ : st) {
    value = (value + 37) & 127;
    benchmark::DoNotOptimize(
        ccResolve(map, 1, 1, value, &state, halfway, nullptr, out, kCcMapMaxBindings));
  }
  st.SetItemsProcessed(st.iterations());
}

void BM_ResolveJump1(benchmark::State& st) {
  run(st, sameController(1, kCcValueAbsolute, kCcTakeoverNone));
}
void BM_ResolvePickup1(benchmark::State& st) {
  run(st, sameController(1, kCcValueAbsolute, kCcTakeoverPickup));
}
// Worst case: 64 bindings on one controller, each with a position search.
void BM_ResolveScaled64(benchmark::State& st) {
  run(st, sameController(64, kCcValueAbsolute, kCcTakeoverScaled));
}
void BM_ResolveRelative64(benchmark::State& st) {
  run(st, sameController(64, kCcValueRelativeBinaryOffset, kCcTakeoverNone));
}

void BM_FeedRecord(benchmark::State& st) {
  CcActivityFeed feed;
  int i = 0;
  for (auto _ : st) {
    feed.record(i & 127, 1, i & 127);
    ++i;
  }
}

BENCHMARK(BM_ResolveJump1);
BENCHMARK(BM_ResolvePickup1);
BENCHMARK(BM_ResolveScaled64);
BENCHMARK(BM_ResolveRelative64);
BENCHMARK(BM_FeedRecord);

}  // namespace

BENCHMARK_MAIN();
