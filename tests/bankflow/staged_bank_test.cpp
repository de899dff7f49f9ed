// Runtime bank replies, load-and-publish and recall from a saved state.
#include "staging/staged_bank.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/kernel_engine.h"
#include "tests/bankflow/pack.h"

namespace orbel {
namespace {

using test::TempDir;

const orbel_runtime_diagnostic& lastRecord(const KernelEngine& engine) {
  const orbel_runtime_diagnostic_ring& ring = engine.diagnostics();
  EXPECT_GT(ring.count, 0u);
  return ring.records[ring.count > 0 ? ring.count - 1 : 0];
}

TEST(RuntimeBankReply, EncodesOutcomeAndBankSummary) {
  EXPECT_EQ(encodeRuntimeBankReply(nullptr, "", nullptr), "missing\n");
  EXPECT_EQ(encodeRuntimeBankReply("bank-malformed", "bad", nullptr), "bank-malformed\nbad");

  StagedBank bank;
  bank.instrumentId = "keys";
  bank.instrumentName = "Keys";
  bank.instrumentKind = "instruments";
  bank.entries = {{"keys", "Keys", "instruments"}, {"drums", "Drums", "kits"}};
  StagedPreset preset;
  preset.preset = {"p1", "Soft", "keys", {{"master.gain", 0.1}, {"filter.cutoff", 1000}}};
  bank.presets = {preset};
  EXPECT_EQ(encodeRuntimeBankReply("ok", "", &bank),
            "ok\n\nkeys\tKeys\tinstruments\nkeys\tKeys\tinstruments\ndrums\tDrums\tkits\n"
            "\x01p1\tSoft\tkeys\tmaster.gain=0.10000000000000001\x1f"
            "filter.cutoff=1000");
}

TEST(RuntimeBankLoad, EngineWithoutBanksRefusesBeforeReadingTheFolder) {
  TempDir dir;
  test::writeSmallPack(dir, "pack");
  const std::string refused = "bank-too-large\nthe engine refused the staged bank (arena capacity)";
  // A valid pack and a folder that is not there get the same answer: the
  // engine was asked first, and nothing was read.
  for (const std::string& folder : {dir / "pack", dir / "nowhere"}) {
    SCOPED_TRACE(folder);
    KernelEngine engine;
    EXPECT_EQ(loadAndPublishRuntimeBank(engine, folder, "hosted", "keys"), refused);
    EXPECT_EQ(lastRecord(engine).code, 27u);
    EXPECT_STREQ(lastRecord(engine).message,
                 "runtime bank load refused (bank-too-large): the engine refused the staged bank "
                 "(arena capacity)");
    EXPECT_STREQ(lastRecord(engine).detail,
                 "{\"reason\":\"bank-too-large\",\"source\":\"hosted\"}");
    EXPECT_EQ(engine.publishedRuntimeBank(), nullptr);
  }
}

std::string gCacheRoot;
std::string cacheRoot() { return gCacheRoot; }

TEST(RuntimeBankRecall, FollowsTheReferenceRules) {
  TempDir dir;
  struct Case {
    const char* source;
    bool hasLocator;
    const char* locator;
    const char* sha;
    bool attempted;
    std::string folder;  // where a load would look
  };
  gCacheRoot = dir / "cache";
  const std::string pin(64, 'a');
  // 64 characters, but a path that would climb out of the cache.
  const std::string climbing = std::string(61, '.').replace(0, 6, "../../") + "etc";
  const std::string upperPin(64, 'A');
  const Case cases[] = {
      {"embedded", true, "/x", "", false, ""},
      {"user-folder", false, "/x", "", false, ""},
      {"user-folder", true, "", "", false, ""},
      {"user-folder", true, "/nowhere", "", true, "/nowhere"},
      {"hosted", true, "/nowhere", "", true, "/nowhere"},
      // Only a pin (64 lowercase hex digits) is looked up in the cache.
      {"hosted", true, "/nowhere", pin.c_str(), true, dir / "cache" + "/" + pin},
      {"hosted", true, "/nowhere", "abc", true, "/nowhere"},
      {"hosted", true, "/nowhere", climbing.c_str(), true, "/nowhere"},
      {"hosted", true, "/nowhere", upperPin.c_str(), true, "/nowhere"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + c.locator + " " + c.sha);
    KernelEngine engine;
    StateChunk chunk;
    chunk.hasRef = true;
    chunk.hasLocator = c.hasLocator;
    std::strcpy(chunk.source, c.source);
    std::strcpy(chunk.locator, c.locator);
    std::strcpy(chunk.sha256, c.sha);
    EXPECT_EQ(runtimeBankRecallWanted(chunk), c.attempted);
    std::string source = "s", locator = "l", sha = "h", instrument = "i";
    EXPECT_FALSE(
        recallRuntimeBankFromChunk(engine, chunk, source, locator, sha, instrument, cacheRoot));
    if (!c.attempted) {
      EXPECT_EQ(engine.diagnostics().count, 0u);
      EXPECT_EQ(source + locator + sha + instrument, "slhi");
      continue;
    }
    EXPECT_EQ(runtimeBankRecallFolder(chunk, cacheRoot), c.folder);
    EXPECT_EQ(source + locator + sha + instrument, "");
    EXPECT_STREQ(
        lastRecord(engine).detail,
        ("{\"reason\":\"bank-too-large\",\"source\":\"" + std::string(c.source) + "\"}").c_str());
  }

  // With no bank published there is no reference to fill.
  KernelEngine engine;
  BankStateRefOut out;
  out.id = "untouched";
  std::string scratch;
  EXPECT_FALSE(fillBankStateRef(engine, "user-folder", "/x", "", out, scratch));
  EXPECT_STREQ(out.id, "untouched");
}

}  // namespace
}  // namespace orbel
