#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "diagnostics/lifecycle_log.h"
#include "diagnostics/runtime_health.h"
#include "diagnostics/transport_ring.h"
#include "params/param_table.h"

namespace {

using namespace orbel;

void BM_TransportPush(benchmark::State& state) {
  auto ring = std::make_unique<DiagnosticTransportRing>();
  TransportFact fact;
  for (auto _ : state) {
    ++fact.atFrame;
    ring->push(fact);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TransportPush);

void BM_TransportPushAndDrain(benchmark::State& state) {
  auto ring = std::make_unique<DiagnosticTransportRing>();
  TransportFact fact;
  TransportFact out;
  for (auto _ : state) {
    ++fact.atFrame;
    ring->push(fact);
    benchmark::DoNotOptimize(ring->drainLatest(out));
  }
}
BENCHMARK(BM_TransportPushAndDrain);

void BM_LifecycleRecord(benchmark::State& state) {
  auto log = std::make_unique<DiagnosticLifecycleLog>();
  for (auto _ : state) {
    log->record(DiagnosticLifecycleKind::TempoChanged, 0)
        .addNumber("tempo", 120)
        .addNumber("previous", 121);
  }
}
BENCHMARK(BM_LifecycleRecord);

void BM_HealthReportFullRing(benchmark::State& state) {
  orbel_runtime_diagnostic_ring ring;
  for (int i = 0; i < 32; ++i) {
    orbel_runtime_diagnostic_record(
        &ring, 22, 2, 7, "runtime diagnostic observed on the audio callback", "audio callback");
  }
  for (auto _ : state) {
    std::string report =
        writeRuntimeHealthJson(ring, "music.orbel.mirel", "0.0.0", 48000, 512, false);
    benchmark::DoNotOptimize(report.data());
  }
}
BENCHMARK(BM_HealthReportFullRing);

void BM_ParamTextRoundTrip(benchmark::State& state) {
  const orbel_param_desc& cutoff = ORBEL_PARAMS[ORBEL_PARAM_FILTER_CUTOFF];
  double x = 0.123;
  for (auto _ : state) {
    const std::string text = orbel_param_to_text(&cutoff, x);
    benchmark::DoNotOptimize(orbel_param_from_text(&cutoff, text.c_str(), &x));
  }
}
BENCHMARK(BM_ParamTextRoundTrip);

}  // namespace

BENCHMARK_MAIN();
