// Messages from the processor: the notify table, and a real processor
// connected to the controller the way a host (and orbel-probe) connects them.
#include <cstring>

#include "state/state_document.h"
#include "plugin/processor.h"
#include "tests/controller/controller_fixture.h"

namespace orbel::testhost {
namespace {

class ControllerNotify : public ControllerTest {
protected:
  tresult send(const char* id, const void* data, size_t size, bool withAttribute = true) {
    orbel::hosting::Message message;
    message.setMessageID(id);
    if (withAttribute) message.getAttributes()->setBinary("json", data, static_cast<uint32>(size));
    return controller->notify(&message);
  }
  tresult send(const char* id, const std::string& text) {
    return send(id, text.data(), text.size());
  }
};

TEST_F(ControllerNotify, TakesOnlyImagesOfTheExactSize) {
  HostFacts facts;
  facts.sampleRate = 44100;
  facts.maxBlockFrames = 256;
  std::strcpy(facts.hostName, "spoofed by the sender");
  std::string image(reinterpret_cast<const char*>(&facts), sizeof facts);
  EXPECT_EQ(send("orbel.diag.hostFacts", image.data(), image.size() - 1), kResultOk);
  EXPECT_EQ(controller->currentHostFacts().sampleRate, 0.0);
  EXPECT_EQ(send("orbel.diag.hostFacts", image + "x"), kResultOk);
  EXPECT_EQ(controller->currentHostFacts().sampleRate, 0.0);
  EXPECT_EQ(send("orbel.diag.hostFacts", image), kResultOk);
  EXPECT_EQ(controller->currentHostFacts().sampleRate, 44100.0);
  EXPECT_EQ(controller->currentHostFacts().maxBlockFrames, 256);
  EXPECT_STREQ(controller->currentHostFacts().hostName,
               "Test Host");  // identity is the controller's own
  EXPECT_STREQ(lastLifecycleKind(), "sampleRateChanged");

  TransportFact fact;
  fact.tempo = 93;
  fact.hasTempo = true;
  const std::string transport(reinterpret_cast<const char*>(&fact), sizeof fact);
  EXPECT_EQ(send("orbel.diag.transport", transport.data(), 87), kResultOk);
  EXPECT_EQ(controller->lastTransportFact().tempo, 120.0);
  EXPECT_EQ(send("orbel.diag.transport", transport), kResultOk);
  EXPECT_EQ(controller->lastTransportFact().tempo, 93.0);
  EXPECT_EQ(send("orbel.diag.transport", nullptr, 0, false), kResultOk);
}

TEST_F(ControllerNotify, RecordsLifecycleNamesItKnows) {
  struct Case {
    std::string payload;
    const char* recorded;  // null: ignored
  };
  const Case cases[] = {
      {"activated", "activated"},
      {"tempoChanged", "tempoChanged"},
      {"Activated", nullptr},
      {"bogus", nullptr},
      {"", nullptr},
      {std::string("reset\0x", 7), nullptr},
      {std::string(64, 'a'), nullptr},
  };
  for (const Case& c : cases) {
    const uint32_t seq = controller->lifecycle().lastSeq;
    EXPECT_EQ(send("orbel.diag.lifecycle", c.payload), kResultOk);
    if (c.recorded) {
      EXPECT_EQ(controller->lifecycle().lastSeq, seq + 1) << c.payload;
      EXPECT_STREQ(lastLifecycleKind(), c.recorded);
      EXPECT_EQ(controller->lifecycle().newest().atFrame, -1);
    } else {
      EXPECT_EQ(controller->lifecycle().lastSeq, seq) << c.payload;
    }
  }
  EXPECT_EQ(send("orbel.diag.lifecycle", nullptr, 0, false), kResultOk);
}

TEST_F(ControllerNotify, RelaysHealthReportsToThePage) {
  const std::string report =
      R"({"format":"orbel-runtime-health/v1","schemaVersion":1,"instanceId":"vst3","lifecycle":"failed",)"
      R"("status":"failed","counters":{"diagnostics":0,"diagnostics.dropped":0},"diagnostics":[]})";
  // Without a page the report is kept and logged.
  EXPECT_EQ(send("orbel.runtimeDiagnostics", report), kResultOk);
  EXPECT_EQ(controller->lastRuntimeHealthReport(), report);
  EXPECT_STREQ(lastLifecycleKind(), "runtimeDiagnostic");
  EXPECT_EQ(controller->lifecycle().newest().details[0].number, static_cast<double>(report.size()));

  installSink();
  EXPECT_EQ(send("orbel.runtimeDiagnostics", report), kResultOk);
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0], "{\"type\":\"orbel.runtimeDiagnostics\",\"report\":" + report + "}");

  // Empty, over-long and non-object payloads are dropped: the report is
  // inserted into script text unquoted.
  const uint32_t seq = controller->lifecycle().lastSeq;
  std::string huge = "{\"x\":\"" + std::string(65536, 'a') + "\"}";
  for (const std::string& bad : {std::string(), huge, std::string("\"text\""),
                                 std::string("{}); alert(1); ({"), std::string("{\"a\":1")}) {
    EXPECT_EQ(send("orbel.runtimeDiagnostics", bad), kResultOk);
  }
  EXPECT_EQ(send("orbel.runtimeDiagnostics", nullptr, 0, false), kResultOk);
  EXPECT_EQ(page.size(), 1u);
  EXPECT_EQ(controller->lastRuntimeHealthReport(), report);
  EXPECT_EQ(controller->lifecycle().lastSeq, seq);
}

TEST_F(ControllerNotify, OtherIdsGoToTheBase) {
  EXPECT_EQ(send("orbel.diag.signal", "anything"), kResultOk);
  EXPECT_EQ(send("orbel.runtimeBankResult", "ok"), kResultOk);
  EXPECT_EQ(send("orbel.unknown", "x"), kResultFalse);
  EXPECT_EQ(controller->notify(nullptr), kInvalidArgument);
  orbel::hosting::Message noId;
  EXPECT_EQ(controller->notify(&noId), kResultFalse);
}

// Processor and controller created by the host and connected through their
// connection points in both directions, as orbel-probe does.
class ConnectedPair : public ::testing::Test {
protected:
  void SetUp() override {
    processor = new OrbelProcessor();
    controller = new OrbelController();
    ASSERT_EQ(processor->initialize(&host), kResultOk);
    ASSERT_EQ(controller->initialize(&host), kResultOk);
    ASSERT_EQ(processor->connect(controller), kResultOk);
    ASSERT_EQ(controller->connect(processor), kResultOk);
  }
  void TearDown() override {
    processor->disconnect(controller);
    controller->disconnect(processor);
    processor->setActive(false);
    processor->terminate();
    controller->terminate();
    processor->release();
    controller->release();
  }

  NamedHost host{u"orbel-probe"};
  OrbelProcessor* processor = nullptr;
  OrbelController* controller = nullptr;
};

TEST_F(ConnectedPair, SetUpDeliversHostFactsToTheController) {
  ProcessSetup setup{kRealtime, kSample32, 256, 44100.0};
  ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
  const HostFacts& facts = controller->currentHostFacts();
  EXPECT_EQ(facts.sampleRate, 44100.0);
  EXPECT_EQ(facts.maxBlockFrames, 256);
  EXPECT_EQ(facts.sampleSize, 32);
  ASSERT_GE(facts.busCount, 1u);
  EXPECT_STREQ(facts.buses[facts.busCount - 1].id, "out0");
  EXPECT_STREQ(facts.hostName, "orbel-probe");
  EXPECT_EQ(facts.validatorHost, HostFacts::kValidatorOrbelProbe);
  const DiagnosticLifecycleEvent& event = controller->lifecycle().newest();
  EXPECT_EQ(event.kind, DiagnosticLifecycleKind::SampleRateChanged);
  EXPECT_EQ(event.details[0].number, 44100.0);
  EXPECT_EQ(event.details[1].number, 0.0);

  // A refused set-up reaches the controller as a health report.
  ProcessSetup bad{kRealtime, kSample32, 256, 5.0e6};
  EXPECT_NE(processor->setupProcessing(bad), kResultOk);
  EXPECT_NE(controller->lastRuntimeHealthReport().find("\"lifecycle\":\"failed\""),
            std::string::npos);
}

TEST_F(ConnectedPair, ControllerMapReachesTheProcessorState) {
  const std::string json = R"([{"cc":74,"path":"filter.cutoff"}])";
  CcMap map;
  ASSERT_TRUE(parseCcMapJson(json.data(), json.size(), map));
  controller->adoptCcMap(map, true);
  ByteStream out;
  ASSERT_EQ(processor->getState(&out), kResultOk);
  StateChunk chunk;
  ASSERT_TRUE(parseStateJson(out.data().data(), out.data().size(), chunk));
  ASSERT_TRUE(chunk.hasCcMap);
  EXPECT_EQ(chunk.ccMap.count, 1u);
  EXPECT_EQ(chunk.ccMap.bindings[0].paramIndex, 3);
}

}  // namespace
}  // namespace orbel::testhost
