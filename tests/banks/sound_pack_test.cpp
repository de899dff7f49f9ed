// Sound pack loader: a pack written into a scratch folder loads with its
// entries, presets, arena and zones; each validation failure gives its
// outcome and message and hands back an empty bank.
#include "banks/sound_pack.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "banks/asset_verify.h"
#include "tests/banks/temp_dir.h"
#include "tests/banks/wav_bytes.h"

namespace orbel {
namespace {

using namespace orbel::test;

constexpr float q(int steps) { return float(steps) / 32768.0f; }

std::string hashOf(const Bytes& b) { return sha256Hex(b.data(), b.size()); }
std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }
Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A pack as a map of files; written out on demand so that each case can
// change one file first.
struct Pack {
  std::map<std::string, Bytes> files;

  void replace(const std::string& file, const std::string& from, const std::string& to) {
    std::string s = text(files.at(file));
    const size_t at = s.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    s.replace(at, from.size(), to);
    files[file] = bytes(s);
  }
  void writeTo(const TempDir& dir) const {
    for (const auto& [path, content] : files) dir.write(path, content);
  }
};

Pack demoPack() {
  Pack pack;
  const Bytes a = rampWav(6, 44100);  // frames 0..5 / 32768
  const Bytes b = simpleWav(3, 2, 48000, 32, f32({0.5f, 0.5f, 0.25f, 0.25f, -1.0f, -1.0f}));
  pack.files["a.wav"] = a;
  pack.files["samples/b.wav"] = b;
  pack.files["unused.wav"] = rampWav(2);
  pack.files["bank.json"] = bytes(
      "{\"format\":\"orbel-sound-pack/v1\",\"id\":\"demo\",\"version\":\"1.2\",\"name\":\"Demo "
      "Pack\",\"extra\":{\"x\":[1]},"
      "\"assetTable\":[{\"id\":\"a\",\"path\":\"a.wav\",\"bytes\":56,\"sha256\":\"" +
      hashOf(a) +
      "\"},"
      "{\"id\":\"b\",\"path\":\"./samples//b.wav\",\"bytes\":68,\"sha256\":\"" +
      hashOf(b) +
      "\",\"codec\":\"wav\"},"
      "{\"id\":\"u\",\"path\":\"unused.wav\"},7],"
      "\"instruments\":[{\"id\":\"bare\",\"name\":\"No "
      "Document\"},{\"id\":\"piano\",\"name\":\"Piano\",\"document\":\"inst.json\"},\"junk\"],"
      "\"kits\":[{\"id\":\"drums\",\"name\":\"Drums\",\"document\":\"kits/"
      "kit.json\"},{\"name\":\"no id\"}],"
      "\"presets\":[{\"id\":\"p1\",\"instrument\":\"piano\",\"document\":\"presets/p1.json\"},"
      "{\"id\":\"p2\",\"name\":\"No "
      "Document\"},{\"id\":\"p3\",\"document\":\"presets/empty.json\"},"
      "{\"id\":\"p4\",\"document\":\"../presets/p1.json\"},{\"name\":\"no "
      "id\",\"document\":\"presets/p1.json\"},"
      "{\"id\":\"p5\",\"name\":\"Bright\",\"document\":\"presets/p5.json\"}]}");
  pack.files["inst.json"] = bytes(
      "{\"format\":\"orbel-sampler-instrument/v1\",\"zones\":["
      "{\"id\":\"z1\",\"assetId\":\"b\",\"lowKey\":10.4,\"highKey\":200,\"rootKey\":-1,"
      "\"keyTracking\":false,"
      "\"lowVelocity\":1.5,\"highVelocity\":\"loud\",\"gain\":0.5,\"pan\":-0.25,\"fineTuneCents\":-"
      "7.5,"
      "\"roundRobinGroup\":3.9,\"chokeGroup\":-2,\"trigger\":\"release\",\"attackSeconds\":0.2,"
      "\"releaseSeconds\":1.5,"
      "\"reverse\":true,\"filterCutoffHz\":1200,\"filterResonance\":0.3},"
      "{\"id\":\"z2\",\"assetId\":\"a\",\"startFrame\":1,\"endFrame\":5,\"trigger\":\"legato\","
      "\"loopMode\":\"forward\",\"loopStartFrame\":2,\"loopEndFrame\":4,\"loopCrossfadeFrames\":1},"
      "\"not a zone\","
      "{\"id\":\"z3\",\"assetId\":\"b\",\"trigger\":\"Release\"}]}");
  pack.files["kits/kit.json"] = bytes(
      "{\"format\":\"orbel-sampler-instrument/"
      "v1\",\"zones\":[{\"id\":\"k1\",\"assetId\":\"a\",\"startFrame\":4}]}");
  pack.files["presets/p1.json"] = bytes(
      "{\"params\":{\"master.gain\":0.5,\"filter.cutoff\":1000,\"osc.type\":\"saw\",\"Z\":1e400,"
      "\"A\":-1}}");
  pack.files["presets/empty.json"] = bytes("{\"params\":{\"osc.type\":\"saw\"}}");
  pack.files["presets/p5.json"] = bytes("{\"params\":{\"osc.octave\":-1}}");
  return pack;
}

class SoundPackTest : public ::testing::Test {
protected:
  RuntimeBankLoad load(const Pack& pack, const std::string& instrument = "",
                       unsigned long capacity = 0) {
    pack.writeTo(dir_);
    return loadRuntimeBank(dir_.path(), capacity, instrument);
  }
  TempDir dir_;
};

TEST_F(SoundPackTest, DemoPackStagesInstrumentPresetsArenaAndZones) {
  const Pack pack = demoPack();
  const RuntimeBankLoad result = load(pack);
  ASSERT_EQ(result.outcome, kRuntimeBankOk) << result.message;
  EXPECT_EQ(result.message, "");
  const StagedBank& bank = result.bank;
  EXPECT_EQ(bank.id, "demo");
  EXPECT_EQ(bank.version, "1.2");
  EXPECT_EQ(bank.name, "Demo Pack");
  EXPECT_EQ(bank.sha256, hashOf(pack.files.at("bank.json")));
  // The first instrument has no document, so the second is staged.
  EXPECT_EQ(bank.instrumentId, "piano");
  EXPECT_EQ(bank.instrumentName, "Piano");
  EXPECT_EQ(bank.instrumentKind, "instruments");

  ASSERT_EQ(bank.entries.size(), 3u);
  const char* expected[][3] = {{"bare", "No Document", "instruments"},
                               {"piano", "Piano", "instruments"},
                               {"drums", "Drums", "kits"}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(bank.entries[i].id, expected[i][0]);
    EXPECT_EQ(bank.entries[i].name, expected[i][1]);
    EXPECT_EQ(bank.entries[i].kind, expected[i][2]);
  }

  // p2 (no document), p3 (no numbers), p4 (escapes) and the one without id are dropped.
  ASSERT_EQ(bank.presets.size(), 2u);
  const BankControlPreset& p1 = bank.presets[0].preset;
  EXPECT_EQ(p1.id, "p1");
  EXPECT_EQ(p1.name, "p1");
  EXPECT_EQ(p1.instrument, "piano");
  const std::vector<std::pair<std::string, double>> params = {
      {"A", -1}, {"filter.cutoff", 1000}, {"master.gain", 0.5}};
  EXPECT_EQ(p1.params, params);
  EXPECT_EQ(bank.presets[1].preset.name, "Bright");

  // b first (first used), then a; z3 shares b's copy.
  const std::vector<float> arena = {q(16384), q(8192), q(-32767), 0, q(1), q(2), q(3), q(4), q(5)};
  EXPECT_EQ(bank.samples, arena);
  ASSERT_EQ(bank.zones.size(), 3u);
  EXPECT_EQ(bank.sampleRate, 48000);

  const StagedZone& z1 = bank.zones[0];
  EXPECT_EQ(z1.id, "z1");
  EXPECT_EQ(z1.assetOffset, 0u);
  EXPECT_EQ(z1.assetFrames, 3u);
  EXPECT_EQ(z1.start, 0u);
  EXPECT_EQ(z1.frames, 3u);
  EXPECT_EQ(z1.sampleRate, 48000);
  EXPECT_EQ(z1.lowKey, 10u);
  EXPECT_EQ(z1.highKey, 127u);
  EXPECT_EQ(z1.rootKey, 0u);
  EXPECT_EQ(z1.keyTracking, 0u);
  EXPECT_EQ(z1.lowVelocity, 2u);
  EXPECT_EQ(z1.highVelocity, 127u);  // wrong kind: default
  EXPECT_EQ(z1.gain, 0.5);
  EXPECT_EQ(z1.pan, -0.25);
  EXPECT_EQ(z1.fineTuneCents, -7.5);
  EXPECT_EQ(z1.roundRobinGroup, 3u);
  EXPECT_EQ(z1.chokeGroup, 0u);
  EXPECT_EQ(z1.trigger, 1u);
  EXPECT_EQ(z1.attackSeconds, 0.2);
  EXPECT_EQ(z1.releaseSeconds, 1.5);
  EXPECT_EQ(z1.reverse, 1u);
  EXPECT_EQ(z1.filterCutoffHz, 1200);
  EXPECT_EQ(z1.filterResonance, 0.3);
  EXPECT_EQ(z1.loop, 0u);
  EXPECT_EQ(z1.loopStartDeclared, -1);
  EXPECT_EQ(z1.loopEndDeclared, -1);
  EXPECT_EQ(z1.loopCrossfadeDeclared, -1);

  const StagedZone& z2 = bank.zones[1];
  EXPECT_EQ(z2.assetOffset, 3u);
  EXPECT_EQ(z2.assetFrames, 6u);
  EXPECT_EQ(z2.start, 4u);
  EXPECT_EQ(z2.frames, 4u);
  EXPECT_EQ(z2.sampleRate, 44100);
  EXPECT_EQ(z2.trigger, 2u);
  EXPECT_EQ(z2.loop, 1u);
  EXPECT_EQ(z2.loopStart, 1u);
  EXPECT_EQ(z2.loopEnd, 3u);
  EXPECT_EQ(z2.loopCrossfade, 1u);
  EXPECT_EQ(z2.loopStartDeclared, 2);
  EXPECT_EQ(z2.loopEndDeclared, 4);
  EXPECT_EQ(z2.loopCrossfadeDeclared, 1);
  // Defaults of an untouched zone.
  EXPECT_EQ(z2.lowKey, 0u);
  EXPECT_EQ(z2.highKey, 127u);
  EXPECT_EQ(z2.rootKey, 60u);
  EXPECT_EQ(z2.keyTracking, 1u);
  EXPECT_EQ(z2.gain, 1.0);
  EXPECT_EQ(z2.attackSeconds, 0.001);
  EXPECT_EQ(z2.releaseSeconds, 0.05);
  EXPECT_EQ(z2.reverse, 0u);

  const StagedZone& z3 = bank.zones[2];
  EXPECT_EQ(z3.assetOffset, 0u);
  EXPECT_EQ(z3.trigger, 0u);  // "Release" is not "release"

  // A kit asked for by id, from the "kits" list.
  const RuntimeBankLoad kit = load(pack, "drums");
  ASSERT_EQ(kit.outcome, kRuntimeBankOk) << kit.message;
  EXPECT_EQ(kit.bank.instrumentKind, "kits");
  EXPECT_EQ(kit.bank.sampleRate, 44100);
  EXPECT_EQ(kit.bank.samples.size(), 6u);
  EXPECT_EQ(kit.bank.zones.at(0).start, 4u);
}

// One zone on a 100-frame asset placed after a 10-frame one, so that arena
// offsets and playable offsets are told apart.
struct ZoneCase {
  const char* members;
  uint32_t start, frames;
  uint32_t loop, loopStart, loopEnd, loopCrossfade;
  int32_t declaredStart, declaredEnd, declaredCrossfade;
};

TEST_F(SoundPackTest, ZonePlayableRangeAndLoopRules) {
  const ZoneCase cases[] = {
      {"", 10, 100, 0, 0, 0, 0, -1, -1, -1},
      {"\"startFrame\":100", 10, 100, 0, 0, 0, 0, -1, -1, -1},  // at the end: ignored
      {"\"startFrame\":-5,\"endFrame\":null", 10, 100, 0, 0, 0, 0, -1, -1, -1},
      {"\"startFrame\":10.9,\"endFrame\":50", 20, 40, 0, 0, 0, 0, -1, -1, -1},
      {"\"startFrame\":10,\"endFrame\":500", 20, 90, 0, 0, 0, 0, -1, -1,
       -1},  // cannot extend the asset
      {"\"startFrame\":10,\"endFrame\":10", 20, 90, 0, 0, 0, 0, -1, -1, -1},
      {"\"startFrame\":\"5\",\"endFrame\":1e300", 10, 100, 0, 0, 0, 0, -1, -1, -1},
      {"\"startFrame\":10,\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":60,"
       "\"loopCrossfadeFrames\":10",
       20, 90, 1, 10, 50, 10, 20, 60, 10},
      {"\"endFrame\":50,\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":60", 10, 50,
       0, 0, 0, 0, 20, 60, -1},
      {"\"loopMode\":\"forward\",\"loopStartFrame\":20,\"loopEndFrame\":60,\"loopCrossfadeFrames\":"
       "41",
       10, 100, 1, 20, 60, 0, 20, 60, 41},
      {"\"loopMode\":\"forward\",\"loopStartFrame\":-3,\"loopEndFrame\":100", 10, 100, 1, 0, 100, 0,
       0, 100, 0},
      {"\"startFrame\":10,\"loopMode\":\"forward\",\"loopStartFrame\":5,\"loopEndFrame\":50", 20,
       90, 0, 0, 0, 0, 5, 50, -1},
      {"\"loopMode\":\"forward\",\"loopStartFrame\":60,\"loopEndFrame\":60", 10, 100, 0, 0, 0, 0,
       60, 60, -1},
      {"\"loopMode\":\"forward\",\"loopStartFrame\":1e12,\"loopEndFrame\":3e12", 10, 100, 0, 0, 0,
       0, 2147483647, 2147483647, -1},
      {"\"loopMode\":\"Forward\",\"loopStartFrame\":20,\"loopEndFrame\":60", 10, 100, 0, 0, 0, 0,
       -1, -1, -1},
      {"\"loopMode\":\"forward\",\"loopStartFrame\":20", 10, 100, 0, 0, 0, 0, -1, -1, -1},
  };
  Pack pack;
  pack.files["pre.wav"] = rampWav(10);
  pack.files["r.wav"] = rampWav(100);
  pack.files["bank.json"] = bytes(
      "{\"format\":\"orbel-sound-pack/"
      "v1\",\"id\":\"z\",\"assetTable\":[{\"id\":\"pre\",\"path\":\"pre.wav\"},"
      "{\"id\":\"r\",\"path\":\"r.wav\"}],\"instruments\":[{\"id\":\"i\",\"document\":\"i.json\"}]"
      "}");
  for (const ZoneCase& c : cases) {
    SCOPED_TRACE(c.members);
    pack.files["i.json"] =
        bytes(std::string(
                  "{\"format\":\"orbel-sampler-instrument/v1\",\"zones\":[{\"assetId\":\"pre\"},") +
              "{\"assetId\":\"r\"" + (*c.members ? "," : "") + c.members + "}]}");
    const RuntimeBankLoad result = load(pack);
    ASSERT_EQ(result.outcome, kRuntimeBankOk) << result.message;
    ASSERT_EQ(result.bank.zones.size(), 2u);
    const StagedZone& z = result.bank.zones[1];
    EXPECT_EQ(z.assetOffset, 10u);
    EXPECT_EQ(z.assetFrames, 100u);
    EXPECT_EQ(z.start, c.start);
    EXPECT_EQ(z.frames, c.frames);
    EXPECT_EQ(z.loop, c.loop);
    EXPECT_EQ(z.loopStart, c.loopStart);
    EXPECT_EQ(z.loopEnd, c.loopEnd);
    EXPECT_EQ(z.loopCrossfade, c.loopCrossfade);
    EXPECT_EQ(z.loopStartDeclared, c.declaredStart);
    EXPECT_EQ(z.loopEndDeclared, c.declaredEnd);
    EXPECT_EQ(z.loopCrossfadeDeclared, c.declaredCrossfade);
  }
}

struct FailureCase {
  const char* name;
  std::function<void(Pack&, const TempDir&)> change;
  std::string instrument;
  unsigned long capacity;
  RuntimeBankOutcome outcome;
  std::string message;  // "{dir}" stands for the pack folder
};

TEST_F(SoundPackTest, EachValidationFailureGivesItsOutcomeAndMessage) {
  auto edit = [](const char* file, std::string from, std::string to) {
    return [=](Pack& p, const TempDir&) { p.replace(file, from, to); };
  };
  auto set = [](const char* file, std::string content) {
    return [=](Pack& p, const TempDir&) { p.files[file] = bytes(content); };
  };
  const std::string instHead = "{\"format\":\"orbel-sampler-instrument/v1\",\"zones\":";
  const std::string badHash = hashOf(simpleWav(1, 1, 44100, 16, pcm16({9, 9, 9, 9, 9, 9})));
  const FailureCase cases[] = {
      {"no bank.json", [](Pack& p, const TempDir&) { p.files.erase("bank.json"); }, "", 0,
       kRuntimeBankMissing, "cannot read {dir}/bank.json"},
      {"bank.json links out of the pack",
       [](Pack& p, const TempDir& dir) {
         p.files.erase("bank.json");
         std::filesystem::create_symlink("/etc/passwd", dir / "bank.json");
       },
       "", 0, kRuntimeBankMissing, "cannot read {dir}/bank.json"},
      {"manifest not an object", set("bank.json", "[1,2]"), "", 0, kRuntimeBankMalformed,
       "bank.json is not a JSON object"},
      {"manifest not JSON", set("bank.json", "{\"format\":"), "", 0, kRuntimeBankMalformed,
       "bank.json is not a JSON object"},
      {"format v2", edit("bank.json", "sound-pack/v1", "sound-pack/v2"), "", 0,
       kRuntimeBankMalformed,
       "bank.json format is \"orbel-sound-pack/v2\", expected orbel-sound-pack/v1"},
      {"no id", edit("bank.json", "\"id\":\"demo\",", ""), "", 0, kRuntimeBankMalformed,
       "bank.json declares no id"},
      {"empty assetTable", edit("bank.json", "\"assetTable\":[", "\"assetTable\":[],\"x\":["), "",
       0, kRuntimeBankMalformed, "bank.json declares no assetTable"},
      {"asset without path", edit("bank.json", "\"path\":\"unused.wav\"", "\"path\":7"), "", 0,
       kRuntimeBankMalformed, "assetTable entry missing id or path"},
      {"parent component", edit("bank.json", "\"unused.wav\"", "\"x/../unused.wav\""), "", 0,
       kRuntimeBankMalformed, "asset \"u\" path escapes the bank directory"},
      {"absolute path", edit("bank.json", "\"unused.wav\"", "\"/etc/passwd\""), "", 0,
       kRuntimeBankMalformed, "asset \"u\" path escapes the bank directory"},
      {"backslash", edit("bank.json", "\"unused.wav\"", "\"sub\\\\unused.wav\""), "", 0,
       kRuntimeBankMalformed, "asset \"u\" path escapes the bank directory"},
      {"symlink out of the pack",
       [](Pack& p, const TempDir& dir) {
         p.files.erase("unused.wav");
         std::filesystem::create_symlink("/etc/passwd", dir / "unused.wav");
       },
       "", 0, kRuntimeBankMalformed, "asset \"u\" path escapes the bank directory"},
      {"other codec",
       edit("bank.json", "\"path\":\"unused.wav\"", "\"path\":\"unused.wav\",\"codec\":\"flac\""),
       "", 0, kRuntimeBankUnsupportedCodec,
       "asset \"u\" codec \"flac\" is not decoded by the native runtime loader (wav only)"},
      {"asset file missing", [](Pack& p, const TempDir&) { p.files.erase("unused.wav"); }, "", 0,
       kRuntimeBankMissing, "asset \"u\" file missing: unused.wav"},
      {"size differs", edit("bank.json", "\"bytes\":56", "\"bytes\":55.9"), "", 0,
       kRuntimeBankHashMismatch, "asset \"a\" is 56 bytes, manifest declares 55"},
      {"huge declared size", edit("bank.json", "\"bytes\":56", "\"bytes\":1e30"), "", 0,
       kRuntimeBankHashMismatch,
       "asset \"a\" is 56 bytes, manifest declares 1000000000000000019884624838656"},
      {"content differs",
       [](Pack& p, const TempDir&) {
         p.files["a.wav"] = simpleWav(1, 1, 44100, 16, pcm16({9, 9, 9, 9, 9, 9}));
       },
       "", 0, kRuntimeBankHashMismatch,
       "asset \"a\" sha256 " + badHash.substr(0, 16) + "\xE2\x80\xA6 does not match the manifest"},
      {"upper-case digest",
       [](Pack& p, const TempDir&) {
         const std::string h = hashOf(p.files.at("a.wav"));
         std::string upper = h;
         for (char& c : upper) c = char(std::toupper(c));
         p.replace("bank.json", h, upper);
       },
       "", 0, kRuntimeBankHashMismatch,
       "asset \"a\" sha256 " + hashOf(rampWav(6, 44100)).substr(0, 16) +
           "\xE2\x80\xA6 does not match the manifest"},
      {"unknown instrument", nullptr, "organ", 0, kRuntimeBankInstrumentUnknown,
       "bank demo has no instrument or kit \"organ\" (known: bare, piano, drums)"},
      {"listed instrument without document", nullptr, "bare", 0, kRuntimeBankInstrumentUnknown,
       "bank demo has no instrument or kit \"bare\" (known: bare, piano, drums)"},
      {"bank lists none",
       [](Pack& p, const TempDir&) {
         p.replace("bank.json", "\"instruments\":[", "\"instruments\":0,\"i\":[");
         p.replace("bank.json", "\"kits\":[", "\"kits\":{},\"k\":[");
       },
       "organ", 0, kRuntimeBankInstrumentUnknown,
       "bank demo has no instrument or kit \"organ\" (the bank lists none)"},
      {"no document at all", edit("bank.json", "\"document\":\"inst.json\"", "\"doc\":1"), "piano",
       0, kRuntimeBankInstrumentUnknown,
       "bank demo has no instrument or kit \"piano\" (known: bare, piano, drums)"},
      {"no document, none requested",
       [](Pack& p, const TempDir&) {
         p.replace("bank.json", "\"document\":\"inst.json\"", "\"doc\":1");
         p.replace("bank.json", "\"document\":\"kits/kit.json\"", "\"doc\":1");
       },
       "", 0, kRuntimeBankMalformed, "bank.json names no readable instrument/kit document"},
      {"document escapes", edit("bank.json", "\"inst.json\"", "\"../inst.json\""), "", 0,
       kRuntimeBankMalformed, "bank.json names no readable instrument/kit document"},
      {"document links out of the pack",
       [](Pack& p, const TempDir& dir) {
         p.files.erase("inst.json");
         std::filesystem::create_symlink("/etc/passwd", dir / "inst.json");
       },
       "", 0, kRuntimeBankMalformed, "bank.json names no readable instrument/kit document"},
      {"document missing", [](Pack& p, const TempDir&) { p.files.erase("inst.json"); }, "", 0,
       kRuntimeBankMissing, "instrument document missing: inst.json"},
      {"document not an object", set("inst.json", "\"zones\""), "", 0, kRuntimeBankMalformed,
       "instrument document is not a JSON object"},
      {"document format", set("inst.json", "{\"zones\":[{}]}"), "", 0, kRuntimeBankMalformed,
       "instrument document format is \"\", expected orbel-sampler-instrument/v1"},
      {"no zones", set("inst.json", instHead + "[]}"), "", 0, kRuntimeBankMalformed,
       "instrument document declares no zones"},
      {"zones not an array", set("inst.json", instHead + "{}}"), "", 0, kRuntimeBankMalformed,
       "instrument document declares no zones"},
      {"undeclared asset",
       set("inst.json", instHead + "[{\"assetId\":\"a\"},{\"id\":\"z9\",\"assetId\":\"nope\"}]}"),
       "", 0, kRuntimeBankMalformed,
       "zone \"z9\" names asset \"nope\" which the assetTable does not declare"},
      {"zone without asset", set("inst.json", instHead + "[{\"id\":\"z0\"}]}"), "", 0,
       kRuntimeBankMalformed, "zone \"z0\" names asset \"\" which the assetTable does not declare"},
      {"asset is not a WAV",
       [](Pack& p, const TempDir&) {
         p.files["unused.wav"] = bytes("OggS");
         p.replace("inst.json", "\"assetId\":\"b\",\"trigger\"", "\"assetId\":\"u\",\"trigger\"");
       },
       "", 0, kRuntimeBankUnsupportedCodec, "asset \"u\": not a RIFF/WAVE file"},
      {"asset of 8-bit PCM",
       [](Pack& p, const TempDir&) {
         p.files["unused.wav"] = simpleWav(1, 1, 8000, 8, {1, 2});
         p.replace("inst.json", "\"assetId\":\"b\",\"trigger\"", "\"assetId\":\"u\",\"trigger\"");
       },
       "", 0, kRuntimeBankUnsupportedCodec, "asset \"u\": unsupported WAV format tag 1 / 8-bit"},
      {"only non-object zones", set("inst.json", instHead + "[1,\"z\",null]}"), "", 0,
       kRuntimeBankMalformed, "bank staged no zones or no samples"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Pack pack = demoPack();
    if (c.change) c.change(pack, dir);
    pack.writeTo(dir);
    const RuntimeBankLoad result = loadRuntimeBank(dir.path(), c.capacity, c.instrument);
    std::string message = c.message;
    if (const size_t at = message.find("{dir}"); at != std::string::npos)
      message.replace(at, 5, dir.path());
    EXPECT_EQ(result.outcome, c.outcome) << runtimeBankOutcomeName(result.outcome);
    EXPECT_EQ(result.message, message);
    EXPECT_TRUE(result.bank.id.empty() && result.bank.entries.empty() &&
                result.bank.samples.empty() && result.bank.zones.empty() &&
                result.bank.sha256.empty());
    EXPECT_EQ(result.bank.sampleRate, 48000);
  }
}

// Three assets (one of 1001 frames, one of 10, an empty file) and two
// instruments: "big" plays the first, "two" the first two.
Pack arenaPack() {
  Pack pack;
  pack.files["big.wav"] = rampWav(1001);
  pack.files["small.wav"] = rampWav(10);
  pack.files["empty.bin"] = Bytes();
  pack.files["bank.json"] = bytes(
      "{\"format\":\"orbel-sound-pack/"
      "v1\",\"id\":\"t\",\"assetTable\":[{\"id\":\"big\",\"path\":\"big.wav\"},"
      "{\"id\":\"small\",\"path\":\"small.wav\"},{\"id\":\"e\",\"path\":\"empty.bin\",\"bytes\":0}]"
      ","
      "\"instruments\":[{\"id\":\"big\",\"document\":\"big.json\"},{\"id\":\"two\",\"document\":"
      "\"two.json\"}]}");
  pack.files["big.json"] =
      bytes("{\"format\":\"orbel-sampler-instrument/v1\",\"zones\":[{\"assetId\":\"big\"}]}");
  pack.files["two.json"] = bytes(
      "{\"format\":\"orbel-sampler-instrument/"
      "v1\",\"zones\":[{\"assetId\":\"small\"},{\"assetId\":\"big\"},{\"assetId\":\"small\"}]}");
  return pack;
}

TEST_F(SoundPackTest, ArenaCapacityIsEnforcedAfterEachAsset) {
  const Pack pack = arenaPack();

  const struct {
    const char* instrument;
    unsigned long capacity;
    RuntimeBankOutcome outcome;
    const char* message;
    size_t arenaFrames;
  } cases[] = {
      {"big", 1000, kRuntimeBankTooLarge, "bank needs 1001 arena frames, the kernel published 1000",
       0},
      {"big", 1001, kRuntimeBankOk, "", 1001},
      {"big", 0, kRuntimeBankOk, "", 1001},
      {"two", 1010, kRuntimeBankTooLarge, "bank needs 1011 arena frames, the kernel published 1010",
       0},
      {"two", 1011, kRuntimeBankOk, "", 1011},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.instrument) + " " + std::to_string(c.capacity));
    const RuntimeBankLoad result = load(pack, c.instrument, c.capacity);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(result.bank.samples.size(), c.arenaFrames);
  }
}

// A saved project may name any folder: a load stops at its asset count and
// byte limits before it reads the file that would pass them.
TEST_F(SoundPackTest, AssetCountAndByteLimitsRefuseBeforeReadingOn) {
  Pack pack = arenaPack();
  // Instrument "big" reads every file but two.json, its document last.
  uint64_t all = 0;
  for (const auto& [path, content] : pack.files) all += path == "two.json" ? 0 : content.size();
  const uint64_t manifest = pack.files["bank.json"].size();
  const auto exceeds = [](uint64_t limit, const char* at) {
    return "bank files exceed the " + std::to_string(limit) + "-byte limit (at " + at + ")";
  };
  const struct {
    uint32_t maxAssets;
    uint64_t maxBytes;
    RuntimeBankOutcome outcome;
    std::string message;
  } cases[] = {
      {3, all, kRuntimeBankOk, ""},
      {2, all, kRuntimeBankTooLarge, "bank declares 3 assets, more than the 2 a bank may hold"},
      {3, all - 1, kRuntimeBankTooLarge, exceeds(all - 1, "big.json")},
      {3, manifest + 10, kRuntimeBankTooLarge, exceeds(manifest + 10, "big.wav")},
      {3, manifest - 1, kRuntimeBankTooLarge, exceeds(manifest - 1, "bank.json")},
  };
  pack.writeTo(dir_);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.maxAssets) + " " + std::to_string(c.maxBytes));
    const RuntimeBankLoad result =
        loadRuntimeBank(dir_.path(), 0, "big", {c.maxAssets, c.maxBytes});
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(result.bank.samples.size(), c.outcome == kRuntimeBankOk ? 1001u : 0u);
  }
}

TEST(SoundPackNames, OutcomeNames) {
  const char* names[] = {"ok",
                         "bank-missing",
                         "bank-hash-mismatch",
                         "bank-malformed",
                         "bank-unsupported-codec",
                         "bank-too-large",
                         "bank-instrument-unknown",
                         "bank-missing",
                         "bank-missing"};
  for (int i = 0; i < 9; ++i)
    EXPECT_STREQ(runtimeBankOutcomeName(RuntimeBankOutcome(i == 8 ? 255 : i)), names[i]);
}

}  // namespace
}  // namespace orbel
