// The audio side's pad-override read allocates nothing and takes no lock.
#include <gtest/gtest.h>

#include "engine/kernel_engine.h"
#include "tests/support/alloc_guard.h"

namespace orbel {
namespace {

TEST(PadOverrideRealtime, AcquireIsAllocationFree) {
  KernelEngine engine;
  SamplerPadOverride o;
  o.pad = "kick";
  o.mask = 1;
  ASSERT_TRUE(engine.publishSamplerPadOverrides({o}));
  const SamplerPadOverrides* seen = nullptr;
  float sensitivity = 0;
  {
    test::AllocGuard guard;
    for (int i = 0; i < 100; ++i) seen = engine.acquireSamplerPadOverrides();
    sensitivity = engine.padVelocitySensitivity(60);
    guard.stop();
    EXPECT_EQ(guard.allocations(), 0u);
    EXPECT_EQ(guard.locks(), 0u);
  }
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->front().pad, "kick");
  EXPECT_EQ(sensitivity, 1.0f);
}

}  // namespace
}  // namespace orbel
