#include "diagnostics/host_facts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace orbel {
namespace {

HostFacts stereoHost() {
  HostFacts facts;
  std::strcpy(facts.hostName, "Probe");
  std::strcpy(facts.hostVersion, "1.2");
  std::strcpy(facts.hostPath, "/usr/bin/probe");
  facts.validatorHost = HostFacts::kValidatorOrbelProbe;
  facts.sampleRate = 48000;
  facts.maxBlockFrames = 512;
  facts.lastBlockFrames = 256;
  facts.addBus("out0", false, 2, true, "stereo");
  return facts;
}

TEST(HostFacts, DefaultsAndBuses) {
  HostFacts facts;
  EXPECT_EQ(facts.lastBlockFrames, -1);
  EXPECT_EQ(facts.sampleSize, 32);
  EXPECT_EQ(facts.sampleRate, 0.0);
  EXPECT_EQ(facts.busCount, 0u);
  EXPECT_EQ(facts.hostName[0], '\0');

  facts.addBus(std::string(40, 'i').c_str(), true, 1, false, std::string(30, 'l').c_str());
  facts.addBus(nullptr, false, 2, true, nullptr);
  EXPECT_EQ(std::string(facts.buses[0].id), std::string(31, 'i'));
  EXPECT_EQ(std::string(facts.buses[0].layout), std::string(23, 'l'));
  EXPECT_EQ(facts.buses[0].isInput, 1);
  EXPECT_STREQ(facts.buses[1].id, "");
  for (int i = 0; i < 10; ++i) facts.addBus("x", false, 2, true, "stereo");
  EXPECT_EQ(facts.busCount, 8u);
}

TEST(HostFacts, HostBlockJson) {
  std::string out;
  writeDiagnosticHostJson(out, HostFacts{});
  EXPECT_EQ(out,
            "{\"sampleRate\":0,\"maxBlockFrames\":0,\"processMode\":\"realtime\",\"sampleSize\":32,"
            "\"latencySamples\":0,\"tailSamples\":\"unreported\",\"buses\":[]}");

  HostFacts facts = stereoHost();
  facts.addBus("in0", true, 1, false, "");
  facts.processMode = HostFacts::kProcessOffline;
  facts.tailKind = HostFacts::kTailInfinite;
  facts.internalSampleRate = 48000;
  facts.bypassKnown = 1;
  facts.bypassed = true;
  out.clear();
  writeDiagnosticHostJson(out, facts);
  EXPECT_EQ(
      out,
      "{\"hostName\":\"Probe\",\"hostVersion\":\"1.2\",\"hostPath\":\"/usr/bin/probe\","
      "\"validatorHost\":\"orbel-probe\",\"sampleRate\":48000,\"maxBlockFrames\":512,"
      "\"lastBlockFrames\":256,\"processMode\":\"offline\",\"sampleSize\":32,\"latencySamples\":0,"
      "\"tailSamples\":\"infinite\",\"internalSampleRate\":48000,\"buses\":[{\"id\":\"out0\","
      "\"direction\":\"output\",\"channels\":2,\"active\":true,\"layout\":\"stereo\"},{\"id\":"
      "\"in0\","
      "\"direction\":\"input\",\"channels\":1,\"active\":false}],\"bypassed\":true}");

  facts.tailKind = HostFacts::kTailSamples;
  facts.tailSamples = 4410;
  facts.sampleRate = std::numeric_limits<double>::quiet_NaN();
  facts.validatorHost = 9;  // no name: omitted
  out.clear();
  writeDiagnosticHostJson(out, facts);
  EXPECT_NE(out.find("\"tailSamples\":4410,"), std::string::npos);
  EXPECT_NE(out.find("\"sampleRate\":null,"), std::string::npos);
  EXPECT_EQ(out.find("validatorHost"), std::string::npos);
}

struct ChangeCase {
  const char* name;
  void (*change)(HostFacts&);
  const char* kind;   // nullptr: none
  const char* delta;  // nullptr: empty
};

TEST(HostFacts, DeltaAndChangeKind) {
  const ChangeCase cases[] = {
      {"nothing", [](HostFacts&) {}, nullptr, nullptr},
      {"identity only", [](HostFacts& f) { std::strcpy(f.hostName, "Other"); }, nullptr, nullptr},
      {"sample rate", [](HostFacts& f) { f.sampleRate = 44100; }, "sampleRateChanged",
       "{\"sampleRate\":44100}"},
      {"max block", [](HostFacts& f) { f.maxBlockFrames = 1024; }, "blockSizeChanged",
       "{\"maxBlockFrames\":1024}"},
      {"last block", [](HostFacts& f) { f.lastBlockFrames = 128; }, "blockSizeChanged",
       "{\"lastBlockFrames\":128}"},
      {"last block unknown again", [](HostFacts& f) { f.lastBlockFrames = -1; }, "blockSizeChanged",
       nullptr},
      {"bus layout", [](HostFacts& f) { std::strcpy(f.buses[0].layout, "mono"); },
       "busLayoutChanged",
       "{\"buses\":[{\"id\":\"out0\",\"direction\":\"output\",\"channels\":2,\"active\":true,"
       "\"layout\":\"mono\"}]}"},
      {"bus added", [](HostFacts& f) { f.addBus("in0", true, 2, true, "stereo"); },
       "busLayoutChanged", nullptr /* checked below */},
      {"latency", [](HostFacts& f) { f.latencySamples = 64; }, "latencyChanged",
       "{\"latencySamples\":64}"},
      {"tail", [](HostFacts& f) { f.tailKind = HostFacts::kTailSamples; }, "tailChanged",
       "{\"tailSamples\":0}"},
      {"process mode", [](HostFacts& f) { f.processMode = HostFacts::kProcessPrefetch; },
       "processModeChanged", "{\"processMode\":\"prefetch\"}"},
      {"bypass becomes known", [](HostFacts& f) { f.bypassKnown = 1; }, "bypassChanged",
       "{\"bypassed\":false}"},
      {"bypass unknown value moves", [](HostFacts& f) { f.bypassed = true; }, nullptr, nullptr},
      {"sample size", [](HostFacts& f) { f.sampleSize = 64; }, "configured", "{\"sampleSize\":64}"},
      {"internal rate", [](HostFacts& f) { f.internalSampleRate = 48000; }, "sampleRateChanged",
       "{\"internalSampleRate\":48000}"},
      {"internal rate back to host rate", [](HostFacts& f) { f.internalSampleRate = -1; },
       "sampleRateChanged", nullptr},
      {"rate and latency: first match wins",
       [](HostFacts& f) {
         f.latencySamples = 10;
         f.sampleRate = 96000;
       },
       "sampleRateChanged", "{\"sampleRate\":96000,\"latencySamples\":10}"},
  };
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const HostFacts before = stereoHost();
    HostFacts after = before;
    c.change(after);
    const char* kind = diagnosticHostChangeKind(before, after);
    if (c.kind == nullptr) {
      EXPECT_EQ(kind, nullptr);
    } else {
      ASSERT_NE(kind, nullptr);
      EXPECT_STREQ(kind, c.kind);
    }
    std::string delta = "x";
    const bool produced = writeDiagnosticHostDeltaJson(delta, before, after);
    if (std::string(c.name) == "bus added") {
      EXPECT_TRUE(produced);
      EXPECT_NE(delta.find("\"id\":\"in0\""), std::string::npos);
      continue;
    }
    EXPECT_EQ(produced, c.delta != nullptr);
    EXPECT_EQ(delta, c.delta != nullptr ? "x" + std::string(c.delta) : "x");
  }

  // A host that keeps reporting an unusable rate has not changed it.
  HostFacts nanRate = stereoHost();
  nanRate.sampleRate = std::numeric_limits<double>::quiet_NaN();
  std::string delta;
  EXPECT_EQ(diagnosticHostChangeKind(nanRate, nanRate), nullptr);
  EXPECT_FALSE(writeDiagnosticHostDeltaJson(delta, nanRate, nanRate));
}

TEST(HostFacts, HostChangedAnnouncement) {
  const HostFacts before = stereoHost();
  HostFacts after = before;
  after.lastBlockFrames = 128;
  std::string out;
  ASSERT_TRUE(writeDiagnosticHostChangedJson(out, before, after, 3, 0));
  EXPECT_EQ(
      out,
      "{\"type\":\"orbel.hostChanged\",\"host\":{\"lastBlockFrames\":128},\"event\":{\"seq\":3,"
      "\"timeMs\":0,\"kind\":\"blockSizeChanged\"}}");

  // A change with a kind but an empty delta announces nothing.
  after.lastBlockFrames = -1;
  out = "x";
  EXPECT_FALSE(writeDiagnosticHostChangedJson(out, before, after, 4, 0));
  EXPECT_EQ(out, "x");

  // Bypass becoming known, announced with a non-finite time.
  after = before;
  after.bypassKnown = 1;
  after.bypassed = true;
  out.clear();
  ASSERT_TRUE(writeDiagnosticHostChangedJson(out, before, after, 5,
                                             std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(out,
            "{\"type\":\"orbel.hostChanged\",\"host\":{\"bypassed\":true},\"event\":{\"seq\":5,"
            "\"timeMs\":null,\"kind\":\"bypassChanged\"}}");
}

TEST(TransportFact, DiffersOnlyBeyondThePlayhead) {
  const TransportFact base{};
  TransportFact moved = base;
  moved.atFrame = 999;
  moved.ppqPosition = 4.5;
  moved.barPositionPpq = 4;
  moved.projectTimeSamples = 123456;
  EXPECT_FALSE(base.differsFrom(moved));

  void (*changes[])(TransportFact&) = {
      [](TransportFact& f) { f.source = TransportFact::kSourceHost; },
      [](TransportFact& f) { f.playing = true; },
      [](TransportFact& f) { f.recording = true; },
      [](TransportFact& f) { f.looping = true; },
      [](TransportFact& f) { f.hasTempo = true; },
      [](TransportFact& f) { f.hasTimeSignature = true; },
      [](TransportFact& f) { f.hasPosition = true; },
      [](TransportFact& f) { f.hasLoop = true; },
      [](TransportFact& f) { f.canSetTempo = true; },
      [](TransportFact& f) { f.tempo = 121; },
      [](TransportFact& f) { f.numerator = 3; },
      [](TransportFact& f) { f.denominator = 8; },
      [](TransportFact& f) { f.loopStartPpq = 1; },
      [](TransportFact& f) { f.loopEndPpq = 8; },
      [](TransportFact& f) { f.sampleRate = 44100; },
  };
  for (auto change : changes) {
    TransportFact other = base;
    change(other);
    EXPECT_TRUE(base.differsFrom(other));
    EXPECT_TRUE(other.differsFrom(base));
  }

  TransportFact nanTempo = base;
  nanTempo.tempo = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(nanTempo.differsFrom(nanTempo));
  EXPECT_TRUE(nanTempo.differsFrom(base));
}

TEST(TransportFact, AnnouncementJson) {
  TransportFact fact;
  std::string out;
  writeDiagnosticTransportJson(out, fact);
  EXPECT_EQ(
      out,
      "{\"type\":\"orbel.transport\",\"frame\":{\"atFrame\":0,\"source\":\"none\",\"state\":{"
      "\"playing\":false,\"recording\":false,\"looping\":false,\"tempo\":120,\"timeSignature\":{"
      "\"numerator\":4,\"denominator\":4},\"ppqPosition\":0,\"barPositionPpq\":0,"
      "\"loopStartPpq\":null,\"loopEndPpq\":null,\"sampleRate\":null,\"projectTimeSamples\":0},"
      "\"capabilities\":{\"tempo\":false,\"timeSignature\":false,\"position\":false,\"loop\":false,"
      "\"canSetTempo\":false}}}");

  fact.atFrame = 96000;
  fact.source = TransportFact::kSourceHost;
  fact.playing = true;
  fact.looping = true;
  fact.hasTempo = fact.hasTimeSignature = fact.hasPosition = fact.hasLoop = true;
  fact.tempo = 97.5;
  fact.numerator = 7;
  fact.denominator = 8;
  fact.ppqPosition = std::numeric_limits<double>::infinity();
  fact.barPositionPpq = 4;
  fact.loopStartPpq = 2;
  fact.loopEndPpq = std::numeric_limits<double>::quiet_NaN();
  fact.sampleRate = 48000;
  fact.projectTimeSamples = -64;
  out.clear();
  writeDiagnosticTransportJson(out, fact);
  EXPECT_EQ(
      out,
      "{\"type\":\"orbel.transport\",\"frame\":{\"atFrame\":96000,\"source\":\"host\",\"state\":{"
      "\"playing\":true,\"recording\":false,\"looping\":true,\"tempo\":97.5,\"timeSignature\":{"
      "\"numerator\":7,\"denominator\":8},\"ppqPosition\":null,\"barPositionPpq\":4,"
      "\"loopStartPpq\":2,\"loopEndPpq\":null,\"sampleRate\":48000,\"projectTimeSamples\":-64},"
      "\"capabilities\":{\"tempo\":true,\"timeSignature\":true,\"position\":true,\"loop\":true,"
      "\"canSetTempo\":false}}}");
}

TEST(HostFacts, ImagesAreSizedAndMadeSafe) {
  // Round trip of well-formed records.
  HostFacts facts = stereoHost();
  HostFacts back;
  ASSERT_TRUE(hostFactsFromImage(&facts, sizeof facts, back));
  EXPECT_EQ(std::memcmp(&facts, &back, sizeof facts), 0);
  TransportFact fact;
  fact.tempo = 140;
  fact.playing = true;
  TransportFact fact2;
  ASSERT_TRUE(transportFactFromImage(&fact, sizeof fact, fact2));
  EXPECT_FALSE(fact.differsFrom(fact2));

  // Wrong sizes leave the output alone.
  unsigned char bytes[kHostFactsImageSize + 1];
  std::memset(bytes, 0xFF, sizeof bytes);
  EXPECT_FALSE(hostFactsFromImage(bytes, kHostFactsImageSize - 1, back));
  EXPECT_FALSE(hostFactsFromImage(bytes, kHostFactsImageSize + 1, back));
  EXPECT_FALSE(transportFactFromImage(bytes, 87, fact2));
  EXPECT_FALSE(hostFactsFromImage(nullptr, kHostFactsImageSize, back));
  EXPECT_EQ(std::memcmp(&facts, &back, sizeof facts), 0);

  // Garbage of the right size: terminated texts, at most 8 buses, real bools.
  ASSERT_TRUE(hostFactsFromImage(bytes, kHostFactsImageSize, back));
  EXPECT_EQ(std::strlen(back.hostName), 127u);
  EXPECT_EQ(std::strlen(back.hostPath), 511u);
  EXPECT_EQ(back.busCount, 8u);
  EXPECT_EQ(std::strlen(back.buses[7].layout), 23u);
  EXPECT_TRUE(back.bypassed);
  std::string out;
  writeDiagnosticHostJson(out, back);
  EXPECT_NE(out.find("\"bypassed\":true}"), std::string::npos);

  ASSERT_TRUE(transportFactFromImage(bytes, kTransportFactImageSize, fact2));
  EXPECT_TRUE(fact2.playing);
  EXPECT_TRUE(fact2.canSetTempo);
  out.clear();
  writeDiagnosticTransportJson(out, fact2);
  EXPECT_NE(out.find("\"canSetTempo\":true}}}"), std::string::npos);
}

}  // namespace
}  // namespace orbel
