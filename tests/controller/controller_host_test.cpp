// The controller as the host sees it: its interfaces and class names, the
// host identity it captures, its lifecycle events, the MIDI controller
// assignment and the parameter announcements with the page's echo rule.
#include <cstring>

#include "json/json_write.h"
#include "tests/controller/controller_fixture.h"

namespace orbel::testhost {
namespace {

TEST(ValidatorHost, FirstMarkInTableOrderWins) {
  struct Case {
    const char* name;
    uint8_t validator;
  };
  const Case cases[] = {
      {"pluginval", HostFacts::kValidatorPluginval},
      {"MyPluginvalRunner", HostFacts::kValidatorPluginval},
      {"clap-validator via auval", HostFacts::kValidatorAuval},
      {"clap_validator", HostFacts::kValidatorClap},
      {"VST3 Validator", HostFacts::kValidatorSteinberg},
      {"pluginval validator", HostFacts::kValidatorPluginval},
      {"orbel-probe", HostFacts::kValidatorOrbelProbe},
      {"Orbel Test Rig", HostFacts::kValidatorOrbelProbe},
      {"PLUGINVAL", HostFacts::kValidatorNone},  // case-sensitive
      {"Ardour", HostFacts::kValidatorNone},
      {"", HostFacts::kValidatorNone},
  };
  for (const Case& c : cases) EXPECT_EQ(validatorHostForName(c.name), c.validator) << c.name;
  EXPECT_EQ(validatorHostForName(nullptr), HostFacts::kValidatorNone);
}

TEST(ControllerIdentity, CapturesTheHostNameAsAscii) {
  struct Case {
    std::u16string name;
    std::string stored;
    uint8_t validator;
  };
  const Case cases[] = {
      {u"VST3 Validator", "VST3 Validator", HostFacts::kValidatorSteinberg},
      {u"Caf\u00e9 auval", "Caf? auval", HostFacts::kValidatorAuval},
      {std::u16string(200, u'x'), std::string(127, 'x'), HostFacts::kValidatorNone},
  };
  for (const Case& c : cases) {
    NamedHost host(c.name);
    auto* controller = new OrbelController();
    ASSERT_EQ(controller->initialize(&host), kResultOk);
    EXPECT_EQ(std::string(controller->currentHostFacts().hostName), c.stored);
    EXPECT_EQ(controller->currentHostFacts().validatorHost, c.validator);
    controller->terminate();
    controller->release();
  }
  // Without a host application nothing is captured.
  auto* controller = new OrbelController();
  ASSERT_EQ(controller->initialize(nullptr), kResultOk);
  EXPECT_STREQ(controller->currentHostFacts().hostName, "");
  EXPECT_EQ(controller->currentHostFacts().sampleSize, 32);
  EXPECT_EQ(controller->currentHostFacts().lastBlockFrames, -1);
  controller->terminate();
  controller->release();
}

TEST_F(ControllerTest, AnswersItsInterfacesAndClassNames) {
  FUnknown* unknown = static_cast<IEditController*>(controller);
  struct Query {
    const TUID& iid;
    bool answered;
  };
  const Query queries[] = {{IMidiMapping::iid, true},     {IUnitInfo::iid, true},
                           {IEditController::iid, true},  {IEditController2::iid, true},
                           {IConnectionPoint::iid, true}, {IPluginBase::iid, true},
                           {IAudioProcessor::iid, false}};
  for (const Query& q : queries) {
    void* obj = nullptr;
    EXPECT_EQ(unknown->queryInterface(q.iid, &obj) == kResultOk, q.answered);
    if (obj) static_cast<FUnknown*>(obj)->release();
  }
  IMidiMapping* midi = nullptr;
  ASSERT_EQ(unknown->queryInterface(IMidiMapping::iid, reinterpret_cast<void**>(&midi)), kResultOk);
  EXPECT_EQ(static_cast<IMidiMapping*>(controller), midi);
  midi->release();

  EXPECT_STREQ(controller->isA(), "OrbelController");
  for (const char* base :
       {"OrbelController", "EditControllerEx1", "EditController", "ComponentBase", "FObject"})
    EXPECT_TRUE(controller->isTypeOf(base, true)) << base;
  EXPECT_FALSE(controller->isTypeOf("EditController", false));
  EXPECT_EQ(controller->getParameterCount(), 11);
  EXPECT_EQ(controller->getUnitCount(), 0);
}

TEST_F(ControllerTest, RecordsCreationEditorErrorsAndDestruction) {
  EXPECT_EQ(controller->lifecycle().count, 1u);
  EXPECT_STREQ(lastLifecycleKind(), "created");
  EXPECT_EQ(controller->createView("other"), nullptr);
  EXPECT_EQ(controller->createView(nullptr), nullptr);
  EXPECT_EQ(controller->lifecycle().count, 1u);

  EXPECT_EQ(controller->createView("editor"), nullptr);  // no UI bundle in this module
  EXPECT_STREQ(lastLifecycleKind(), "editorError");
  EXPECT_STREQ(controller->lifecycle().newest().details[0].text, "no ui bundle in plugin");
  controller->onEditorError(nullptr);
  EXPECT_STREQ(controller->lifecycle().newest().details[0].text, "unknown");

  controller->terminate();
  EXPECT_STREQ(lastLifecycleKind(), "destroyed");
  ASSERT_EQ(controller->initialize(&host), kResultOk);  // TearDown terminates again
}

TEST_F(ControllerTest, MidiAssignmentFollowsTheFirstEnabledBinding) {
  ParamID id = 77;
  EXPECT_EQ(controller->getMidiControllerAssignment(0, 0, 74, id), kResultFalse);  // no map yet

  const std::string json =
      R"([{"cc":74,"path":"filter.cutoff"},{"cc":1,"path":"filter.resonance","channel":2},)"
      R"({"cc":1,"path":"master.gain"},{"cc":7,"path":"master.gain","enabled":false},)"
      R"({"cc":7,"path":"osc.detune"},{"cc":0,"path":"osc.type","channel":16}])";
  CcMap map;
  ASSERT_TRUE(parseCcMapJson(json.data(), json.size(), map));
  controller->adoptCcMap(map, false);

  struct Query {
    int32 bus;
    int16 channel;  // the host's, from 0
    int32 cc;
    tresult result;
    ParamID id;
  };
  const Query queries[] = {
      {0, 0, 74, kResultTrue, 3},   {0, 15, 74, kResultTrue, 3},  // channel 0 in the map: any
      {0, 1, 1, kResultTrue, 4},    {0, 0, 1, kResultTrue, 10},   // channel 2 only, else the next
      {0, 3, 7, kResultTrue, 2},                                  // disabled binding skipped
      {0, 15, 0, kResultTrue, 0},   {0, 14, 0, kResultFalse, 0}, {1, 0, 74, kResultFalse, 0},
      {0, 0, 128, kResultFalse, 0}, {0, 0, -1, kResultFalse, 0}, {0, 0, 5, kResultFalse, 0},
  };
  for (const Query& q : queries) {
    ParamID got = 77;
    EXPECT_EQ(controller->getMidiControllerAssignment(q.bus, q.channel, q.cc, got), q.result)
        << q.bus << "/" << q.channel << "/" << q.cc;
    EXPECT_EQ(got, q.result == kResultTrue ? q.id : 77u)
        << q.bus << "/" << q.channel << "/" << q.cc;
  }
}

std::string paramChanged(const char* path, const char* value, double normalized) {
  std::string out = std::string("{\"type\":\"orbel.paramChanged\",\"path\":\"") + path +
                    "\",\"value\":" + value + ",\"normalized\":";
  jsonAppendNumber(out, normalized);
  return out + "}";
}

TEST_F(ControllerTest, PageEditsAreNotEchoedButHostChangesAre) {
  // No editor: a host change updates the value and sends nothing.
  EXPECT_EQ(controller->setParamNormalized(0, 0.5), kResultOk);
  EXPECT_EQ(controller->getParamNormalized(0), 0.5);

  installSink();
  EXPECT_EQ(controller->setParamNormalized(0, 0.5), kResultOk);
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0], paramChanged("osc.type", "2", 0.5));

  // The page's own edit consumes its echo; the same value from the host later is announced.
  controller->expectParamEcho(3, 0.25);
  EXPECT_EQ(controller->setParamNormalized(3, 0.25), kResultOk);
  EXPECT_EQ(page.size(), 1u);
  EXPECT_EQ(controller->setParamNormalized(3, 0.25), kResultOk);
  ASSERT_EQ(page.size(), 2u);
  EXPECT_EQ(page[1], paramChanged("filter.cutoff", "5015", 0.25));

  // A pending echo is consumed only by its exact value and parameter.
  controller->expectParamEcho(4, 0.5);
  controller->setParamNormalized(5, 0.5);
  controller->setParamNormalized(4, 0.50001);
  EXPECT_EQ(page.size(), 4u);
  controller->setParamNormalized(4, 0.5);
  EXPECT_EQ(page.size(), 4u);

  // Unknown parameters fail in the base and announce nothing.
  EXPECT_EQ(controller->setParamNormalized(11, 0.5), kResultFalse);
  controller->sendParamChanged(11, 0.5);
  EXPECT_EQ(page.size(), 4u);

  controller->setBridgeSink({});
  controller->setParamNormalized(1, 1.0);
  EXPECT_EQ(page.size(), 4u);
}

}  // namespace
}  // namespace orbel::testhost
