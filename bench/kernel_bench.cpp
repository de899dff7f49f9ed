// Real-time factor of one kernel instance per wave at 48 kHz: seconds of
// audio rendered per second of CPU ("realtime" counter). Notes change twice a
// second and the filter follows the envelope, so every coefficient update,
// envelope stage and band-limiting step takes part.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "kernel/kernel_abi.h"

namespace {

#define K(op) scpr_music_orbel_mirel_9ff6eb2b48a9_##op

constexpr double kRate = 48000;
constexpr uint32_t kBlock = 128;

void BM_KernelWave(benchmark::State& state) {
  const auto wave = static_cast<double>(state.range(0));
  K(runtime_init)();
  const auto handle = static_cast<uint32_t>(K(create)(kBlock, 0, 1, kRate));
  if (handle == 0) {
    state.SkipWithError("create failed");
    return;
  }
  K(push_event)(handle, ORBEL_KERNEL_EVENT_PARAMETER, 0, 0, wave);
  K(push_event)(handle, ORBEL_KERNEL_EVENT_PARAMETER, 0, 5, 2.0);  // envelope opens the filter
  K(push_event)(handle, ORBEL_KERNEL_EVENT_PARAMETER, 0, 4, 4.0);

  static const uint32_t notes[] = {45, 57, 60, 64, 69, 72, 76, 81};
  uint64_t block = 0;
  int note = -1;
  float sink = 0;
  float* view = nullptr;
  uint64_t length = 0;
  K(output_view)(handle, &view, &length);
  for (auto _ : state) {
    if (block % 188 == 0) {  // about every half second
      if (note >= 0)
        K(push_event)(handle, ORBEL_KERNEL_EVENT_NOTE_OFF, 0, static_cast<uint32_t>(note), 0.0);
      note = static_cast<int>(notes[(block / 188) % 8]);
      K(push_event)(handle, ORBEL_KERNEL_EVENT_NOTE_ON, 17, static_cast<uint32_t>(note), 0.8);
    } else if (block % 188 == 120) {
      K(push_event)(handle, ORBEL_KERNEL_EVENT_NOTE_OFF, 5, static_cast<uint32_t>(note), 0.0);
    }
    K(process)(handle, kBlock);
    sink += view[kBlock - 1];
    ++block;
  }
  benchmark::DoNotOptimize(sink);
  K(destroy)(handle);
  state.counters["realtime"] =
      benchmark::Counter(static_cast<double>(block) * kBlock / kRate, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_KernelWave)->ArgName("wave")->DenseRange(0, 3);

}  // namespace

BENCHMARK_MAIN();
