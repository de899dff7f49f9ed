// The controller's side of the state: the processor's state handed over by
// the host, and the controller's own state (CC map, pad overrides).
#include <cstring>

#include "json/json_write.h"
#include "state/state_document.h"
#include "plugin/processor.h"
#include "tests/controller/controller_fixture.h"

namespace orbel::testhost {
namespace {

CcMap cutoffOnCc74() {
  CcMap map;
  const std::string json =
      R"({"bindings":[{"cc":74,"path":"filter.cutoff"},{"cc":1,"path":"osc.type","channel":2}]})";
  EXPECT_TRUE(parseCcMapJson(json.data(), json.size(), map));
  return map;
}

// The state a processor saves after a host restored `values` into it.
std::string savedProcessorState(const double* values, const CcMap* map) {
  const std::string doc = writeStateJson(values, 2, map, kSamplerAssetNone, kZoneLegacySingleZone,
                                         nullptr, nullptr, nullptr);
  auto* processor = new OrbelProcessor();
  processor->initialize(nullptr);
  ByteStream in(doc);
  EXPECT_EQ(processor->setState(&in), kResultOk);
  ByteStream out;
  EXPECT_EQ(processor->getState(&out), kResultOk);
  processor->terminate();
  processor->release();
  return out.data();
}

TEST_F(ControllerTest, ComponentStateMovesTheParametersAndAnnouncesThemInOrder) {
  const double plain[kStateParamCount] = {2, -1, 25, 440, 2.5, -3, 0.5, 1.25, 0.4, 2, 0.6};
  const CcMap map = cutoffOnCc74();
  const std::string saved = savedProcessorState(plain, &map);
  installSink();
  const uint32_t eventsBefore = controller->lifecycle().lastSeq;

  ASSERT_EQ(setComponentState(saved, 37), kResultOk);  // a host handing out 37 bytes per read

  const std::vector<double> v = values();
  EXPECT_EQ(v[0], 2.0 / 3.0);  // list: index / (options - 1)
  for (uint32 i = 0; i < ORBEL_PARAM_COUNT; ++i)
    EXPECT_EQ(v[i], orbel_param_normalize(&ORBEL_PARAMS[i], plain[i])) << ORBEL_PARAMS[i].path;
  EXPECT_DOUBLE_EQ(controller->normalizedParamToPlain(3, v[3]), 440.0);

  // Eleven parameter changes in index order, then the CC map, then the bank
  // state as restored.
  ASSERT_EQ(page.size(), 13u);
  for (uint32 i = 0; i < ORBEL_PARAM_COUNT; ++i)
    EXPECT_NE(page[i].find(std::string("\"path\":\"") + ORBEL_PARAMS[i].path + "\""),
              std::string::npos)
        << page[i];
  std::string first =
      "{\"type\":\"orbel.paramChanged\",\"path\":\"osc.type\",\"value\":2,\"normalized\":";
  jsonAppendNumber(first, 2.0 / 3.0);
  EXPECT_EQ(page[0], first + "}");
  std::string mapChanged;
  writeCcMapChangedJson(mapChanged, map);
  EXPECT_EQ(page[11], mapChanged);
  EXPECT_EQ(page[12].rfind("{\"type\":\"orbel.bankState\",\"reason\":\"restore\"", 0), 0u)
      << page[12];

  // The map reached the host's MIDI mapping, the processor and the log.
  ParamID id = 99;
  EXPECT_EQ(controller->getMidiControllerAssignment(0, 5, 74, id), kResultTrue);
  EXPECT_EQ(id, 3u);
  ASSERT_EQ(handler.restarts.size(), 1u);
  EXPECT_EQ(handler.restarts[0], kMidiCCAssignmentChanged);
  EXPECT_EQ(sentToProcessor("orbel.ccMap"), 1u);

  const DiagnosticLifecycleLog& log = controller->lifecycle();
  ASSERT_EQ(log.lastSeq, eventsBefore + 2);
  EXPECT_EQ(log.at(log.count - 2).kind, DiagnosticLifecycleKind::CcMapChanged);
  const DiagnosticLifecycleEvent& restored = log.newest();
  EXPECT_EQ(restored.kind, DiagnosticLifecycleKind::StateRestored);
  ASSERT_EQ(restored.detailCount, 2u);
  EXPECT_STREQ(restored.details[0].name, "stateBytes");
  EXPECT_EQ(restored.details[0].number, static_cast<double>(saved.size()));
  EXPECT_STREQ(restored.details[1].text, "component");
  EXPECT_EQ(controller->presetStateFacts().lastStateBytes, static_cast<int64_t>(saved.size()));
}

TEST_F(ControllerTest, ComponentStateClampsStoredValuesIntoRange) {
  struct Case {
    uint32 id;
    double plain;
    double normalized;
  };
  const Case cases[] = {
      {0, 7, 1.0},     {0, -4, 0.0}, {0, 1, 1.0 / 3.0},                 // list
      {3, 50000, 1.0}, {3, 1, 0.0},  {1, 2, 1.0},       {10, -1, 0.0},  // continuous
  };
  for (const Case& c : cases) {
    const std::string doc = std::string("{\"params\":{\"") + ORBEL_PARAMS[c.id].path +
                            "\":" + std::to_string(c.plain) + "}}";
    ASSERT_EQ(setComponentState(doc), kResultOk) << doc;
    EXPECT_EQ(controller->getParamNormalized(c.id), c.normalized) << doc;
  }
}

TEST_F(ControllerTest, RefusedComponentStateChangesNothing) {
  controller->setParamNormalized(3, 0.25);
  installSink();
  const std::vector<double> before = values();
  const uint32_t seq = controller->lifecycle().lastSeq;
  const std::string bad[] = {"", "{\"params\":[1,2", "nul",
                             "{\"ccMap\":{\"bindings\":[{\"cc\":1,\"path\":5}]}}", "{} trailing"};
  for (const std::string& text : bad) {
    EXPECT_EQ(setComponentState(text, 5), kResultFalse) << text;
    EXPECT_EQ(values(), before) << text;
  }
  EXPECT_EQ(controller->setComponentState(nullptr), kResultFalse);
  EXPECT_TRUE(page.empty());
  EXPECT_FALSE(controller->ccMapAdopted());
  EXPECT_TRUE(peer.messages.empty());
  EXPECT_EQ(controller->lifecycle().lastSeq, seq);
  EXPECT_EQ(controller->presetStateFacts().lastStateBytes, -1);
}

TEST_F(ControllerTest, ComponentStateWithoutParametersStillTakesMapAndPads) {
  const std::string doc =
      R"({"ccMap":[{"cc":20,"path":"master.gain"}],"sampler":{"v":1,"pads":{"kick":{"gain":0.5}}}})";
  const std::vector<double> before = values();
  ASSERT_EQ(setComponentState(doc), kResultOk);
  EXPECT_EQ(values(), before);
  EXPECT_EQ(controller->currentCcMap().count, 1u);
  ASSERT_EQ(controller->restoredPadOverrides().size(), 1u);
  EXPECT_EQ(controller->restoredPadOverrides()[0].pad, "kick");
  EXPECT_STREQ(lastLifecycleKind(), "stateRestored");

  // A later component state without pads clears them; its map stays.
  ASSERT_EQ(setComponentState("{}"), kResultOk);
  EXPECT_TRUE(controller->restoredPadOverrides().empty());
  EXPECT_EQ(controller->currentCcMap().count, 1u);
}

TEST_F(ControllerTest, EmptyControllerStateIsExactlyBraces) {
  EXPECT_EQ(getState(), "{}");
  installSink();
  const uint32_t seq = controller->lifecycle().lastSeq;
  const std::vector<double> before = values();
  EXPECT_EQ(setState("{}"), kResultOk);
  EXPECT_EQ(setState(""), kResultOk);  // a host that never saved our state
  EXPECT_EQ(values(), before);
  EXPECT_FALSE(controller->ccMapAdopted());
  // Only the page hears of it: the bank state as restored, with nothing in it.
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0],
            "{\"type\":\"orbel.bankState\",\"reason\":\"restore\",\"stateVersion\":1,\"pads\":{},"
            "\"banks\":[],"
            "\"presets\":{\"bankScoped\":false,\"items\":[]}}");
  EXPECT_TRUE(peer.messages.empty());
  EXPECT_EQ(controller->lifecycle().lastSeq, seq);
  EXPECT_EQ(getState(), "{}");

  EXPECT_EQ(controller->setState(nullptr), kResultFalse);
  EXPECT_EQ(controller->getState(nullptr), kResultFalse);
  EXPECT_EQ(setState("{\"ccMap\":"), kResultFalse);
  EXPECT_EQ(getState(), "{}");
}

TEST_F(ControllerTest, ControllerStateRoundTripsMapAndPadsButNotParameters) {
  const std::string doc =
      R"({"ccMap":{"version":1,"bindings":[{"cc":74,"path":"filter.cutoff","channel":3,"curve":"exp"},)"
      R"({"cc":7,"path":"master.gain","enabled":false}]},"sampler":{"v":1,"pads":{"snare":{"transpose":2}}},)"
      R"("params":{"filter.cutoff":20000}})";
  const std::vector<double> before = values();
  installSink();
  ASSERT_EQ(setState(doc), kResultOk);
  EXPECT_EQ(values(), before);  // parameters belong to the component state
  ASSERT_EQ(page.size(), 2u);   // the map and the bank state with its pads
  EXPECT_NE(page[0].find("orbel.ccMapChanged"), std::string::npos);
  EXPECT_NE(page[1].find(
                "\"reason\":\"restore\",\"stateVersion\":1,\"pads\":{\"snare\":{\"transpose\":2}}"),
            std::string::npos)
      << page[1];
  EXPECT_EQ(controller->lifecycle().newest().kind, DiagnosticLifecycleKind::CcMapChanged);

  const std::string saved = getState();
  EXPECT_EQ(
      saved,
      R"({"ccMap":{"version":1,"bindings":[{"cc":74,"path":"filter.cutoff","channel":3,"curve":"exp"},)"
      R"({"cc":7,"path":"master.gain","enabled":false}]},"sampler":{"v":1,"pads":{"snare":{"transpose":2}}}})");

  // A fresh controller restores the same bytes.
  auto* other = new OrbelController();
  ASSERT_EQ(other->initialize(&host), kResultOk);
  ByteStream in(saved, 100);
  ASSERT_EQ(other->setState(&in), kResultOk);
  ByteStream out;
  ASSERT_EQ(other->getState(&out), kResultOk);
  EXPECT_EQ(out.data(), saved);
  other->terminate();
  other->release();

  // Pads alone are written without a leading comma.
  auto* padsOnly = new OrbelController();
  ASSERT_EQ(padsOnly->initialize(nullptr), kResultOk);
  ByteStream padsIn(R"({"sampler":{"v":1,"pads":{"a":{"muted":1}}}})");
  ASSERT_EQ(padsOnly->setState(&padsIn), kResultOk);
  ByteStream padsOut;
  ASSERT_EQ(padsOnly->getState(&padsOut), kResultOk);
  EXPECT_EQ(padsOut.data(), R"({"sampler":{"v":1,"pads":{"a":{"muted":1}}}})");
  padsOnly->terminate();
  padsOnly->release();
}

}  // namespace
}  // namespace orbel::testhost
