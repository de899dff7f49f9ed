// What the page's messages do to the controller, the host and the processor,
// and what the page hears back.
#include <string>

#include "editor/bridge_message.h"
#include "json/json_read.h"
#include "state/state_document.h"
#include "tests/editor/bridge_fixture.h"

namespace orbel::testhost {
namespace {

const DiagnosticLifecycleDetail* detail(const DiagnosticLifecycleEvent& event, const char* name) {
  for (uint32_t i = 0; i < event.detailCount; ++i)
    if (std::strcmp(event.details[i].name, name) == 0) return &event.details[i];
  return nullptr;
}

TEST_F(BridgeTest, PageEditIsNotEchoedButALaterHostChangeIs) {
  post("{\"type\":\"orbel.beginEdit\",\"path\":\"osc.type\"}");
  EXPECT_EQ(handler.edits, std::vector<std::string>{"begin 0"});
  post("{\"type\":\"orbel.setParam\",\"path\":\"osc.type\",\"value\":2}");
  EXPECT_TRUE(page.empty());
  EXPECT_DOUBLE_EQ(controller->getParamNormalized(0), 2.0 / 3.0);
  ASSERT_EQ(handler.edits.size(), 1u);  // setParam itself neither begins nor ends
  EXPECT_EQ(handler.edits[0], "perform 0 0.66666666666666663");
  EXPECT_EQ(controller->pendingEchoParam(), -1);
  post("{\"type\":\"orbel.endEdit\",\"path\":\"osc.type\"}");
  EXPECT_EQ(handler.edits, std::vector<std::string>{"end 0"});

  // The host (automation) sets the same value again: the page hears of it.
  page.clear();
  EXPECT_EQ(controller->setParamNormalized(0, 2.0 / 3.0), kResultOk);
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0],
            "{\"type\":\"orbel.paramChanged\",\"path\":\"osc.type\",\"value\":2,"
            "\"normalized\":0.6666666666666666}");
}

TEST_F(BridgeTest, SetParamCases) {
  struct Case {
    const char* text;
    uint32_t param;
    double normalized;  // expected value of `param` afterwards
    bool performed;     // an edit reached the host
  };
  const double gainDefault = ORBEL_PARAMS[10].defaultNormalized;
  const Case cases[] = {
      {"{\"type\":\"orbel.setParam\",\"path\":\"master.gain\",\"value\":0.25}", 10, 0.25, true},
      {"{\"type\":\"orbel.setParam\",\"path\":\"master.gain\",\"value\":7}", 10, 1.0,
       true},  // clamped
      {"{\"type\":\"orbel.setParam\",\"path\":\"master.gain\",\"value\":-inf}", 10, 0.0, true},
      {"{\"type\":\"orbel.setParam\",\"path\":\"master.gain\",\"value\":nan}", 10, gainDefault,
       false},
      {"{\"type\":\"orbel.setParam\",\"path\":\"master.gain\",\"value\":\"0.25\"}", 10, gainDefault,
       false},
      {"{\"type\":\"orbel.setParam\",\"path\":\"master.gain\"}", 10, gainDefault, false},
      {"{\"type\":\"orbel.setParam\",\"path\":\"master.gainX\",\"value\":0.25}", 10, gainDefault,
       false},
      {"{\"type\":\"orbel.setParam\",\"path\":\"osc.type\",\"value\":3}", 0, 1.0, true},
      {"{\"type\":\"orbel.setParam\",\"path\":\"osc.type\\u0000\",\"value\":3}", 0, 1.0 / 3.0,
       false},
      {"{\"type\":\"orbel.setParam\",\"path\":\"osc.octave\",\"value\":1}", 1, 0.75, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(controller->setParamNormalized(c.param, ORBEL_PARAMS[c.param].defaultNormalized),
              kResultOk);
    post(c.text);
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(c.param), c.normalized) << c.text;
    EXPECT_EQ(!handler.edits.empty(), c.performed) << c.text;
    EXPECT_TRUE(page.empty()) << c.text;
    EXPECT_EQ(controller->pendingEchoParam(), -1) << c.text;
  }
}

TEST_F(BridgeTest, MalformedMessageChangesNothingAndSaysSoOnStandardError) {
  const auto before = controller->getParamNormalized(10);
  testing::internal::CaptureStderr();
  post("{\"type\":\"orbel.setParam\",\"path\":\"master.gain\",\"value\":0.5} x");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "orbel-plugin-shell: malformed bridge message (60 bytes)\n");
  EXPECT_EQ(controller->getParamNormalized(10), before);
  EXPECT_TRUE(page.empty());
  EXPECT_TRUE(peer.messages.empty());
  EXPECT_TRUE(handler.edits.empty());

  testing::internal::CaptureStderr();
  controller->handleBridgeMessage(nullptr, 3);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "orbel-plugin-shell: malformed bridge message (3 bytes)\n");
}

TEST_F(BridgeTest, MessagesWithoutEffect) {
  const char* const texts[] = {
      "{}",
      "{\"type\":\"orbel.unknown\",\"path\":\"osc.type\",\"value\":1}",
      "{\"type\":\"orbel.loadFactoryPreset\",\"id\":\"init\"}",
      "{\"type\":\"orbel.loadFactoryPreset\"}",
      "{\"type\":\"orbel.diag.stimulus\",\"stimulus\":{\"kind\":\"sine\"}}",
      "{\"type\":\"orbel.setCcMap\"}",
      "{\"type\":\"orbel.setCcMap\",\"map\":{}}",
      "{\"type\":\"orbel.setState\",\"state\":\"{}\"}",
      "{\"type\":\"orbel.beginEdit\",\"path\":\"nope\"}",
      // Bank messages without what they need.
      "{\"type\":\"orbel.loadBank\"}",
      "{\"type\":\"orbel.loadBankPreset\"}",
      "{\"type\":\"orbel.setPadOverrides\"}",
  };
  const std::string stateBefore = [&] {
    ByteStream out;
    controller->getState(&out);
    return out.data();
  }();
  const uint32_t lifecycleBefore = controller->lifecycle().count;
  for (const char* text : texts) {
    std::vector<double> values;
    for (uint32 i = 0; i < ORBEL_PARAM_COUNT; ++i)
      values.push_back(controller->getParamNormalized(i));
    post(text);
    EXPECT_TRUE(page.empty()) << text;
    EXPECT_TRUE(peer.messages.empty()) << text;
    EXPECT_TRUE(handler.edits.empty()) << text;
    for (uint32 i = 0; i < ORBEL_PARAM_COUNT; ++i)
      EXPECT_EQ(controller->getParamNormalized(i), values[i]) << text;
  }
  ByteStream out;
  controller->getState(&out);
  EXPECT_EQ(out.data(), stateBefore);
  EXPECT_EQ(controller->lifecycle().count, lifecycleBefore);
  EXPECT_FALSE(controller->ccMapAdopted());
}

TEST_F(BridgeTest, NotesOnlyWriteADeveloperLine) {
  testing::internal::CaptureStderr();
  post("{\"type\":\"orbel.noteOn\",\"note\":60.9,\"velocity\":0.8}");
  post("{\"type\":\"orbel.noteOff\",\"note\":-1e300}");
  post("{\"type\":\"orbel.noteOn\",\"note\":nan}");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "orbel-plugin-shell: bridge orbel.noteOn note=60\n"
            "orbel-plugin-shell: bridge orbel.noteOff note=-2147483648\n"
            "orbel-plugin-shell: bridge orbel.noteOn note=0\n");
  EXPECT_TRUE(peer.messages.empty());
  EXPECT_TRUE(page.empty());
}

TEST_F(BridgeTest, SubscribeSetsFeedsRateAndPollsTheProcessor) {
  post("{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"transport\",\"bogus\"],\"hz\":120}");
  EXPECT_EQ(controller->subscribedFeeds(), 2u);
  EXPECT_EQ(controller->subscribedFeedHz(), 30.0);
  EXPECT_TRUE(page.empty());  // no transport fact known yet
  ASSERT_EQ(peer.messages.size(), 1u);
  EXPECT_EQ(peer.messages[0].id, "orbel.diag.transportPoll");
  EXPECT_EQ(peer.messages[0].reset, 1);

  post("{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"clock\",\"scope\"],\"hz\":-5}");
  EXPECT_EQ(controller->subscribedFeeds(), 1024u | 32u);
  EXPECT_EQ(controller->subscribedFeedHz(), -5.0);
  EXPECT_TRUE(page.empty());

  post("{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"meters\"],\"hz\":nan}");
  EXPECT_EQ(controller->subscribedFeedHz(), 0.0);

  post("{\"type\":\"orbel.diag.unsubscribe\"}");
  EXPECT_EQ(controller->subscribedFeeds(), 0u);
  EXPECT_EQ(controller->subscribedFeedHz(), 0.0);
  EXPECT_TRUE(peer.messages.empty());
}

TEST_F(BridgeTest, SubscribeReplaysLifecycleAndTheLastTransportFact) {
  TransportFact fact;
  fact.hasTempo = true;
  fact.tempo = 97;
  sendTransport(fact);
  post("{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"lifecycle\",\"transport\"]}");
  ASSERT_EQ(page.size(), 2u);
  EXPECT_TRUE(startsWith(page[0], "{\"type\":\"orbel.lifecycle\"")) << page[0];
  EXPECT_NE(page[0].find("\"created\""), std::string::npos);
  EXPECT_TRUE(startsWith(page[1], "{\"type\":\"orbel.transport\"")) << page[1];
  EXPECT_NE(page[1].find("97"), std::string::npos);

  // The fact is forgotten with the subscription: a second subscribe does
  // not repeat it until the processor sends a new one.
  post("{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"transport\"]}");
  EXPECT_TRUE(page.empty());
}

TEST_F(BridgeTest, GetStateAndSetStateRoundTrip) {
  post("{\"type\":\"orbel.setCcMap\",\"map\":[{\"cc\":74,\"path\":\"filter.cutoff\"}]}");
  post("{\"type\":\"orbel.setPadOverrides\",\"pads\":{\"36\":{\"gain\":0.5}}}");
  EXPECT_EQ(sentToProcessor("orbel.padOverrides"),
            std::vector<std::string>{"{\"36\":{\"gain\":0.5}}"});
  post("{\"type\":\"orbel.setParam\",\"path\":\"filter.cutoff\",\"value\":440}");
  post("{\"type\":\"orbel.setParam\",\"path\":\"osc.type\",\"value\":3}");

  post("{\"type\":\"orbel.getState\"}");
  ASSERT_EQ(page.size(), 1u);
  const std::string prefix = "{\"type\":\"orbel.state\",\"state\":";
  ASSERT_TRUE(startsWith(page[0], prefix));
  const std::string document = page[0].substr(prefix.size(), page[0].size() - prefix.size() - 1);
  StateChunk chunk;
  ASSERT_TRUE(parseStateJson(document.data(), document.size(), chunk));
  EXPECT_EQ(chunk.params[0], 3.0);
  EXPECT_DOUBLE_EQ(chunk.params[3], 440.0);
  EXPECT_TRUE(chunk.hasCcMap);
  EXPECT_TRUE(chunk.hasPadOverrides);
  EXPECT_EQ(controller->presetStateFacts().lastStateBytes, static_cast<int64_t>(document.size()));
  const DiagnosticLifecycleEvent& saved = controller->lifecycle().newest();
  EXPECT_STREQ(lastLifecycleKind(), "stateSaved");
  ASSERT_NE(detail(saved, "stateBytes"), nullptr);
  EXPECT_EQ(detail(saved, "stateBytes")->number, static_cast<double>(document.size()));
  EXPECT_STREQ(detail(saved, "source")->text, "ui");

  // Move away, then restore the saved document through the page.
  post("{\"type\":\"orbel.setParam\",\"path\":\"osc.type\",\"value\":0}");
  post("{\"type\":\"orbel.setPadOverrides\",\"pads\":{}}");
  post("{\"type\":\"orbel.setCcMap\",\"map\":[]}");
  const std::string restore = "{\"type\":\"orbel.setState\",\"state\":" + document + "}";
  post(restore);
  EXPECT_EQ(controller->getParamNormalized(0), 1.0);
  EXPECT_DOUBLE_EQ(controller->getParamNormalized(3), (440.0 - 20.0) / (20000.0 - 20.0));
  EXPECT_EQ(controller->currentCcMap().count, 1u);
  ASSERT_EQ(controller->restoredPadOverrides().size(), 1u);
  EXPECT_EQ(sentToProcessor("orbel.padOverrides"),
            std::vector<std::string>{"{\"36\":{\"gain\":0.5}}"});
  EXPECT_EQ(sentToProcessor("orbel.ccMap").size(), 1u);
  // Each parameter of the state is one complete edit for the host.
  ASSERT_EQ(handler.edits.size(), 3u * ORBEL_PARAM_COUNT);
  EXPECT_EQ(handler.edits[0], "begin 0");
  EXPECT_EQ(handler.edits[1], "perform 0 1");
  EXPECT_EQ(handler.edits[2], "end 0");
  // The page hears every parameter (in order), the map, then the bank state.
  ASSERT_EQ(page.size(), ORBEL_PARAM_COUNT + 2);
  EXPECT_EQ(page[0],
            "{\"type\":\"orbel.paramChanged\",\"path\":\"osc.type\",\"value\":3,\"normalized\":1}");
  EXPECT_TRUE(startsWith(page[10], "{\"type\":\"orbel.paramChanged\",\"path\":\"master.gain\""));
  EXPECT_TRUE(startsWith(page[11], "{\"type\":\"orbel.ccMapChanged\""));
  EXPECT_TRUE(startsWith(page[12],
                         "{\"type\":\"orbel.bankState\",\"reason\":\"restore\",\"stateVersion\":1,"
                         "\"pads\":{\"36\":{\"gain\":0.5}}"))
      << page[12];
  const DiagnosticLifecycleEvent& restored = controller->lifecycle().newest();
  EXPECT_STREQ(lastLifecycleKind(), "stateRestored");
  EXPECT_EQ(detail(restored, "stateBytes")->number, static_cast<double>(restore.size()));
  EXPECT_STREQ(detail(restored, "source")->text, "ui");

  // The controller's own saved state carries what the page restored.
  ByteStream out;
  ASSERT_EQ(controller->getState(&out), kResultOk);
  EXPECT_NE(out.data().find("\"pads\":{\"36\":{\"gain\":0.5}}"), std::string::npos);
}

TEST_F(BridgeTest, SetStateWithoutParametersStillRestoresPadsAndRecords) {
  post("{\"type\":\"orbel.setPadOverrides\",\"pads\":{\"40\":{\"muted\":1}}}");
  ASSERT_EQ(controller->restoredPadOverrides().size(), 1u);
  post("{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"lifecycle\"]}");
  post("{\"type\":\"orbel.setState\",\"state\":{}}");
  EXPECT_TRUE(controller->restoredPadOverrides().empty());
  EXPECT_EQ(sentToProcessor("orbel.padOverrides"), std::vector<std::string>{"{}"});
  EXPECT_TRUE(handler.edits.empty());
  ASSERT_EQ(page.size(), 2u);  // the bank state without pads, then the lifecycle event
  EXPECT_TRUE(startsWith(page[0],
                         "{\"type\":\"orbel.bankState\",\"reason\":\"restore\",\"stateVersion\":1,"
                         "\"pads\":{},"))
      << page[0];
  EXPECT_TRUE(startsWith(page[1], "{\"type\":\"orbel.lifecycle\"")) << page[1];
  EXPECT_NE(page[1].find("\"stateRestored\""), std::string::npos);
}

TEST_F(BridgeTest, PadOverridesTheProcessorRefusesAreNotKept) {
  peer.accept = false;
  post("{\"type\":\"orbel.setPadOverrides\",\"pads\":{\"36\":{\"gain\":0.5}}}");
  EXPECT_TRUE(controller->restoredPadOverrides().empty());
  post(
      "{\"type\":\"orbel.setState\",\"state\":{\"sampler\":{\"v\":1,\"pads\":{\"1\":{\"pan\":0.5}}}"
      "}}");
  EXPECT_TRUE(controller->restoredPadOverrides().empty());
  EXPECT_STREQ(lastLifecycleKind(), "stateRestored");
}

TEST_F(BridgeTest, SetCcMapAdoptsAndAnnounces) {
  post(
      "{\"type\":\"orbel.setCcMap\",\"map\":{\"bindings\":[{\"cc\":7,\"path\":\"master.gain\"}]}}");
  ASSERT_TRUE(controller->ccMapAdopted());
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0],
            "{\"type\":\"orbel.ccMapChanged\",\"map\":{\"version\":1,\"bindings\":[{\"cc\":7,"
            "\"path\":\"master.gain\"}]}}");
  EXPECT_EQ(sentToProcessor("orbel.ccMap").size(), 1u);
  ParamID id = 99;
  EXPECT_EQ(controller->getMidiControllerAssignment(0, 0, 7, id), kResultTrue);
  EXPECT_EQ(id, 10u);
}

}  // namespace
}  // namespace orbel::testhost
