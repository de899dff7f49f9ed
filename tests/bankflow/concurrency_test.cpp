// Pad-override sets published on the main thread while an audio thread keeps
// reading the current one: every set read is whole and alive, and the reader
// ends up on the last one published.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/kernel_engine.h"

namespace orbel {
namespace {

SamplerPadOverrides setNumber(int n) {
  SamplerPadOverrides set;
  for (int i = 0; i < 1 + n % 5; ++i) {
    SamplerPadOverride o;
    o.pad = "pad" + std::to_string(i);
    o.mask = 1u << kPadTranspose;
    o.values[kPadTranspose] = n;
    set.push_back(o);
  }
  return set;
}

TEST(PadOverrideConcurrency, AudioSideSeesPublishedSets) {
  KernelEngine engine;
  constexpr int kSets = 5000;
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::atomic<int> lastSeen{-1};

  std::thread audio([&] {
    int previous = -1;
    for (;;) {
      const bool finished = done.load(std::memory_order_acquire);
      const SamplerPadOverrides* set = engine.acquireSamplerPadOverrides();
      if (set) {
        const int n = int(set->front().value(kPadTranspose));
        if (set->size() != size_t(1 + n % 5) || n < previous) torn.fetch_add(1);
        for (const SamplerPadOverride& o : *set)
          if (o.value(kPadTranspose) != n) torn.fetch_add(1);
        previous = n;
      }
      if (finished) break;
    }
    lastSeen.store(previous);
  });

  for (int n = 0; n < kSets; ++n) ASSERT_TRUE(engine.publishSamplerPadOverrides(setNumber(n)));
  done.store(true, std::memory_order_release);
  audio.join();

  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(lastSeen.load(), kSets - 1);
  // At most the set the audio side last acknowledged is still held back.
  EXPECT_LE(engine.retiredSamplerPadOverrideCount(), 1u);
}

}  // namespace
}  // namespace orbel
