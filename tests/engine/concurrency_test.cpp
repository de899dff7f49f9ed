// What crosses threads: the parameter table with its dirty flag (state recall
// on the main thread while the audio thread renders) and the realtime
// diagnostic ring (audio thread producer, main thread consumer).
#include <atomic>
#include <thread>

#include "params/param_table.h"
#include "tests/engine/engine_fixture.h"

namespace orbel::enginetest {
namespace {

class ConcurrencyTest : public EngineTest {};

// The i-th recalled value of a parameter: one of seven points of its range.
double recalled(int i, uint32_t id) {
  const orbel_param_desc& d = ORBEL_PARAMS[id];
  return d.minValue + (d.maxValue - d.minValue) * double((i + int(id)) % 7) / 6.0;
}

TEST_F(ConcurrencyTest, StateRecallRacingRenderingEndsWithKernelInStep) {
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(48000.0, 256));
  std::atomic<bool> done{false};
  std::thread audio([&] {
    StereoOut out(256);
    while (!done.load(std::memory_order_acquire)) {
      engine.pushNoteOn(60, 0.5, 3, 0, 0);
      engine.processBlock(nullptr, 0, out.ptrs, 2, 256);
    }
  });
  for (int i = 0; i < 20000; ++i) {
    for (uint32_t id = 0; id < KernelEngine::kParamCount; ++id) {
      engine.setParamValue(id, recalled(i, id));
    }
  }
  done.store(true, std::memory_order_release);
  audio.join();

  // Whatever interleaving happened, the last recalled values reach the kernel
  // in the next block.
  StereoOut out(256);
  engine.processBlock(nullptr, 0, out.ptrs, 2, 256);
  for (uint32_t id = 0; id < KernelEngine::kParamCount; ++id) {
    EXPECT_EQ(engine.kernelParamValue(id), engine.paramValue(id)) << id;
    EXPECT_EQ(engine.paramValue(id), recalled(19999, id)) << id;
  }
}

TEST_F(ConcurrencyTest, RealtimeRingHandsEntriesOverIntact) {
  KernelEngine engine(testkernel::binding());
  constexpr int kReports = 200000;
  std::atomic<bool> done{false};
  std::thread audio([&] {
    for (int i = 0; i < kReports; ++i) {
      // Severity follows the code, so a torn entry would show.
      if (i % 2) {
        engine.recordRealtimeDiagnostic(4, 3, 7);
      } else {
        engine.recordRealtimeDiagnostic(22, 2, 7);
      }
    }
    done.store(true, std::memory_order_release);
  });
  uint64_t sequencesUsed = 0;
  bool torn = false;
  while (!done.load(std::memory_order_acquire)) {
    engine.drainRuntimeDiagnostics();
    const orbel_runtime_diagnostic_ring& ring = engine.diagnostics();
    for (uint32_t i = 0; i < ring.count; ++i) {
      const orbel_runtime_diagnostic& d = ring.records[i];
      if (d.code == 4 && d.severity != 3) torn = true;
      if (d.code == 22 && d.severity != 2) torn = true;
      if (d.code != 4 && d.code != 22 && d.code != 25) torn = true;
    }
    sequencesUsed = ring.nextSequence - 1;
  }
  audio.join();
  EXPECT_FALSE(torn);
  engine.drainRuntimeDiagnostics();
  EXPECT_EQ(engine.pendingRealtimeDiagnostics(), 0u);
  const orbel_runtime_diagnostic_ring& ring = engine.diagnostics();
  EXPECT_EQ(ring.count + ring.dropped, ring.nextSequence - 1);
  EXPECT_GE(ring.nextSequence - 1, sequencesUsed);
}

}  // namespace
}  // namespace orbel::enginetest
