// Rendering through the built bundle: pitch, exact silence and the timing of
// notes and automation points.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/module/module_fixture.h"

namespace orbel::testhost {
namespace {

constexpr ParamID kOscType = 0, kOctave = 1, kGain = 10;
constexpr int32 kBlock = 512;
constexpr double kRate = 48000.0;

double rms(const Block& b, int from) {
  double sum = 0;
  for (int i = from; i < kBlock; ++i) sum += double(b.left[i]) * b.left[i];
  return std::sqrt(sum / (kBlock - from));
}

// Renders `blocks` blocks, the first carrying `first`'s events and parameters.
std::vector<float> render(Processor& p, Block& first, int blocks,
                          std::vector<float>* right = nullptr) {
  std::vector<float> out;
  Block rest(kBlock);
  for (int i = 0; i < blocks; ++i) {
    Block& b = i == 0 ? first : rest;
    EXPECT_EQ(p.audio->process(b.data), kResultOk);
    out.insert(out.end(), b.left.begin(), b.left.end());
    if (right) right->insert(right->end(), b.right.begin(), b.right.end());
  }
  return out;
}

TEST(Render, SineAtOctaveZeroPlaysNote69At440Hz) {
  Processor p;
  ASSERT_TRUE(p.ok());
  ASSERT_TRUE(p.start(kRate, kBlock));
  Block b(kBlock);
  b.params.add(kOscType, 0, 0.0);  // sine
  b.params.add(kOctave, 0, 0.5);   // octave 0
  b.events.noteOn(69, 1.0f, 0);
  std::vector<float> right;
  const std::vector<float> left = render(p, b, 200, &right);  // ~2.1 s
  EXPECT_EQ(left, right);

  // Count rising zero crossings over one second, after the attack.
  const size_t from = 24000, to = from + 48000;
  int crossings = 0;
  double firstCross = -1, lastCross = -1;
  for (size_t i = from + 1; i < to; ++i) {
    if (left[i - 1] < 0.0f && left[i] >= 0.0f) {
      // Linear interpolation of the crossing instant.
      const double t = double(i - 1) + left[i - 1] / double(left[i - 1] - left[i]);
      if (firstCross < 0) firstCross = t;
      lastCross = t;
      ++crossings;
    }
  }
  ASSERT_GT(crossings, 1);
  const double hz = (crossings - 1) * kRate / (lastCross - firstCross);
  EXPECT_NEAR(hz, 440.0, 0.5);
}

TEST(Render, SilenceBeforeTheNoteIsExactZero) {
  Processor p;
  ASSERT_TRUE(p.ok());
  ASSERT_TRUE(p.start(kRate, kBlock));
  Block b(kBlock);
  b.events.noteOn(60, 1.0f, 300);
  ASSERT_EQ(p.audio->process(b.data), kResultOk);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(b.left[i], 0.0f) << i;
  bool sounded = false;
  for (int i = 300; i < kBlock; ++i) sounded |= b.left[i] != 0.0f;
  EXPECT_TRUE(sounded);
  EXPECT_EQ(b.out.silenceFlags, 0u);
}

TEST(Render, AutomationPointTakesEffectAtItsOffset) {
  // Same note in two instances; one gets a gain point at frame 200 of the
  // second block. Output is identical before it and differs from it on.
  Processor a, b;
  ASSERT_TRUE(a.ok() && b.ok());
  ASSERT_TRUE(a.start(kRate, kBlock));
  ASSERT_TRUE(b.start(kRate, kBlock));
  Block a0(kBlock), b0(kBlock);
  a0.events.noteOn(60, 1.0f, 0);
  b0.events.noteOn(60, 1.0f, 0);
  ASSERT_EQ(a.audio->process(a0.data), kResultOk);
  ASSERT_EQ(b.audio->process(b0.data), kResultOk);
  ASSERT_EQ(a0.left, b0.left);

  Block a1(kBlock), b1(kBlock);
  b1.params.add(kGain, 200, 0.2);
  ASSERT_EQ(a.audio->process(a1.data), kResultOk);
  ASSERT_EQ(b.audio->process(b1.data), kResultOk);
  int firstDiff = -1;
  for (int i = 0; i < kBlock && firstDiff < 0; ++i)
    if (a1.left[i] != b1.left[i]) firstDiff = i;
  EXPECT_GE(firstDiff, 200);
  EXPECT_LE(firstDiff, 202);
  EXPECT_LT(rms(b1, 400), rms(a1, 400));
}

}  // namespace
}  // namespace orbel::testhost
