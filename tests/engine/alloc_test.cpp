// Rendering allocates nothing and takes no lock, on both render paths.
#include <memory>
#include <mutex>

#include "tests/engine/engine_fixture.h"
#include "tests/support/alloc_guard.h"

namespace orbel::enginetest {
namespace {

TEST(AllocGuardTest, CountsAllocationsAndLocksOfThisThread) {
  test::AllocGuard guard;
  auto p = std::make_unique<int>(3);
  std::mutex m;
  m.lock();
  m.unlock();
  guard.stop();
  EXPECT_GE(guard.allocations(), 1u);
  EXPECT_EQ(guard.locks(), 1u);
  if (test::AllocGuard::mallocCounted()) {
    void* (*volatile allocate)(size_t) = std::malloc;  // not elided by the compiler
    test::AllocGuard g2;
    void* raw = allocate(16);
    g2.stop();
    std::free(raw);
    EXPECT_EQ(g2.allocations(), 1u);
  }
}

class RealtimeTest : public EngineTest,
                     public testing::WithParamInterface<std::pair<double, bool>> {};

TEST_P(RealtimeTest, ProcessBlockAllocatesNothingAndTakesNoLock) {
  const auto [rate, only48k] = GetParam();
  testkernel::config().only48k = only48k;
  testkernel::config().signal = testkernel::Signal::kGate;
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(rate, 512));
  ASSERT_EQ(engine.usesRateAdapter(), only48k);
  StereoOut out(600);
  std::vector<float> in(512, 0.1f);
  const float* inputs[2] = {in.data(), in.data()};

  test::AllocGuard guard;
  for (int block = 0; block < 200; ++block) {
    engine.setParamValue(3, 100.0 + block);  // a state recall racing the blocks
    engine.pushNoteOn(60 + block % 12, 0.8, block % 512, 0, 0);
    engine.pushParamNormalized(10, (block % 10) / 10.0, 37);
    engine.pushParamNormalized(3, 0.5, 0);
    engine.pushNoteOff(60 + block % 12, 500, 0, 0);
    engine.pushController(1, 64, 3, 0, 0);
    engine.processBlock(inputs, 2, out.ptrs, 2, 1 + (block * 37) % 512);
    if (block % 50 == 0) engine.processBlock(nullptr, 0, nullptr, 0, 0);
  }
  engine.processBlock(nullptr, 0, out.ptrs, 2, 600);  // refused block: failure path
  guard.stop();
  EXPECT_EQ(guard.allocations(), 0u);
  EXPECT_EQ(guard.locks(), 0u);
  EXPECT_FALSE(engine.outputSilent() && testkernel::acceptedCount() == 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, RealtimeTest,
                         testing::Values(std::make_pair(44100.0, false),
                                         std::make_pair(44100.0, true),
                                         std::make_pair(96000.0, true)));

}  // namespace
}  // namespace orbel::enginetest
