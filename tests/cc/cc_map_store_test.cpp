#include "ccmap/cc_map_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Global allocation functions of this test binary: they count live blocks
// (so a leak or a double free of a map shows up) and can be told to fail
// the n-th allocation from now.
namespace {
std::atomic<long> gLiveBlocks{0};
std::atomic<int> gFailIn{0};  // 0: never; n: the n-th allocation from now fails

void* countedAllocate(std::size_t n) {
  const int fail = gFailIn.load();
  if (fail > 0) {
    gFailIn.store(fail - 1);
    if (fail == 1) return nullptr;
  }
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p != nullptr) gLiveBlocks.fetch_add(1);
  return p;
}

void countedFree(void* p) {
  if (p == nullptr) return;
  gLiveBlocks.fetch_sub(1);
  std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
  void* p = countedAllocate(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return countedAllocate(n); }
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { countedFree(p); }

namespace orbel {
namespace {

CcMap marked(uint8_t marker) {
  CcMap map;
  map.count = 1;
  map.bindings[0].cc = marker;
  map.bindings[0].paramIndex = 3;
  return map;
}

TEST(CcMapStore, ReplacedMapsLiveUntilTheEpochMovesByTwo) {
  const long before = gLiveBlocks.load();
  {
    CcMapStore store;
    EXPECT_EQ(store.load(), &store.own);
    EXPECT_EQ(store.load()->count, 0u);
    EXPECT_FALSE(store.takeChanged());

    for (uint8_t m = 1; m <= 3; ++m) ASSERT_TRUE(store.publish(marked(m)));
    EXPECT_EQ(store.retiredCount(), 2u);  // the starting map is never retired
    EXPECT_EQ(store.load()->bindings[0].cc, 3);
    EXPECT_TRUE(store.takeChanged());
    EXPECT_FALSE(store.takeChanged());

    store.advanceEpoch();
    store.collect();
    EXPECT_EQ(store.retiredCount(), 2u);
    store.advanceEpoch();
    store.collect();
    EXPECT_EQ(store.retiredCount(), 0u);
    EXPECT_EQ(store.load()->bindings[0].cc, 3);

    // Maps replaced at different epochs leave at different times.
    ASSERT_TRUE(store.publish(marked(4)));  // retires 3 at epoch 2
    store.advanceEpoch();
    ASSERT_TRUE(store.publish(marked(5)));  // retires 4 at epoch 3
    store.advanceEpoch();
    store.collect();
    ASSERT_EQ(store.retiredCount(), 1u);
    EXPECT_EQ(store.retired[0].map->bindings[0].cc, 4);
    // The destructor frees what is still retired and the current map.
  }
  EXPECT_EQ(gLiveBlocks.load(), before);
}

TEST(CcMapStore, FailedAllocationChangesNothing) {
  const long before = gLiveBlocks.load();
  {
    CcMapStore store;
    ASSERT_TRUE(store.publish(marked(1)));
    ASSERT_TRUE(store.takeChanged());

    // No memory for the copy.
    long live = gLiveBlocks.load();
    gFailIn.store(1);
    const bool published = store.publish(marked(2));
    gFailIn.store(0);
    EXPECT_FALSE(published);
    EXPECT_EQ(gLiveBlocks.load(), live);
    EXPECT_EQ(store.load()->bindings[0].cc, 1);
    EXPECT_FALSE(store.takeChanged());

    // Fill the retired list to its reserved size, then fail its growth: the
    // copy already made must be freed and the current map kept.
    uint8_t m = 10;
    while (store.retired.size() < store.retired.capacity()) ASSERT_TRUE(store.publish(marked(m++)));
    const size_t retiredBefore = store.retiredCount();
    store.takeChanged();
    live = gLiveBlocks.load();
    gFailIn.store(2);
    const bool grown = store.publish(marked(99));
    gFailIn.store(0);
    EXPECT_FALSE(grown);
    EXPECT_EQ(gLiveBlocks.load(), live);
    EXPECT_EQ(store.retiredCount(), retiredBefore);
    EXPECT_EQ(store.load()->bindings[0].cc, m - 1);
    EXPECT_FALSE(store.takeChanged());

    // With memory back, publishing works again.
    EXPECT_TRUE(store.publish(marked(100)));
    EXPECT_EQ(store.load()->bindings[0].cc, 100);
  }
  EXPECT_EQ(gLiveBlocks.load(), before);
}

}  // namespace
}  // namespace orbel
