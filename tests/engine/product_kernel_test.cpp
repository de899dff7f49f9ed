// The engine with the product kernel it ships with.
#include <cmath>

#include "tests/engine/engine_fixture.h"
#include "tests/support/alloc_guard.h"

namespace orbel::enginetest {
namespace {

float peak(const std::vector<float>& v) {
  float p = 0.0f;
  for (float x : v) p = std::max(p, std::fabs(x));
  return p;
}

TEST(ProductKernelTest, RendersNotesAtTheHostRateWithoutAdapterOrAllocation) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    SCOPED_TRACE(rate);
    KernelEngine engine;
    ASSERT_TRUE(engine.setup(rate, 512));
    EXPECT_FALSE(engine.rateConverted());
    EXPECT_NE(engine.instanceToken(), 0u);
    StereoOut out(512);

    engine.processBlock(nullptr, 0, out.ptrs, 2, 512);
    EXPECT_TRUE(engine.outputSilent());

    test::AllocGuard guard;
    engine.pushNoteOn(57, 0.9, 100, 0, 0);
    engine.pushParamNormalized(3, 0.3, 0);
    engine.processBlock(nullptr, 0, out.ptrs, 2, 512);
    const bool failed = engine.lastBlockFailed();
    guard.stop();
    EXPECT_FALSE(failed);
    EXPECT_FALSE(engine.outputSilent());
    EXPECT_TRUE(allZero(out.left, 0, 100));
    EXPECT_GT(peak(out.left), 0.01f);
    EXPECT_EQ(out.left, out.right);
    EXPECT_EQ(guard.allocations(), 0u);
    EXPECT_EQ(guard.locks(), 0u);

    engine.drainRuntimeDiagnostics();
    EXPECT_EQ(engine.diagnostics().count, 0u);
    EXPECT_FALSE(KernelEngine::kernelTrapped());
  }
}

TEST(ProductKernelTest, RecreatedInstanceGetsTheChangedParameters) {
  KernelEngine engine;
  ASSERT_TRUE(engine.setup(48000.0, 256));
  engine.setParamValue(10, 0.0);  // master gain off
  StereoOut out(256);
  ASSERT_TRUE(engine.pushNoteOn(60, 1.0, 0, 0, 0));
  engine.processBlock(nullptr, 0, out.ptrs, 2, 256);
  EXPECT_TRUE(engine.outputSilent());

  ASSERT_TRUE(engine.setup(48000.0, 256));
  ASSERT_TRUE(engine.pushNoteOn(60, 1.0, 0, 0, 0));
  engine.processBlock(nullptr, 0, out.ptrs, 2, 256);
  EXPECT_TRUE(engine.outputSilent());  // the new instance got the gain of 0 too
  EXPECT_EQ(engine.kernelParamValue(10), 0.0);
}

}  // namespace
}  // namespace orbel::enginetest
