#include "diagnostics/transport_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace orbel {
namespace {

TransportFact factAt(uint64_t i) {
  TransportFact fact;
  fact.atFrame = i;
  fact.tempo = 60.0 + static_cast<double>(i % 1000);
  fact.ppqPosition = static_cast<double>(i) * 0.5;
  fact.projectTimeSamples = static_cast<int64_t>(i) * 3;
  fact.numerator = static_cast<int32_t>(i % 13) + 1;
  fact.playing = (i % 2) == 1;
  return fact;
}

// Every field of a snapshot must come from the same push.
bool consistent(const TransportFact& f) {
  const uint64_t i = f.atFrame;
  return f.tempo == 60.0 + static_cast<double>(i % 1000) &&
         f.ppqPosition == static_cast<double>(i) * 0.5 &&
         f.projectTimeSamples == static_cast<int64_t>(i) * 3 &&
         f.numerator == static_cast<int32_t>(i % 13) + 1 && f.playing == ((i % 2) == 1) &&
         f.denominator == 4;
}

TEST(DiagnosticTransportRing, TakesOnlyTheNewest) {
  auto ring = std::make_unique<DiagnosticTransportRing>();
  TransportFact out;
  EXPECT_FALSE(ring->drainLatest(out));

  ring->push(factAt(1));
  ring->push(factAt(2));
  ring->push(factAt(3));
  ASSERT_TRUE(ring->drainLatest(out));
  EXPECT_EQ(out.atFrame, 3u);
  EXPECT_FALSE(ring->drainLatest(out));
  EXPECT_EQ(ring->dropped(), 0u);
}

TEST(DiagnosticTransportRing, OverflowGivesUpTheOldest) {
  auto ring = std::make_unique<DiagnosticTransportRing>();
  for (uint64_t i = 1; i <= 33; ++i) ring->push(factAt(i));
  EXPECT_EQ(ring->dropped(), 1u);
  TransportFact out;
  ASSERT_TRUE(ring->drainLatest(out));
  EXPECT_EQ(out.atFrame, 33u);
  EXPECT_TRUE(consistent(out));
  EXPECT_FALSE(ring->drainLatest(out));

  for (uint64_t i = 34; i <= 133; ++i) ring->push(factAt(i));
  EXPECT_EQ(ring->dropped(), 1u + 100u - 32u);
  ASSERT_TRUE(ring->drainLatest(out));
  EXPECT_EQ(out.atFrame, 133u);
}

// One producer pushing as fast as it can (lapping the consumer again and
// again) and one consumer draining: every snapshot taken is whole, and they
// come in order.
TEST(DiagnosticTransportRing, ConcurrentProducerAndConsumer) {
  auto ring = std::make_unique<DiagnosticTransportRing>();
  constexpr uint64_t kPushes = 200000;
  std::atomic<bool> done{false};

  std::thread producer([&] {
    for (uint64_t i = 1; i <= kPushes; ++i) ring->push(factAt(i));
    done.store(true, std::memory_order_release);
  });

  uint64_t last = 0;
  uint64_t taken = 0;
  bool allConsistent = true;
  bool inOrder = true;
  TransportFact out;
  while (!done.load(std::memory_order_acquire)) {
    if (ring->drainLatest(out)) {
      ++taken;
      allConsistent = allConsistent && consistent(out);
      inOrder = inOrder && out.atFrame > last;
      last = out.atFrame;
    }
  }
  producer.join();
  if (ring->drainLatest(out)) {
    allConsistent = allConsistent && consistent(out);
    inOrder = inOrder && out.atFrame > last;
    last = out.atFrame;
    ++taken;
  }
  EXPECT_TRUE(allConsistent);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(last, kPushes);
  EXPECT_GT(taken, 0u);
  EXPECT_FALSE(ring->drainLatest(out));
}

}  // namespace
}  // namespace orbel
