// orbel-probe's host instance against the built bundle: a state loaded with
// --load-state reaches the controller, so what the probe reads from the
// controller (the `params` view) matches what the processor plays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/state_document.h"
#include "params/param_table.h"
#include "tools/factory_info.h"
#include "tools/module_loader.h"
#include "tools/plugin_instance.h"

namespace orbel {
namespace {

using namespace Steinberg;

TEST(ProbeLoadState, SynchronisesTheController) {
  VstModule module;
  std::string error;
  ASSERT_TRUE(module.load(ORBEL_BUNDLE_PATH, error)) << error;
  FactoryInfo info;
  ASSERT_TRUE(readFactoryInfo(module.factory(), info, error)) << error;
  const FactoryClass* audio = findClass(info, kVstAudioEffectClass);
  ASSERT_NE(audio, nullptr);

  PluginInstance instance;
  ASSERT_TRUE(instance.open(module.factory(), *audio, error)) << error;
  ASSERT_NE(instance.controller(), nullptr);

  const double plain[kStateParamCount] = {3, 1, -50, 1200, 6, 4, 0.2, 0.9, 0.3, 1.5, 0.5};
  const std::string doc = writeStateJson(plain, -1, nullptr, kSamplerAssetNone,
                                         kZoneLegacySingleZone, nullptr, nullptr, nullptr);
  ASSERT_TRUE(instance.loadState(std::vector<uint8_t>(doc.begin(), doc.end()), error)) << error;
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    const double normalized = instance.controller()->getParamNormalized(i);
    EXPECT_EQ(normalized, orbel_param_normalize(&ORBEL_PARAMS[i], plain[i]))
        << ORBEL_PARAMS[i].path;
    EXPECT_DOUBLE_EQ(instance.controller()->normalizedParamToPlain(i, normalized), plain[i])
        << ORBEL_PARAMS[i].path;
  }

  // Saved again, the processor's state carries the same values.
  std::vector<uint8_t> saved;
  ASSERT_TRUE(instance.saveState(saved, error)) << error;
  StateChunk chunk;
  ASSERT_TRUE(parseStateJson(reinterpret_cast<const char*>(saved.data()), saved.size(), chunk));
  for (int i = 0; i < kStateParamCount; ++i) EXPECT_EQ(chunk.params[i], plain[i]) << i;
  instance.close();
}

}  // namespace
}  // namespace orbel
