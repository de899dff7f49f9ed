// Cost of the kernel host engine around the product kernel, in one run:
//   kernel alone     the product kernel driven directly in 128-frame calls
//   engine direct    KernelEngine at 44.1 kHz (the kernel runs at the host rate)
//   engine adapter   KernelEngine at 44.1 kHz with a wrapper of the product
//                    kernel that accepts only 48 kHz, so the sample-rate
//                    adapter runs
// All at 512-frame blocks with the same notes and parameter automation. The
// summary at the end gives the engine's cost relative to the kernel and each
// path's real-time factor.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/kernel_engine.h"
#include "kernel/kernel_abi.h"

namespace {

using orbel::KernelBinding;
using orbel::KernelEngine;

constexpr int kBlock = 512;
constexpr double kHostRate = 44100.0;

// The product kernel behind a create that refuses every rate but 48 kHz.
double create48kOnly(uint32_t maxFrames, uint32_t inputs, uint32_t outputs, double rate) {
  if (rate != 48000.0) return 0;
  return orbel::productKernelBinding().create(maxFrames, inputs, outputs, rate);
}
double initialiseWrappedRuntime() {
  KernelEngine::initialiseKernelRuntime(orbel::productKernelBinding());
  return 0;
}
double ignorePanicSink(orbel_kernel_panic_sink, void*) { return 0; }

const KernelBinding& only48kBinding() {
  const KernelBinding& p = orbel::productKernelBinding();
  static const KernelBinding b{
      .runtimeInit = initialiseWrappedRuntime,
      .setPanicSink = ignorePanicSink,
      .collect = p.collect,
      .abiVersion = p.abiVersion,
      .create = create48kOnly,
      .inputView = p.inputView,
      .outputView = p.outputView,
      .pushEvent = p.pushEvent,
      .process = p.process,
      .reset = p.reset,
      .destroy = p.destroy,
  };
  return b;
}

// The automation of block b: the cutoff at offsets 0 and 256, the gain at 384,
// a note-on every other block at offset 100 and its note-off a block later at 300.
struct BlockEvents {
  double cutoffA, cutoffB, gain;
  bool noteOn, noteOff;
  int pitch;
};

BlockEvents eventsOf(int64_t b) {
  BlockEvents e;
  e.cutoffA = 0.1 + 0.4 * double(b % 16) / 16.0;
  e.cutoffB = 0.5 - 0.4 * double(b % 16) / 16.0;
  e.gain = 0.6 + 0.2 * double(b % 4) / 4.0;
  e.noteOn = (b % 2) == 0;
  e.noteOff = (b % 2) == 1;
  e.pitch = 48 + int((b / 2) % 24);
  return e;
}

void BM_KernelAlone(benchmark::State& state) {
  const KernelBinding& k = orbel::productKernelBinding();
  KernelEngine::initialiseKernelRuntime(k);
  const uint32_t h = static_cast<uint32_t>(k.create(128, 0, 1, kHostRate));
  float* view = nullptr;
  uint64_t length = 0;
  k.outputView(h, &view, &length);
  std::vector<float> left(kBlock), right(kBlock);
  int64_t b = 0;
  for (auto _ : state) {
    const BlockEvents e = eventsOf(b++);
    // What the engine sends, pushed straight into the 128-frame calls.
    for (int offset = 0; offset < kBlock; offset += 128) {
      if (offset == 0) k.pushEvent(h, 1, 0, 3, 20 + e.cutoffA * 19980);
      if (offset == 0 && e.noteOn) k.pushEvent(h, 2, 100, uint32_t(e.pitch), 0.8);
      if (offset == 256) k.pushEvent(h, 1, 0, 3, 20 + e.cutoffB * 19980);
      if (offset == 256 && e.noteOff)
        k.pushEvent(h, 3, 300 - 256, uint32_t(eventsOf(b - 2).pitch), 0);
      if (offset == 384) k.pushEvent(h, 1, 0, 10, e.gain);
      k.process(h, 128);
      std::copy(view, view + 128, left.begin() + offset);
      std::copy(view, view + 128, right.begin() + offset);
    }
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
  }
  k.destroy(h);
  state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()) * kBlock / kHostRate,
                                                    benchmark::Counter::kIsRate);
}

void runEngine(benchmark::State& state, KernelEngine& engine) {
  if (!engine.setup(kHostRate, kBlock)) {
    state.SkipWithError("engine setup failed");
    return;
  }
  std::vector<float> left(kBlock), right(kBlock);
  float* outputs[2] = {left.data(), right.data()};
  int64_t b = 0;
  for (auto _ : state) {
    const BlockEvents e = eventsOf(b++);
    engine.pushParamNormalized(3, e.cutoffA, 0);
    if (e.noteOn) engine.pushNoteOn(e.pitch, 0.8, 100, 0, 0);
    engine.pushParamNormalized(3, e.cutoffB, 256);
    if (e.noteOff) engine.pushNoteOff(eventsOf(b - 2).pitch, 300, 0, 0);
    engine.pushParamNormalized(10, e.gain, 384);
    engine.processBlock(nullptr, 0, outputs, 2, kBlock);
    benchmark::DoNotOptimize(left.data());
  }
  if (engine.lastBlockFailed()) state.SkipWithError("a block failed");
  state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()) * kBlock / kHostRate,
                                                    benchmark::Counter::kIsRate);
}

void BM_EngineDirect(benchmark::State& state) {
  KernelEngine engine;
  runEngine(state, engine);
  if (engine.usesRateAdapter()) state.SkipWithError("expected the direct path");
}

void BM_EngineAdapter(benchmark::State& state) {
  KernelEngine engine(only48kBinding());
  runEngine(state, engine);
  if (!engine.usesRateAdapter()) state.SkipWithError("expected the adapter path");
}

BENCHMARK(BM_KernelAlone)->MinTime(1.0)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_EngineDirect)->MinTime(1.0)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_EngineAdapter)->MinTime(1.0)->Repetitions(3)->ReportAggregatesOnly(true);

// Keeps the median time per block of each benchmark for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // CPU time: the machine is shared, so wall time carries other loads.
      if (run.aggregate_name == "median")
        medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& m = reporter.medians;
  const auto kernel = m.find("BM_KernelAlone");
  const auto direct = m.find("BM_EngineDirect");
  const auto adapter = m.find("BM_EngineAdapter");
  if (kernel != m.end() && direct != m.end() && adapter != m.end()) {
    // CPU time per 512-frame block, in the benchmark's unit (ns).
    const double blockNs = kBlock / kHostRate * 1e9;
    std::printf("\nsummary (median CPU time of one run, 512-frame blocks at 44.1 kHz):\n");
    std::printf("  engine direct / kernel alone : %.3f (%+.1f %%)\n",
                direct->second / kernel->second, (direct->second / kernel->second - 1.0) * 100.0);
    std::printf("  engine adapter / kernel alone: %.3f\n", adapter->second / kernel->second);
    std::printf("  real-time factor: kernel %.0fx, direct %.0fx, adapter %.0fx\n",
                blockNs / kernel->second, blockNs / direct->second, blockNs / adapter->second);
  }
  benchmark::Shutdown();
  return 0;
}
