// The kernel keeps its own parameter table (its interface stands below the
// descriptor table); this holds the two together: same ids in the same
// order, same defaults, same ranges.
#include <gtest/gtest.h>

#include "kernel/kernel_runtime.h"
#include "kernel/mirel_voice.h"
#include "params/param_table.h"

namespace orbel {
namespace {

static_assert(MIREL_PARAMETER_COUNT == ORBEL_PARAM_COUNT);
static_assert(KERNEL_PARAMETER_COUNT == ORBEL_PARAM_COUNT);

TEST(KernelParameterTable, MatchesTheDescriptorTable) {
  for (std::size_t i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    const orbel_param_desc& desc = ORBEL_PARAMS[i];
    SCOPED_TRACE(desc.path);
    EXPECT_EQ(desc.id, i);
    EXPECT_EQ(MIREL_PARAMETER_IDS[i], desc.path);
    EXPECT_EQ(MIREL_PARAMETER_DEFAULTS[i], desc.defaultPlain);
    EXPECT_EQ(MIREL_PARAMETER_RANGES[i].low, desc.minValue);
    EXPECT_EQ(MIREL_PARAMETER_RANGES[i].high, desc.maxValue);
  }
}

}  // namespace
}  // namespace orbel
