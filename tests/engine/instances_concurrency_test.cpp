// Hosts set up and activate plug-ins from worker threads while their main
// thread goes on (Ardour does while exporting). Kernel instances come from
// process-wide tables, so set-ups on several threads at once must never hand
// one slot to two engines, and the per-process limit must hold exactly.
// The diagnostic list is read on the main thread while a worker sets up.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "engine/kernel_engine.h"

namespace orbel {
namespace {

constexpr int kFrames = 256;

// Renders one block with a note; the peak of its output.
float renderOwnNote(KernelEngine& engine, double velocity) {
  std::vector<float> left(kFrames), right(kFrames);
  float* out[2] = {left.data(), right.data()};
  engine.setParamValue(0, 0.0);  // sine
  engine.pushNoteOn(60, velocity, 0, 0, 0);
  engine.processBlock(nullptr, 0, out, 2, kFrames);
  float peak = 0.0f;
  for (float v : left) peak = std::max(peak, std::abs(v));
  return peak;
}

TEST(InstanceConcurrency, SetUpsOnSeveralThreadsShareNoInstanceAndKeepTheLimit) {
  constexpr int kThreads = 5;
  constexpr int kPerThread = 8;  // 40 wanted, 32 to be had
  for (int round = 0; round < 3; ++round) {
    std::vector<std::vector<std::unique_ptr<KernelEngine>>> engines(kThreads);
    std::vector<std::vector<uint8_t>> bound(kThreads, std::vector<uint8_t>(kPerThread, 0));
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        ready.fetch_add(1);
        while (ready.load() < kThreads) std::this_thread::yield();
        for (int i = 0; i < kPerThread; ++i) {
          engines[t].push_back(std::make_unique<KernelEngine>());
          bound[t][size_t(i)] = engines[t].back()->setup(48000.0 + 100.0 * t, kFrames);
          if (bound[t][size_t(i)]) {
            EXPECT_GT(renderOwnNote(*engines[t].back(), 0.1 + 0.02 * i), 0.0f);
          }
        }
      });
    }
    for (std::thread& th : threads) th.join();

    int boundCount = 0;
    std::vector<uint32_t> tokens;
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kPerThread; ++i) {
        KernelEngine& e = *engines[t][size_t(i)];
        if (!bound[t][size_t(i)]) {
          ASSERT_GE(e.diagnostics().count, 1u);
          EXPECT_NE(std::strstr(e.diagnostics().records[0].message, "at most 32 instances"),
                    nullptr)
              << e.diagnostics().records[0].message;
          continue;
        }
        ++boundCount;
        for (uint32_t other : tokens) EXPECT_NE(other, e.instanceToken());
        tokens.push_back(e.instanceToken());
      }
    }
    EXPECT_EQ(boundCount, 32);

    // Released on several threads at once, the instances are all free again.
    threads.clear();
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (auto& e : engines[t]) e->releaseKernel();
      });
    }
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kPerThread && t * kPerThread + i < 32; ++i) {
        EXPECT_TRUE(engines[t][size_t(i)]->setup(48000.0, kFrames));
      }
    }
    threads.clear();
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] { engines[t].clear(); });
    }
    for (std::thread& th : threads) th.join();
  }
}

TEST(InstanceConcurrency, ReportIsReadWhileAWorkerSetsUp) {
  KernelEngine engine;
  std::atomic<bool> done{false};
  testing::internal::CaptureStderr();  // the refused formats' developer lines
  std::thread worker([&] {
    for (int i = 0; i < 300; ++i) {
      engine.setup(i % 3 == 0 ? -1.0 : 44100.0 + i, kFrames);  // every third refused
      engine.releaseKernel();
    }
    done.store(true);
  });
  uint32_t seen = 0;
  while (!done.load()) {
    const EngineReport report = engine.drainReport();
    seen = std::max(seen, report.diagnostics.nextSequence - 1);
    EXPECT_TRUE(report.hostRate == 48000.0 || report.hostRate >= 44100.0);
  }
  worker.join();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(engine.drainReport().diagnostics.nextSequence - 1, 100u);
  EXPECT_LE(seen, 100u);
}

}  // namespace
}  // namespace orbel
