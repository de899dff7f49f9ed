#include "ccmap/cc_activity_feed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orbel {
namespace {

std::vector<CcActivityRecord> drainAt(CcActivityFeed& feed, int64_t nowMs, unsigned capacity = 16) {
  CcActivityRecord out[16];
  const unsigned n = feed.drain(nowMs, out, capacity);
  return std::vector<CcActivityRecord>(out, out + n);
}

TEST(CcActivityFeed, NewestValuePerControllerWins) {
  CcActivityFeed feed;
  EXPECT_FALSE(feed.isPending());
  feed.record(7, 1, 10);
  feed.record(7, 1, 20);
  feed.record(7, 2, 30);
  feed.record(1, 16, 127);
  EXPECT_TRUE(feed.isPending());
  const auto r = drainAt(feed, 1000);
  ASSERT_EQ(r.size(), 2u);  // lowest controller first
  EXPECT_EQ(r[0].cc, 1);
  EXPECT_EQ(r[0].channel, 16);
  EXPECT_EQ(r[0].value, 127);
  EXPECT_EQ(r[1].cc, 7);
  EXPECT_EQ(r[1].channel, 2);
  EXPECT_EQ(r[1].value, 30);
  EXPECT_FALSE(feed.isPending());
  EXPECT_TRUE(drainAt(feed, 5000).empty());
}

TEST(CcActivityFeed, AtMostOneRecordPerControllerEvery33Ms) {
  CcActivityFeed feed;
  feed.record(7, 1, 1);
  ASSERT_EQ(drainAt(feed, 1000).size(), 1u);
  feed.record(7, 1, 2);
  feed.record(8, 1, 5);  // another controller is not held back
  auto r = drainAt(feed, 1010);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].cc, 8);
  EXPECT_TRUE(feed.isPending());
  EXPECT_TRUE(drainAt(feed, 1032).empty());  // 32 ms: still too early
  EXPECT_TRUE(feed.isPending());
  r = drainAt(feed, 1040);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].cc, 7);
  EXPECT_EQ(r[0].value, 2);
  EXPECT_FALSE(feed.isPending());
}

TEST(CcActivityFeed, CapacityLeavesTheRestWaiting) {
  CcActivityFeed feed;
  feed.record(90, 1, 1);
  feed.record(3, 1, 2);
  auto r = drainAt(feed, 1000, 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].cc, 3);
  EXPECT_TRUE(feed.isPending());
  CcActivityRecord out[1];
  EXPECT_EQ(feed.drain(1000, nullptr, 4), 0u);
  EXPECT_EQ(feed.drain(1000, out, 0), 0u);
  r = drainAt(feed, 1000, 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].cc, 90);
  EXPECT_FALSE(feed.isPending());
}

TEST(CcActivityFeed, OutOfRangeInput) {
  CcActivityFeed feed;
  feed.record(128, 1, 5);
  feed.record(-1, 1, 5);
  EXPECT_FALSE(feed.isPending());
  EXPECT_TRUE(drainAt(feed, 1000).empty());

  // Values and channels are clamped, not wrapped: 128 must not read as 0.
  feed.record(0, 1, 128);
  feed.record(1, -3, -2);
  feed.record(2, 300, 64);
  const auto r = drainAt(feed, 1000);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].value, 127);
  EXPECT_EQ(r[1].channel, 0);
  EXPECT_EQ(r[1].value, 0);
  EXPECT_EQ(r[2].channel, 255);
  EXPECT_EQ(r[2].value, 64);
}

TEST(CcActivityFeed, MidiCcJson) {
  std::string out = "x";
  writeMidiCcJson(out, CcActivityRecord{74, 3, 127});
  EXPECT_EQ(out, "x{\"type\":\"orbel.midiCc\",\"cc\":74,\"channel\":3,\"value\":127}");
  out.clear();
  writeMidiCcJson(out, CcActivityRecord{0, 0, 0});
  EXPECT_EQ(out, "{\"type\":\"orbel.midiCc\",\"cc\":0,\"channel\":0,\"value\":0}");
}

TEST(CcActivityFeed, ClockIsMonotonicMilliseconds) {
  const int64_t a = CcActivityFeed::nowMs();
  const int64_t b = CcActivityFeed::nowMs();
  EXPECT_GT(a, 0);
  EXPECT_GE(b, a);
}

}  // namespace
}  // namespace orbel
