// The plug-in state document: writing, reading, lenience and round trips.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "json/json_write.h"
#include "state/state_document.h"

namespace orbel {
namespace {

bool parse(const std::string& text, StateChunk& chunk) {
  return parseStateJson(text.data(), text.size(), chunk);
}

StateChunk parsed(const std::string& text) {
  StateChunk chunk;
  EXPECT_TRUE(parse(text, chunk)) << text;
  return chunk;
}

const double kZeros[kStateParamCount] = {};

TEST(StateDocument, MinimalWriterOutput) {
  EXPECT_EQ(writeStateJson(kZeros, 0, nullptr, kSamplerAssetNone, kZoneLegacySingleZone, nullptr,
                           nullptr, nullptr),
            "{\"params\":{\"osc.type\":0,\"osc.octave\":0,\"osc.detune\":0,\"filter.cutoff\":0,"
            "\"filter.resonance\":0,\"filter.envAmount\":0,\"ampEnv.attack\":0,\"ampEnv.decay\":0,"
            "\"ampEnv.sustain\":0,\"ampEnv.release\":0,\"master.gain\":0},\"variation\":0}");
  // A negative variation is left out.
  const std::string text = writeStateJson(kZeros, -1, nullptr, kSamplerAssetNone,
                                          kZoneLegacySingleZone, nullptr, nullptr, nullptr);
  EXPECT_EQ(text.find("variation"), std::string::npos);
}

TEST(StateDocument, EverythingWrittenInOrder) {
  const double params[kStateParamCount] = {2, -1, 12.5, 440, 0.7, -8, 0.01, 0.2, 0.7, 0.3, 0.8};
  CcMap map;
  map.count = 1;
  map.bindings[0].paramIndex = 3;
  map.bindings[0].cc = 74;
  SamplerPadOverrides pads(1);
  pads[0].pad = "kick";
  pads[0].mask = 1u << kPadGain;
  pads[0].values[kPadGain] = 2;
  BankStateRefOut bank;
  bank.id = "drums";
  bank.bankVersion = "1.2.0";
  bank.sha256 = "ab";
  bank.locator = "/x";
  bank.instrument = "kit";
  bank.presetId = "p1";
  const uint8_t bytes[] = {'a', 'b', 'c'};
  AuthoredStateOut authored{bytes, 3, 7};
  EXPECT_EQ(
      writeStateJson(params, 3, &map, kSamplerAssetMovedInMemory, kZoneKeyZonesPitch, &bank, &pads,
                     &authored),
      "{\"params\":{\"osc.type\":2,\"osc.octave\":-1,\"osc.detune\":12.5,\"filter.cutoff\":440,"
      "\"filter.resonance\":0.7,\"filter.envAmount\":-8,\"ampEnv.attack\":0.01,\"ampEnv.decay\":0."
      "2,"
      "\"ampEnv.sustain\":0.7,\"ampEnv.release\":0.3,\"master.gain\":0.8},\"variation\":3,"
      "\"ccMap\":{\"version\":1,\"bindings\":[{\"cc\":74,\"path\":\"filter.cutoff\"}]},"
      "\"samplerAssetFault\":\"moved-in-memory-asset\","
      "\"samplerZoneAbi\":\"orbel-dual-stack-sampler/zone-layer/v1\",\"samplerZoneVersion\":1,"
      "\"samplerZoneProgram\":\"key-zones-pitch\","
      "\"sampler\":{\"v\":1,\"pads\":{\"kick\":{\"gain\":2}}},"
      "\"bank\":{\"version\":1,\"id\":\"drums\",\"bankVersion\":\"1.2.0\",\"sha256\":\"ab\","
      "\"locator\":\"/x\","
      "\"source\":\"embedded\",\"instrument\":\"kit\",\"presetId\":\"p1\"},"
      "\"authoredState\":{\"v\":7,\"bytes\":\"YWJj\"}}");

  // Unknown codes and numbers fall back to their neutral names; empty sets and
  // empty authored bytes are left out.
  SamplerPadOverrides none;
  AuthoredStateOut empty{bytes, 0, 1};
  BankStateRefOut noId;
  noId.source = "hosted";
  const std::string text = writeStateJson(kZeros, -1, nullptr, SamplerAssetDiagnostic(12),
                                          SamplerZoneProgram(9), &noId, &none, &empty);
  EXPECT_NE(text.find("\"samplerAssetFault\":\"none\""), std::string::npos);
  EXPECT_NE(text.find("\"samplerZoneProgram\":\"legacy-single-zone\""), std::string::npos);
  EXPECT_EQ(text.find("sampler\":"), std::string::npos);
  EXPECT_EQ(text.find("bank"), std::string::npos);
  EXPECT_EQ(text.find("authored"), std::string::npos);
}

TEST(StateDocument, EmptyObjectGivesAClearedChunk) {
  const StateChunk chunk = parsed(" {} ");
  EXPECT_EQ(chunk.variation, -1);
  for (bool has : chunk.hasParam) {
    EXPECT_FALSE(has);
  }
  EXPECT_FALSE(chunk.hasCcMap || chunk.hasAssetFault || chunk.hasZoneProgram ||
               chunk.hasPadOverrides || chunk.hasAuthoredState || chunk.hasRef ||
               chunk.hasLocator || chunk.hasPresetId);
}

TEST(StateDocument, ParamValues) {
  const struct {
    const char* value;
    bool ok;
    bool recorded;
    double stored;
  } cases[] = {
      {"0.25", true, true, 0.25},
      {"true", true, true, 1.0},
      {"false", true, true, 0.0},
      {"\"3\"", true, false, 0},
      {"null", true, false, 0},
      {"[1,2]", true, false, 0},
      {"{\"a\":{\"b\":1}}", true, false, 0},
      {"nan", true, false, 0},  // not a value, as null
      {"-inf", true, false, 0},
      {"treble", false, false, 0},
      {"fals", false, false, 0},
      {"truex", false, false, 0},
      {"", false, false, 0},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("{\"params\":{\"filter.cutoff\":") + c.value + "}}";
    StateChunk chunk;
    EXPECT_EQ(parse(text, chunk), c.ok) << text;
    EXPECT_EQ(chunk.hasParam[3], c.recorded) << text;
    if (c.recorded) {
      EXPECT_EQ(chunk.params[3], c.stored) << text;
    }
  }
  // Exact paths only; a later member wins.
  const StateChunk chunk = parsed(
      R"({"params":{"Filter.cutoff":1,"filter.cutoff ":2,"master.gain":0.1,"master.gain":0.2,"x":{}}})");
  EXPECT_FALSE(chunk.hasParam[3]);
  EXPECT_TRUE(chunk.hasParam[10]);
  EXPECT_EQ(chunk.params[10], 0.2);
}

TEST(StateDocument, TopLevelMembers) {
  StateChunk chunk =
      parsed(R"({"variation":-3.9,"samplerZoneAbi":{"x":[1]},"samplerZoneVersion":1,)"
             R"("samplerZoneProgram":"one-shot-drum","future":[{"deep":true}]})");
  EXPECT_EQ(chunk.variation, -3);
  EXPECT_TRUE(chunk.hasZoneProgram);
  EXPECT_EQ(chunk.zoneProgram, kZoneOneShotDrum);

  chunk = parsed(R"({"variation":1e300})");
  EXPECT_EQ(chunk.variation, 2147483647);
  chunk = parsed(R"({"variation":nan})");
  EXPECT_EQ(chunk.variation, -1);

  chunk = parsed(R"({"samplerZoneProgram":"one-shot-drum","samplerZoneProgram":"warp"})");
  EXPECT_EQ(chunk.zoneProgram, kZoneOneShotDrum);  // an unknown name is ignored

  chunk = parsed(R"({"samplerAssetFault":"corrupt-in-memory-asset"})");
  EXPECT_TRUE(chunk.hasAssetFault);
  EXPECT_EQ(chunk.assetFault, kSamplerAssetCorruptInMemory);
  chunk = parsed(R"({"samplerAssetFault":"corrupt-in-memory-asset","samplerAssetFault":"gone"})");
  EXPECT_FALSE(chunk.hasAssetFault);
  EXPECT_EQ(chunk.assetFault, kSamplerAssetNone);

  chunk = parsed(R"({"ccMap":{"bindings":[{"cc":7,"path":"master.gain"}]}})");
  EXPECT_TRUE(chunk.hasCcMap);
  EXPECT_EQ(chunk.ccMap.count, 1u);
  chunk = parsed(R"({"ccMap":[]})");
  EXPECT_TRUE(chunk.hasCcMap);
  chunk = parsed(R"({"ccMap":{}})");
  EXPECT_FALSE(chunk.hasCcMap);
  chunk = parsed(R"({"ccMap":"none","sampler":5,"authoredState":null,"bank":"x"})");
  EXPECT_FALSE(chunk.hasCcMap || chunk.hasPadOverrides || chunk.hasAuthoredState || chunk.hasRef);
}

TEST(StateDocument, StructuralFailures) {
  const char* bad[] = {
      "",
      "[]",
      "{} {}",
      "{\"params\":[]}",
      "{\"params\":1}",
      "{\"variation\":\"1\"}",
      "{\"variation\":null}",
      "{\"samplerAssetFault\":1}",
      "{\"samplerZoneProgram\":null}",
      "{\"sampler\":{\"v\":\"1\"}}",
      "{\"authoredState\":{\"v\":true}}",
      "{\"bank\":{\"id\":\"unterminated}}",
      "{\"ccMap\":[{\"cc\":1,\"path\":2}]}",
      "{\"sampler\":{\"v\":1,\"pads\":{\"a\":{\"gain\":1}}}",
      "{\"a\":1,}",
      "{\"a\" 1}",
      "{\"a\":1 \"b\":2}",
  };
  for (const char* text : bad) {
    StateChunk chunk;
    EXPECT_FALSE(parse(text, chunk)) << text;
  }
  // Skipped members are bounded by the depth limit: the member sits at depth 1.
  const std::string ok = "{\"x\":" + std::string(31, '[') + "1" + std::string(31, ']') + "}";
  const std::string deep = "{\"x\":" + std::string(32, '[') + "1" + std::string(32, ']') + "}";
  StateChunk chunk;
  EXPECT_TRUE(parse(ok, chunk));
  EXPECT_FALSE(parse(deep, chunk));
}

TEST(StateDocument, FailedParseLeavesTheChunkUntouched) {
  StateChunk chunk = parsed(
      R"({"params":{"master.gain":0.5},"variation":2,"bank":{"id":"old"},"ccMap":[{"cc":1,"path":"osc.type"}]})");
  // Fails at the very end, after members that would have changed everything.
  ASSERT_FALSE(
      parse(R"({"params":{"master.gain":0.9,"osc.type":3},"variation":5,"bank":{"id":"new"},)"
            R"("ccMap":[],"sampler":{"v":1,"pads":{"a":{"gain":2}}},"samplerAssetFault":7})",
            chunk));
  EXPECT_EQ(chunk.params[10], 0.5);
  EXPECT_FALSE(chunk.hasParam[0]);
  EXPECT_EQ(chunk.variation, 2);
  EXPECT_STREQ(chunk.id, "old");
  EXPECT_EQ(chunk.ccMap.count, 1u);
  EXPECT_FALSE(chunk.hasPadOverrides);
}

TEST(StateDocument, SamplerExtension) {
  StateChunk chunk = parsed(R"({"sampler":{"pads":{"a":{"gain":2}},"v":1,"other":[1]}})");
  EXPECT_TRUE(chunk.hasPadOverrides);
  ASSERT_EQ(chunk.padOverrides.size(), 1u);
  EXPECT_EQ(chunk.padOverrides[0].values[kPadGain], 2);

  chunk = parsed(
      R"({"sampler":{"v":1,"pads":{"a":{"gain":2}}},"sampler":{"v":2,"pads":{"b":{"gain":3}}}})");
  ASSERT_EQ(chunk.padOverrides.size(), 1u);  // another version's pads are left alone
  EXPECT_EQ(chunk.padOverrides[0].pad, "a");

  chunk = parsed(R"({"sampler":{"v":1}})");
  EXPECT_FALSE(chunk.hasPadOverrides);
  chunk = parsed(R"({"sampler":{"v":1,"pads":[]}})");
  EXPECT_FALSE(chunk.hasPadOverrides);
}

TEST(StateDocument, AuthoredState) {
  StateChunk chunk = parsed(R"({"authoredState":{"bytes":"YWJj","v":4.7}})");
  EXPECT_TRUE(chunk.hasAuthoredState);
  EXPECT_EQ(chunk.authoredVersion, 4);
  EXPECT_EQ(std::string(chunk.authoredBytes.begin(), chunk.authoredBytes.end()), "abc");

  // Undecodable or empty bytes are not an error and change nothing.
  for (const char* text :
       {R"({"authoredState":{"v":1,"bytes":"YWJ"}})", R"({"authoredState":{"v":1,"bytes":""}})",
        R"({"authoredState":{"v":1,"bytes":7}})"}) {
    StateChunk kept = chunk;
    ASSERT_TRUE(parse(text, kept)) << text;
    EXPECT_EQ(kept.authoredVersion, 4) << text;
    EXPECT_EQ(kept.authoredBytes.size(), 3u) << text;
  }

  // The decoded size is bounded at 1 MiB.
  for (size_t size : {kAuthoredStateMaxBytes, kAuthoredStateMaxBytes + 1}) {
    std::vector<uint8_t> bytes(size, 0x5a);
    AuthoredStateOut authored{bytes.data(), bytes.size(), 1};
    const std::string text = writeStateJson(kZeros, -1, nullptr, kSamplerAssetNone,
                                            kZoneLegacySingleZone, nullptr, nullptr, &authored);
    StateChunk big;
    ASSERT_TRUE(parse(text, big));
    EXPECT_EQ(big.hasAuthoredState, size <= kAuthoredStateMaxBytes);
    EXPECT_EQ(big.authoredBytes.size(), size <= kAuthoredStateMaxBytes ? size : 0u);
  }
}

std::string bankWith(const std::string& member, size_t length) {
  return R"({"bank":{"id":"b",")" + member + R"(":")" + std::string(length, 'x') + R"("}})";
}

TEST(StateDocument, BankReferenceLengths) {
  const struct {
    const char* member;
    size_t longest;  // stored up to this many bytes
    size_t offset;   // field in the chunk
    bool StateChunk::*flag;
  } fields[] = {
      {"bankVersion", 31, offsetof(StateChunk, bankVersion), nullptr},
      {"sha256", 64, offsetof(StateChunk, sha256), nullptr},
      {"locator", 1023, offsetof(StateChunk, locator), &StateChunk::hasLocator},
      {"presetId", 63, offsetof(StateChunk, presetId), &StateChunk::hasPresetId},
      {"instrument", 63, offsetof(StateChunk, instrument), nullptr},
  };
  for (const auto& f : fields) {
    for (size_t length : {f.longest, f.longest + 1}) {
      StateChunk chunk;
      ASSERT_TRUE(parse(bankWith(f.member, length), chunk)) << f.member;
      EXPECT_TRUE(chunk.hasRef);
      const char* stored = reinterpret_cast<const char*>(&chunk) + f.offset;
      EXPECT_EQ(std::strlen(stored), length <= f.longest ? length : 0u)
          << f.member << " " << length;
      if (f.flag) {
        EXPECT_EQ(chunk.*f.flag, length <= f.longest) << f.member;
      }
    }
  }
  // The id: up to 127 bytes; longer empties it and stores nothing else.
  StateChunk chunk =
      parsed(R"({"bank":{"id":")" + std::string(127, 'i') + R"(","source":"hosted"}})");
  EXPECT_EQ(std::strlen(chunk.id), 127u);
  EXPECT_STREQ(chunk.source, "hosted");
  unsigned unused = 5;
  EXPECT_EQ(resolveBankStateRef(chunk, unused), 2u);
  EXPECT_EQ(unused, 5u);
  chunk = parsed(R"({"bank":{"id":")" + std::string(128, 'i') +
                 R"(","source":"hosted","locator":"/l"}})");
  EXPECT_STREQ(chunk.id, "");
  EXPECT_FALSE(chunk.hasRef || chunk.hasLocator);
  EXPECT_STREQ(chunk.source, "");
  EXPECT_EQ(resolveBankStateRef(chunk, unused), 0u);
  chunk = parsed(R"({"bank":{"id":"","bankVersion":"1"}})");
  EXPECT_FALSE(chunk.hasRef);
  EXPECT_STREQ(chunk.bankVersion, "");
}

TEST(StateDocument, BankReferenceSources) {
  StateChunk chunk =
      parsed(R"({"bank":{"version":1,"id":"b","source":"network","sha256":"s","extra":{}}})");
  EXPECT_TRUE(chunk.hasRef);
  EXPECT_STREQ(chunk.id, "b");
  EXPECT_STREQ(chunk.sha256, "s");
  EXPECT_STREQ(chunk.source, "");
  for (const char* source : {"embedded", "module-relative", "user-folder", "hosted"}) {
    chunk = parsed(std::string(R"({"bank":{"id":"b","source":")") + source + "\"}}");
    EXPECT_STREQ(chunk.source, source);
    EXPECT_TRUE(bankSourceNameKnown(source));
  }
  EXPECT_FALSE(bankSourceNameKnown(nullptr));
  EXPECT_FALSE(bankSourceNameKnown("Hosted"));
  // Non-string members are skipped.
  chunk = parsed(R"({"bank":{"id":"b","locator":["/x"],"presetId":7}})");
  EXPECT_FALSE(chunk.hasLocator || chunk.hasPresetId);
}

TEST(StateDocument, NameTables) {
  for (uint32_t p = 0; p < 8; ++p) {
    const char* name = samplerZoneProgramName(SamplerZoneProgram(p));
    EXPECT_TRUE(samplerZoneProgramNameKnown(name));
    EXPECT_EQ(samplerZoneProgramFromName(name), SamplerZoneProgram(p));
  }
  EXPECT_FALSE(samplerZoneProgramNameKnown(nullptr));
  EXPECT_FALSE(samplerZoneProgramNameKnown("one-shot"));
  EXPECT_EQ(samplerZoneProgramFromName("nope"), kZoneLegacySingleZone);
  EXPECT_EQ(samplerZoneProgramFromName(nullptr), kZoneLegacySingleZone);
  for (uint32_t code = 0x53410001; code <= 0x53410005; ++code) {
    const auto fault = SamplerAssetDiagnostic(code);
    EXPECT_EQ(samplerAssetDiagnosticFromName(samplerAssetDiagnosticName(fault)), fault);
  }
  EXPECT_STREQ(samplerAssetDiagnosticName(kSamplerAssetNone), "none");
}

// Random states written and read back give the same chunk. Non-finite
// parameter values are written as null, and null in "params" means "no value":
// those slots come back absent.
TEST(StateDocument, RandomRoundTrips) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> unit(-1e6, 1e6);
  const char* nasty[] = {"a\"b",        "back\\slash", "\\\"",    "tab\there",
                         "caf\xc3\xa9", "line\nfeed",  "\x01\x1f"};
  for (int round = 0; round < 200; ++round) {
    double params[kStateParamCount];
    for (double& p : params) {
      switch (rng() % 6) {
        case 0:
          p = std::numeric_limits<double>::quiet_NaN();
          break;
        case 1:
          p = (rng() & 1) ? std::numeric_limits<double>::infinity()
                          : -std::numeric_limits<double>::infinity();
          break;
        case 2:
          p = std::ldexp(unit(rng), int(rng() % 600) - 300);
          break;
        default:
          p = unit(rng);
          break;
      }
    }
    const int variation = int(rng() % 5) - 1;

    CcMap map;
    map.count = rng() % 65;
    for (uint32_t i = 0; i < map.count; ++i) {
      CcBinding& b = map.bindings[i];
      b.paramIndex = int32_t(rng() % ORBEL_PARAM_COUNT);
      b.cc = uint8_t(rng() % 128);
      b.channel = uint8_t(rng() % 17);
      b.curve = uint8_t(rng() % 4);
      b.valueMode = uint8_t(rng() % 5);
      b.takeover = uint8_t(rng() % 3);
      b.enabled = rng() & 1;
      b.hasMin = rng() & 1;
      b.hasMax = rng() & 1;
      b.min = b.hasMin ? unit(rng) : 0.0;
      b.max = b.hasMax ? unit(rng) : 0.0;
    }

    SamplerPadOverrides pads(rng() % 4);
    for (size_t i = 0; i < pads.size(); ++i) {
      pads[i].pad = std::string("pad ") + nasty[rng() % 7] + std::to_string(i);
      pads[i].mask = (rng() & 0x7fff) | 1u;
      for (size_t f = 0; f < kPadOverrideFieldCount; ++f) {
        if (!((pads[i].mask >> f) & 1)) continue;
        const PadOverrideFieldInfo& info = kPadOverrideFields[f];
        double v = info.minValue + (info.maxValue - info.minValue) *
                                       std::uniform_real_distribution<double>(0, 1)(rng);
        if (info.wholeNumber || info.flag) v = std::round(v);
        pads[i].values[f] = v;
      }
    }

    const std::string id = std::string(rng() % 100 + 1, 'i') + nasty[rng() % 7];
    const std::string locator = std::string(rng() % 1000, 'l') + nasty[rng() % 7];
    const std::string preset = nasty[rng() % 7];
    const char* sources[] = {"embedded", "module-relative", "user-folder", "hosted"};
    BankStateRefOut bank;
    bank.id = id.c_str();
    bank.bankVersion = "2.0.1";
    bank.sha256 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    bank.source = sources[rng() % 4];
    bank.locator = locator.c_str();
    bank.presetId = preset.c_str();
    bank.instrument = (rng() & 1) ? "kit" : nullptr;

    std::vector<uint8_t> blob(rng() % 300);
    for (uint8_t& byte : blob) byte = uint8_t(rng());
    AuthoredStateOut authored{blob.data(), blob.size(), int32_t(rng() % 10)};

    const auto fault = SamplerAssetDiagnostic((rng() & 1) ? 0 : 0x53410001 + rng() % 5);
    const auto program = SamplerZoneProgram(rng() % 8);
    const std::string text =
        writeStateJson(params, variation, &map, fault, program, &bank, &pads, &authored);

    StateChunk chunk;
    ASSERT_TRUE(parse(text, chunk)) << text;
    for (int s = 0; s < kStateParamCount; ++s) {
      EXPECT_EQ(chunk.hasParam[s], std::isfinite(params[s]));
      if (std::isfinite(params[s])) {
        EXPECT_EQ(chunk.params[s], params[s]);
      }
    }
    EXPECT_EQ(chunk.variation, variation);
    ASSERT_TRUE(chunk.hasCcMap);
    ASSERT_EQ(chunk.ccMap.count, map.count);
    for (uint32_t i = 0; i < map.count; ++i) {
      const CcBinding& a = map.bindings[i];
      const CcBinding& b = chunk.ccMap.bindings[i];
      EXPECT_TRUE(a.paramIndex == b.paramIndex && a.cc == b.cc && a.channel == b.channel &&
                  a.curve == b.curve && a.valueMode == b.valueMode && a.takeover == b.takeover &&
                  a.enabled == b.enabled && a.hasMin == b.hasMin && a.hasMax == b.hasMax &&
                  a.min == b.min && a.max == b.max)
          << "binding " << i;
    }
    EXPECT_EQ(chunk.hasAssetFault, fault != 0);
    EXPECT_EQ(chunk.assetFault, fault);
    EXPECT_EQ(chunk.hasZoneProgram, program != 0);
    EXPECT_EQ(chunk.zoneProgram, program);
    EXPECT_EQ(chunk.hasPadOverrides, !pads.empty());
    ASSERT_EQ(chunk.padOverrides.size(), pads.size());
    for (size_t i = 0; i < pads.size(); ++i) {
      EXPECT_EQ(chunk.padOverrides[i].pad, pads[i].pad);
      EXPECT_EQ(chunk.padOverrides[i].mask, pads[i].mask);
      for (size_t f = 0; f < kPadOverrideFieldCount; ++f) {
        EXPECT_EQ(chunk.padOverrides[i].values[f], pads[i].values[f]);
      }
    }
    EXPECT_TRUE(chunk.hasRef);
    EXPECT_EQ(std::string(chunk.id), id);
    EXPECT_STREQ(chunk.bankVersion, bank.bankVersion);
    EXPECT_STREQ(chunk.sha256, bank.sha256);
    EXPECT_STREQ(chunk.source, bank.source);
    EXPECT_EQ(std::string(chunk.locator), locator);
    EXPECT_TRUE(chunk.hasLocator);
    EXPECT_EQ(std::string(chunk.presetId), preset);
    EXPECT_STREQ(chunk.instrument, bank.instrument ? bank.instrument : "");
    EXPECT_EQ(chunk.hasAuthoredState, !blob.empty());
    EXPECT_EQ(chunk.authoredBytes, blob);
    if (!blob.empty()) {
      EXPECT_EQ(chunk.authoredVersion, authored.version);
    }

    // Writing what was read gives the same text again.
    if (!pads.empty() && !blob.empty()) {
      double again[kStateParamCount];
      for (int s = 0; s < kStateParamCount; ++s)
        again[s] = chunk.hasParam[s] ? chunk.params[s] : params[s];
      BankStateRefOut ref{chunk.id,       chunk.bankVersion, chunk.sha256, chunk.source,
                          chunk.presetId, chunk.instrument,  chunk.locator};
      AuthoredStateOut back{chunk.authoredBytes.data(), chunk.authoredBytes.size(),
                            chunk.authoredVersion};
      EXPECT_EQ(writeStateJson(again, chunk.variation, &chunk.ccMap, chunk.assetFault,
                               chunk.zoneProgram, &ref, &chunk.padOverrides, &back),
                text);
    }
  }
}

}  // namespace
}  // namespace orbel
