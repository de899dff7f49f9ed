// The exact texts the page receives: hello, parameter changes, state and
// health relays, and the diagnostic hello blocks.
#include <cmath>
#include <string>

#include "editor/announcements.h"
#include "editor/diagnostic_blocks.h"
#include "json/json_read.h"
#include "tests/editor/bridge_fixture.h"

namespace orbel::testhost {
namespace {

// Every announcement must be a JSON object the page can evaluate.
bool isJsonObject(const std::string& text) {
  JsonValue value;
  return parseJsonDocument(std::vector<uint8_t>(text.begin(), text.end()), value) &&
         value.isObject();
}

const char* const kIdentity =
    "{\"moduleId\":\"music.orbel.mirel\",\"name\":\"Mirel\",\"vendor\":\"Orbel "
    "Music\",\"version\":\"0.0.0\","
    "\"hostClass\":\"instrument\",\"target\":\"vst3\",\"sdkVersion\":\"0.0.0\",\"build\":{\"mode\":"
    "\"production\","
    "\"configuration\":\"Release\"},\"ratePolicy\":{\"mode\":\"host-native\"},\"state\":{"
    "\"version\":1,"
    "\"maxBytes\":65536},\"ports\":[{\"id\":\"out\",\"kind\":\"audio\",\"direction\":\"output\","
    "\"busRole\":"
    "\"main\",\"channels\":1},{\"id\":\"midi-in\",\"kind\":\"midi\",\"direction\":\"input\","
    "\"busRole\":\"main\"}]}";

TEST_F(BridgeTest, HelloOfAFreshControllerIsExact) {
  post("{\"type\":\"orbel.ready\"}");
  ASSERT_EQ(page.size(), 1u);
  const std::string expected =
      std::string(
          "{\"type\":\"orbel.hello\",\"plugin\":{\"id\":\"music.orbel.mirel\",\"name\":\"Mirel\","
          "\"vendor\":\"Orbel Music\",\"version\":\"0.0.0\"},\"params\":["
          "{\"path\":\"osc.type\",\"value\":1,\"normalized\":0.3333333333333333},"
          "{\"path\":\"osc.octave\",\"value\":0,\"normalized\":0.5},"
          "{\"path\":\"osc.detune\",\"value\":0,\"normalized\":0.5},"
          "{\"path\":\"filter.cutoff\",\"value\":2000,\"normalized\":0.0990990990990991},"
          "{\"path\":\"filter.resonance\",\"value\":0.7,\"normalized\":0.0335195530726257},"
          "{\"path\":\"filter.envAmount\",\"value\":0,\"normalized\":0.5},"
          "{\"path\":\"ampEnv.attack\",\"value\":0.01,\"normalized\":0.005},"
          "{\"path\":\"ampEnv.decay\",\"value\":0.2,\"normalized\":0.1},"
          "{\"path\":\"ampEnv.sustain\",\"value\":0.7,\"normalized\":0.7},"
          "{\"path\":\"ampEnv.release\",\"value\":0.3,\"normalized\":0.06},"
          "{\"path\":\"master.gain\",\"value\":0.8,\"normalized\":0.8}],"
          "\"factoryPresets\":[],\"identity\":") +
      kIdentity +
      ",\"diagnostics\":{\"feeds\":[],\"commands\":[],\"maxFeedHz\":0},"
      "\"presetState\":{\"factoryCount\":0,\"dirty\":false,\"userPresetsSupported\":false}}";
  EXPECT_EQ(page[0], expected);
  EXPECT_TRUE(isJsonObject(page[0]));
  EXPECT_TRUE(controller->helloWasSent());

  // A page that announces itself again gets a fresh hello.
  post("{\"type\":\"orbel.ready\"}");
  EXPECT_EQ(page.size(), 1u);
}

TEST_F(BridgeTest, HelloCarriesWhatTheControllerLearned) {
  ASSERT_EQ(controller->setParamNormalized(0, 0.5), kResultOk);  // a list of four: plain 2
  post("{\"type\":\"orbel.setCcMap\",\"map\":[{\"cc\":1,\"path\":\"osc.detune\"}]}");
  post("{\"type\":\"orbel.getState\"}");  // fills lastStateBytes
  HostFacts facts;
  facts.sampleRate = 48000;
  facts.maxBlockFrames = 512;
  orbel::hosting::Message hostFacts;
  hostFacts.setMessageID("orbel.diag.hostFacts");
  hostFacts.getAttributes()->setBinary("json", &facts, sizeof facts);
  controller->notify(&hostFacts);
  const std::string report = "{\"format\":\"orbel-runtime-health/v1\"}";
  orbel::hosting::Message health;
  health.setMessageID("orbel.runtimeDiagnostics");
  health.getAttributes()->setBinary("json", report.data(), static_cast<uint32>(report.size()));
  controller->notify(&health);

  post("{\"type\":\"orbel.ready\"}");
  ASSERT_EQ(page.size(), 1u);
  const std::string& hello = page[0];
  EXPECT_TRUE(isJsonObject(hello)) << hello;
  EXPECT_NE(hello.find("{\"path\":\"osc.type\",\"value\":2,\"normalized\":0.5}"),
            std::string::npos);
  EXPECT_NE(
      hello.find("\"factoryPresets\":[],\"ccMap\":{\"version\":1,\"bindings\":[{\"cc\":1,\"path\":"
                 "\"osc.detune\"}]},\"runtimeHealth\":{\"format\":\"orbel-runtime-health/v1\"},"
                 "\"identity\":{"),
      std::string::npos)
      << hello;
  const size_t host = hello.find(",\"host\":{");
  ASSERT_NE(host, std::string::npos);
  EXPECT_LT(hello.find("\"identity\":"), host);
  EXPECT_GT(hello.find(",\"diagnostics\":"), host);
  EXPECT_NE(
      hello.find(
          "\"presetState\":{\"factoryCount\":0,\"dirty\":false,\"userPresetsSupported\":false,"
          "\"lastStateBytes\":"),
      std::string::npos);
}

TEST_F(BridgeTest, WithoutASinkNothingIsSentButTheHelloIsMarked) {
  controller->setBridgeSink({});
  post("{\"type\":\"orbel.ready\"}");
  EXPECT_TRUE(controller->helloWasSent());
  EXPECT_EQ(controller->setParamNormalized(3, 0.25), kResultOk);
  post("{\"type\":\"orbel.getState\"}");
  EXPECT_STREQ(lastLifecycleKind(), "stateSaved");
  EXPECT_TRUE(page.empty());
  controller->onEditorClosed();
  EXPECT_FALSE(controller->helloWasSent());
}

TEST(Announcements, ParamChangedTexts) {
  struct Case {
    uint32_t index;
    double normalized;
    const char* text;  // null: nothing written
  };
  const Case cases[] = {
      {0, 0.5,
       "{\"type\":\"orbel.paramChanged\",\"path\":\"osc.type\",\"value\":2,\"normalized\":0.5}"},
      {0, 0.16,
       "{\"type\":\"orbel.paramChanged\",\"path\":\"osc.type\",\"value\":0,\"normalized\":0.16}"},
      {1, 0.6,
       "{\"type\":\"orbel.paramChanged\",\"path\":\"osc.octave\",\"value\":0,\"normalized\":0.6}"},
      {1, 0.63,
       "{\"type\":\"orbel.paramChanged\",\"path\":\"osc.octave\",\"value\":1,\"normalized\":0.63}"},
      {3, 1.5,
       "{\"type\":\"orbel.paramChanged\",\"path\":\"filter.cutoff\",\"value\":20000,\"normalized\":"
       "1.5}"},
      {10, std::nan(""),
       "{\"type\":\"orbel.paramChanged\",\"path\":\"master.gain\",\"value\":0,\"normalized\":"
       "null}"},
      {11, 0.5, nullptr},
      {0xFFFFFFFFu, 0.5, nullptr},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    EXPECT_EQ(writeParamChangedJson(out, c.index, c.normalized), c.text != nullptr);
    EXPECT_EQ(out, std::string("x") + (c.text ? c.text : "")) << c.index;
  }
}

// Every host change of every parameter reaches the page once, as written by
// the shared writer.
TEST_F(BridgeTest, HostChangesAreAnnouncedOnce) {
  for (uint32 i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    page.clear();
    ASSERT_EQ(controller->setParamNormalized(i, 0.37), kResultOk);
    std::string expected;
    writeParamChangedJson(expected, i, 0.37);
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0], expected);
  }
}

TEST(Announcements, StateAndHealthRelays) {
  std::string out;
  writeStateAnnouncementJson(out, "{\"params\":{}}");
  EXPECT_EQ(out, "{\"type\":\"orbel.state\",\"state\":{\"params\":{}}}");
  out.clear();
  writeRuntimeDiagnosticsJson(out, "{\"a\":1}");
  EXPECT_EQ(out, "{\"type\":\"orbel.runtimeDiagnostics\",\"report\":{\"a\":1}}");
}

TEST(DiagnosticBlocks, FeedBits) {
  const char* const names[] = {"host",      "transport", "midiIn", "midiOut", "meters", "scope",
                               "lifecycle", "counters",  "params", "presets", "clock"};
  uint32_t bit = 1;
  for (const char* name : names) {
    EXPECT_EQ(diagnosticFeedBit(name), bit) << name;
    bit <<= 1;
  }
  EXPECT_EQ(diagnosticFeedBit("Host"), 0u);
  EXPECT_EQ(diagnosticFeedBit(""), 0u);
  EXPECT_EQ(diagnosticFeedBit("midiInX"), 0u);
}

TEST(DiagnosticBlocks, IdentityAndPresetState) {
  std::string out;
  writeDiagnosticIdentityJson(out, DiagnosticTarget::Vst3);
  EXPECT_EQ(out, kIdentity);
  out.clear();
  writeDiagnosticIdentityJson(out, static_cast<DiagnosticTarget>(9));
  EXPECT_NE(out.find("\"target\":\"offline\""), std::string::npos);

  PresetStateFacts facts;
  out.clear();
  writeDiagnosticPresetStateJson(out, facts);
  EXPECT_EQ(out, "{\"factoryCount\":0,\"dirty\":false,\"userPresetsSupported\":false}");

  std::strcpy(facts.currentId, "p\"1");
  facts.dirty = true;
  facts.lastStateBytes = 0;
  facts.bank.valid = 1;
  std::strcpy(facts.bank.id, "kit");
  std::strcpy(facts.bank.source, "hosted");
  facts.bank.index = 0;
  facts.bank.padCount = 16;
  out.clear();
  writeDiagnosticPresetStateJson(out, facts);
  EXPECT_EQ(
      out,
      "{\"factoryCount\":0,\"currentId\":\"p\\\"1\",\"dirty\":true,\"userPresetsSupported\":false,"
      "\"lastStateBytes\":0,\"bank\":{\"id\":\"kit\",\"source\":\"hosted\",\"index\":0,"
      "\"padCount\":16}}");

  // A field filled to its last byte without a terminator is cut, not overrun.
  std::memset(facts.currentName, 'n', sizeof facts.currentName);
  out.clear();
  writeDiagnosticPresetStateJson(out, facts);
  EXPECT_NE(out.find("\"currentName\":\"" + std::string(sizeof facts.currentName, 'n') + "\""),
            std::string::npos);
}

}  // namespace
}  // namespace orbel::testhost
