// Two plug-in instances may render their own kernel instances on two audio
// threads at once. Each instance's output must be exactly what it renders
// alone (no shared per-call state), and ThreadSanitizer must find no race.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "tests/kernel/kernel_phrase.h"

namespace {

// Renders on an instance created beforehand (creation is a set-up call and
// stays on one thread).
std::vector<float> renderOn(const orbel::test::KernelApi& api, uint32_t handle,
                            const std::vector<orbel::test::PhraseBlock>& blocks) {
  std::vector<float> out;
  float* view = nullptr;
  uint64_t length = 0;
  api.outputView(handle, &view, &length);
  for (const auto& block : blocks) {
    for (const auto& e : block.events) {
      if (api.pushEvent(handle, e.kind, e.frame, e.a, e.value) != 0) return {};
    }
    if (api.process(handle, block.frames) != 0) return {};
    out.insert(out.end(), view, view + block.frames);
  }
  return out;
}

TEST(KernelConcurrency, InstancesOnTwoThreadsRenderAsIfAlone) {
  const orbel::test::KernelApi api = orbel::test::linkedKernel();
  ASSERT_EQ(api.runtimeInit(), 0.0);
  const auto phraseA = orbel::test::makePhrase(11, 1, 0.5, 48000);
  const auto phraseB = orbel::test::makePhrase(12, 3, 0.5, 44100);
  const std::vector<float> aloneA = orbel::test::renderPhrase(api, 48000, phraseA);
  const std::vector<float> aloneB = orbel::test::renderPhrase(api, 44100, phraseB);
  ASSERT_FALSE(aloneA.empty());
  ASSERT_FALSE(aloneB.empty());

  const auto a = static_cast<uint32_t>(api.create(128, 0, 1, 48000));
  const auto b = static_cast<uint32_t>(api.create(128, 0, 1, 44100));
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  std::vector<float> gotA, gotB;
  std::thread threadA([&] { gotA = renderOn(api, a, phraseA); });
  std::thread threadB([&] { gotB = renderOn(api, b, phraseB); });
  threadA.join();
  threadB.join();
  ASSERT_EQ(gotA.size(), aloneA.size());
  ASSERT_EQ(gotB.size(), aloneB.size());
  EXPECT_EQ(std::memcmp(gotA.data(), aloneA.data(), gotA.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(gotB.data(), aloneB.data(), gotB.size() * sizeof(float)), 0);
}

}  // namespace
