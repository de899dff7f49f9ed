// Two threads each: a publisher and a realtime reader of CcMapStore, an
// audio-thread recorder and a drainer of CcActivityFeed. Run under
// ThreadSanitizer in the suite, which also reports a map freed while the
// reader still looks at it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ccmap/cc_activity_feed.h"
#include "ccmap/cc_map_store.h"
#include "params/param_table.h"

namespace orbel {
namespace {

// Every binding of map m carries m, and the count is derived from it, so a
// torn or freed map shows up as a mismatch.
CcMap stamped(uint32_t m) {
  CcMap map;
  map.count = 1 + m % kCcMapMaxBindings;
  for (uint32_t i = 0; i < map.count; ++i) {
    map.bindings[i].cc = static_cast<uint8_t>(m % 128);
    map.bindings[i].paramIndex = static_cast<int32_t>(m % ORBEL_PARAM_COUNT);
    map.bindings[i].min = static_cast<double>(m);
  }
  return map;
}

bool consistent(const CcMap& map, uint32_t& stamp) {
  if (map.count == 0) {  // the starting map
    stamp = 0;
    return true;
  }
  stamp = static_cast<uint32_t>(map.bindings[0].min);
  if (map.count != 1 + stamp % kCcMapMaxBindings) return false;
  for (uint32_t i = 0; i < map.count; ++i) {
    const CcBinding& b = map.bindings[i];
    if (b.min != stamp || b.cc != stamp % 128 ||
        b.paramIndex != static_cast<int32_t>(stamp % ORBEL_PARAM_COUNT))
      return false;
  }
  return true;
}

TEST(CcConcurrency, ReaderNeverSeesATornOrFreedMap) {
  constexpr uint32_t kMaps = 3000;
  CcMapStore store;
  std::atomic<bool> done{false};
  std::atomic<bool> readerFailed{false};
  std::atomic<uint64_t> reads{0};

  std::thread reader([&] {
    uint32_t last = 0;
    while (!done.load(std::memory_order_acquire)) {
      // One "block": load, use, then tick.
      const CcMap* map = store.load();
      uint32_t stamp = 0;
      if (!consistent(*map, stamp) || stamp < last) readerFailed.store(true);
      last = stamp;
      store.takeChanged();
      store.advanceEpoch();
      reads.fetch_add(1, std::memory_order_relaxed);
    }
  });

  size_t mostRetired = 0;
  for (uint32_t m = 1; m <= kMaps; ++m) {
    ASSERT_TRUE(store.publish(stamped(m)));
    if (m % 16 == 0) store.collect();
    if (store.retiredCount() > mostRetired) mostRetired = store.retiredCount();
    if (m % 64 == 0) std::this_thread::yield();
  }
  // Let the reader see the last map and tick past it.
  const uint64_t seen = reads.load();
  while (reads.load() < seen + 4) std::this_thread::yield();
  done.store(true, std::memory_order_release);
  reader.join();

  EXPECT_FALSE(readerFailed.load());
  uint32_t stamp = 0;
  ASSERT_TRUE(consistent(*store.load(), stamp));
  EXPECT_EQ(stamp, kMaps);
  store.collect();
  EXPECT_EQ(store.retiredCount(), 0u);
  RecordProperty("most_retired", static_cast<int>(mostRetired));
}

TEST(CcConcurrency, DrainerSeesEachControllersValuesInOrderAndTheLastOne) {
  // The recorder sweeps all controllers with rising values; the drainer
  // runs on a fake clock that always allows a new record.
  constexpr int kRounds = 128;
  CcActivityFeed feed;
  std::atomic<bool> done{false};

  std::thread recorder([&] {
    for (int round = 0; round < kRounds; ++round) {
      for (int cc = 0; cc < 128; ++cc) feed.record(cc, 1 + cc % 16, round);
    }
    done.store(true, std::memory_order_release);
  });

  int lastValue[128];
  for (int& v : lastValue) v = -1;
  bool ordered = true;
  int64_t now = 1000;
  CcActivityRecord out[32];
  auto take = [&] {
    const unsigned n = feed.drain(now, out, 32);
    now += 33;
    for (unsigned i = 0; i < n; ++i) {
      const CcActivityRecord& r = out[i];
      if (r.channel != 1 + r.cc % 16 || r.value <= lastValue[r.cc]) ordered = false;
      lastValue[r.cc] = r.value;
    }
    return n;
  };
  while (!done.load(std::memory_order_acquire)) take();
  recorder.join();
  // Whatever is left must still be flagged and handed out.
  while (feed.isPending()) take();

  EXPECT_TRUE(ordered);
  for (int cc = 0; cc < 128; ++cc) EXPECT_EQ(lastValue[cc], kRounds - 1) << cc;
}

}  // namespace
}  // namespace orbel
