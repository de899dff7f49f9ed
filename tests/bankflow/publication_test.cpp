// Engine side of banks and pad overrides: refused banks and their diagnostics,
// pad-override publication with deferred reclamation, velocity sensitivity.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "engine/kernel_engine.h"
#include "state/state_document.h"

namespace orbel {
namespace {

SamplerPadOverride pad(const std::string& key, uint32_t mask = 1u << kPadGain, double gain = 0.5) {
  SamplerPadOverride o;
  o.pad = key;
  o.mask = mask;
  o.values[kPadGain] = gain;
  return o;
}

const orbel_runtime_diagnostic& lastRecord(const KernelEngine& engine) {
  const orbel_runtime_diagnostic_ring& ring = engine.diagnostics();
  EXPECT_GT(ring.count, 0u);
  return ring.records[ring.count > 0 ? ring.count - 1 : 0];
}

TEST(BankPublication, RefusesEveryBankAndRecordsFailures) {
  KernelEngine engine;
  EXPECT_FALSE(engine.publishRuntimeBank(std::make_shared<const StagedBank>()));
  EXPECT_FALSE(engine.publishRuntimeBank(nullptr));
  EXPECT_EQ(engine.publishedRuntimeBank(), nullptr);

  struct Case {
    RuntimeBankOutcome outcome;
    uint32_t code;
    const char* message;
    const char* detail;
  };
  const Case cases[] = {
      {kRuntimeBankHashMismatch, 28, "runtime bank load refused (bank-hash-mismatch): why",
       "{\"reason\":\"bank-hash-mismatch\",\"source\":\"hosted\"}"},
      {kRuntimeBankTooLarge, 27, "runtime bank load refused (bank-too-large): why",
       "{\"reason\":\"bank-too-large\",\"source\":\"hosted\"}"},
      {kRuntimeBankMalformed, 27, "runtime bank load refused (bank-malformed): why",
       "{\"reason\":\"bank-malformed\",\"source\":\"hosted\"}"},
  };
  for (const Case& c : cases) {
    engine.recordRuntimeBankFailure(c.outcome, "why", "hosted");
    const orbel_runtime_diagnostic& r = lastRecord(engine);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.severity, 2);
    EXPECT_EQ(r.phase, 4);
    EXPECT_STREQ(r.message, c.message);
    EXPECT_STREQ(r.detail, c.detail);
  }
  const uint32_t before = engine.diagnostics().count;
  engine.recordRuntimeBankFailure(kRuntimeBankOk, "x", "y");
  engine.recordBankRecallFailure(kBankRecallNone, "x");
  EXPECT_EQ(engine.diagnostics().count, before);

  // Long texts are cut, never overrun.
  engine.recordRuntimeBankFailure(kRuntimeBankMissing, std::string(400, 'm').c_str(),
                                  std::string(400, 's').c_str());
  EXPECT_EQ(std::strlen(lastRecord(engine).message), 191u);
  EXPECT_EQ(std::strlen(lastRecord(engine).detail), 127u);
}

TEST(BankPublication, RecallOfANamedBankReportsItMissing) {
  KernelEngine engine;
  StateChunk chunk;
  EXPECT_EQ(engine.recallSampleBank(chunk), 0u);
  std::strcpy(chunk.id, "grand");
  EXPECT_EQ(engine.recallSampleBank(chunk), 0u);  // no reference
  chunk.hasRef = true;
  EXPECT_EQ(engine.diagnostics().count, 0u);
  EXPECT_EQ(engine.recallSampleBank(chunk), 2u);
  const orbel_runtime_diagnostic& r = lastRecord(engine);
  EXPECT_EQ(r.code, 27u);
  EXPECT_EQ(r.phase, 9);
  EXPECT_STREQ(r.detail, "{\"bank\":\"grand\",\"banks\":0}");
  EXPECT_EQ(std::strncmp(r.message, "state recall named a bank this build does not contain", 53),
            0);

  engine.recordBankRecallFailure(kBankRecallHashDiffers, nullptr);
  EXPECT_EQ(lastRecord(engine).code, 28u);
  EXPECT_STREQ(lastRecord(engine).detail, "{\"bank\":\"\",\"banks\":0}");
}

TEST(PadOverridePublication, InvalidSetsAreRefusedWhole) {
  KernelEngine engine;
  ASSERT_TRUE(engine.publishSamplerPadOverrides({pad("kick")}));
  const auto current = engine.currentSamplerPadOverrides();
  const uint32_t generation = engine.samplerPadOverridesGeneration();
  EXPECT_EQ(generation, 1u);

  SamplerPadOverrides tooMany;
  for (int i = 0; i < 257; ++i) tooMany.push_back(pad("p" + std::to_string(i)));
  const SamplerPadOverrides bad[] = {
      tooMany,
      {pad("ok"), pad("zero", 0)},
      {pad("")},
      {pad(std::string(161, 'k'))},
  };
  for (const SamplerPadOverrides& set : bad) {
    EXPECT_FALSE(engine.publishSamplerPadOverrides(set));
    EXPECT_EQ(engine.currentSamplerPadOverrides(), current);
    EXPECT_EQ(engine.samplerPadOverridesGeneration(), generation);
  }
  tooMany.pop_back();
  tooMany.back().pad = std::string(160, 'k');
  EXPECT_TRUE(engine.publishSamplerPadOverrides(tooMany));
  EXPECT_EQ(engine.currentSamplerPadOverrides()->size(), 256u);
}

TEST(PadOverridePublication, RetiredSetsAreReleasedUnlessTheAudioSideHoldsThem) {
  KernelEngine engine;
  EXPECT_EQ(engine.acquireSamplerPadOverrides(), nullptr);

  ASSERT_TRUE(engine.publishSamplerPadOverrides({pad("a")}));
  std::weak_ptr<const SamplerPadOverrides> first = engine.currentSamplerPadOverrides();
  ASSERT_TRUE(engine.publishSamplerPadOverrides({pad("b")}));
  // Nobody acknowledged the first set: gone at the second publication.
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(engine.retiredSamplerPadOverrideCount(), 0u);

  // The audio side reads the second set; it survives two more publications.
  const SamplerPadOverrides* reading = engine.acquireSamplerPadOverrides();
  ASSERT_NE(reading, nullptr);
  EXPECT_EQ((*reading)[0].pad, "b");
  std::weak_ptr<const SamplerPadOverrides> second = engine.currentSamplerPadOverrides();
  ASSERT_TRUE(engine.publishSamplerPadOverrides({pad("c")}));
  ASSERT_TRUE(engine.publishSamplerPadOverrides({}));
  EXPECT_FALSE(second.expired());
  EXPECT_EQ(engine.retiredSamplerPadOverrideCount(), 1u);
  EXPECT_EQ((*reading)[0].pad, "b");

  // Once the audio side moves on, the next publication releases it.
  const SamplerPadOverrides* now = engine.acquireSamplerPadOverrides();
  ASSERT_NE(now, nullptr);
  EXPECT_TRUE(now->empty());
  ASSERT_TRUE(engine.publishSamplerPadOverrides({pad("d")}));
  EXPECT_TRUE(second.expired());
  EXPECT_EQ(engine.retiredSamplerPadOverrideCount(), 1u);  // the empty set, still acknowledged
  EXPECT_EQ(engine.samplerPadOverridesGeneration(), 5u);
}

TEST(PadOverridePublication, VelocitySensitivityFollowsFixedKeyZones) {
  KernelEngine engine;
  StagedBank bank;
  auto zone = [](const char* id, uint32_t low, uint32_t high, uint32_t tracking) {
    StagedZone z;
    z.id = id;
    z.lowKey = low;
    z.highKey = high;
    z.keyTracking = tracking;
    return z;
  };
  bank.zones = {zone("kick", 36, 36, 0), zone("snare", 38, 38, 0),   zone("kick2", 36, 36, 0),
                zone("wide", 40, 41, 0), zone("tracked", 42, 42, 1), zone("high", 200, 200, 0)};
  const uint32_t sens = 1u << kPadVelocitySensitivity;
  SamplerPadOverrides set = {pad("kick", sens, 0),    pad("snare", 1u << kPadGain),
                             pad("kick2", sens, 0),   pad("wide", sens, 0),
                             pad("tracked", sens, 0), pad("high", sens, 0)};
  for (auto& o : set) o.values[kPadVelocitySensitivity] = 0.25;

  engine.refreshSamplerPadVelocitySensitivity(&set, &bank);
  for (int key = 0; key < 128; ++key)
    EXPECT_EQ(engine.padVelocitySensitivity(key), key == 36 ? 0.25f : 1.0f) << key;

  // Without a bank (this instrument) every key keeps full sensitivity.
  engine.refreshSamplerPadVelocitySensitivity(&set, nullptr);
  EXPECT_EQ(engine.padVelocitySensitivity(36), 1.0f);
}

}  // namespace
}  // namespace orbel
