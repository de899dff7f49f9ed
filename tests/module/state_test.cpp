// Processor state and controller messages, through the built bundle: the
// processor is connected to a recording peer as a host connects it to the
// controller.
#include <gtest/gtest.h>

#include <thread>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics/host_facts.h"
#include "state/state_document.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "sdk/hosting/host_classes.h"
#include "tests/module/module_fixture.h"

namespace orbel::testhost {
namespace {

class ProcessorState : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(sharedModule().ok()) << sharedModule().error;
    IPluginFactory* factory = sharedModule().getPluginFactory();
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(kProcessorFuid.toTUID(), IComponent::iid, &obj), kResultOk);
    factory->release();
    component = static_cast<IComponent*>(obj);
    ASSERT_EQ(component->initialize(&hostApp), kResultOk);
    ASSERT_EQ(component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&audio)),
              kResultOk);
    ASSERT_EQ(
        component->queryInterface(IConnectionPoint::iid, reinterpret_cast<void**>(&connection)),
        kResultOk);
    ASSERT_EQ(connection->connect(&peer), kResultOk);
  }
  void TearDown() override {
    if (connection) {
      connection->disconnect(&peer);
      connection->release();
    }
    if (audio) audio->release();
    if (component) {
      component->setActive(false);
      component->terminate();
      component->release();
    }
  }

  std::string saved() {
    ByteStream out;
    EXPECT_EQ(component->getState(&out), kResultOk);
    return out.data();
  }
  StateChunk savedChunk() {
    const std::string text = saved();
    StateChunk chunk;
    EXPECT_TRUE(parseStateJson(text.data(), text.size(), chunk)) << text;
    return chunk;
  }
  tresult restore(const std::string& text, int32 maxRead = 1 << 30) {
    ByteStream in(text, maxRead);
    return component->setState(&in);
  }
  // The one health report the peer holds.
  std::string onlyHealthReport() const {
    EXPECT_EQ(peer.count("orbel.runtimeDiagnostics"), 1u);
    for (const auto& m : peer.messages)
      if (m.id == "orbel.runtimeDiagnostics") return m.json;
    return {};
  }
  tresult send(const char* id, const std::string* json = nullptr) {
    orbel::hosting::Message message;
    message.setMessageID(id);
    if (json)
      message.getAttributes()->setBinary("json", json->data(), static_cast<uint32>(json->size()));
    return connection->notify(&message);
  }

  orbel::hosting::HostApplication hostApp;
  RecordingPeer peer;
  IComponent* component = nullptr;
  IAudioProcessor* audio = nullptr;
  IConnectionPoint* connection = nullptr;
};

const double kValues[kStateParamCount] = {3, -1, 25, 440, 2.5, -3, 0.5, 1.25, 0.4, 2, 0.6};

TEST_F(ProcessorState, RestoresAllValuesThroughShortReads) {
  const std::string doc = writeStateJson(kValues, 7, nullptr, kSamplerAssetNone,
                                         kZoneLegacySingleZone, nullptr, nullptr, nullptr);
  ByteStream in(doc, 37);  // a host stream that hands out 37 bytes per read
  ASSERT_EQ(component->setState(&in), kResultOk);
  EXPECT_GT(in.readCalls(), 2);
  const StateChunk chunk = savedChunk();
  for (int i = 0; i < kStateParamCount; ++i) {
    EXPECT_TRUE(chunk.hasParam[i]);
    EXPECT_EQ(chunk.params[i], kValues[i]) << i;
  }
  EXPECT_EQ(chunk.variation, 7);

  // A saved state restores into a fresh processor byte for byte.
  const std::string first = saved();
  ProcessorState::TearDown();
  component = nullptr, audio = nullptr, connection = nullptr;
  ProcessorState::SetUp();
  EXPECT_NE(saved(), first);
  ASSERT_EQ(restore(first, 100), kResultOk);
  EXPECT_EQ(saved(), first);
}

// Some streams (the SDK's own file stream among them) answer kResultFalse for
// the read that reaches the end while still handing over what it read.
TEST_F(ProcessorState, StrictStreamsRestoreTheWholeState) {
  std::string doc = writeStateJson(kValues, 6, nullptr, kSamplerAssetNone, kZoneLegacySingleZone,
                                   nullptr, nullptr, nullptr);
  const std::string longDoc =
      doc.substr(0, 1) + "\"notes\":\"" + std::string(5000, 'x') + "\"," + doc.substr(1);
  struct Case {
    const char* name;
    const std::string* text;
    int32 maxRead;
  };
  const Case cases[] = {
      {"one read", &doc, 1 << 30},
      {"short reads", &doc, 37},
      {"longer than one read", &longDoc, 1 << 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(restore(writeStateJson(kValues, 1, nullptr, kSamplerAssetNone, kZoneLegacySingleZone,
                                     nullptr, nullptr, nullptr)),
              kResultOk);
    ByteStream strict(*c.text, c.maxRead, true);
    ASSERT_EQ(component->setState(&strict), kResultOk);
    EXPECT_EQ(savedChunk().variation, 6);
    EXPECT_EQ(savedChunk().params[10], kValues[10]);
  }
}

TEST_F(ProcessorState, ReadsTextsLongerThanOneReadChunk) {
  std::string doc = writeStateJson(kValues, 3, nullptr, kSamplerAssetNone, kZoneLegacySingleZone,
                                   nullptr, nullptr, nullptr);
  doc.insert(1, "\"notes\":\"" + std::string(9000, 'x') + "\",");  // unknown member, skipped
  ASSERT_GT(doc.size(), 2u * 4096u);
  ASSERT_EQ(restore(doc), kResultOk);
  const StateChunk chunk = savedChunk();
  EXPECT_EQ(chunk.params[10], kValues[10]);
  EXPECT_EQ(chunk.variation, 3);
}

TEST_F(ProcessorState, DocumentWithoutVariationKeepsTheCurrentOne) {
  ASSERT_EQ(restore(writeStateJson(kValues, 5, nullptr, kSamplerAssetNone, kZoneLegacySingleZone,
                                   nullptr, nullptr, nullptr)),
            kResultOk);
  const double others[kStateParamCount] = {0, 0, 0, 1000, 1, 0, 0.1, 0.1, 0.5, 0.1, 0.3};
  const std::string noVariation = writeStateJson(others, -1, nullptr, kSamplerAssetNone,
                                                 kZoneLegacySingleZone, nullptr, nullptr, nullptr);
  ASSERT_EQ(noVariation.find("variation"), std::string::npos);
  ASSERT_EQ(restore(noVariation), kResultOk);
  const StateChunk chunk = savedChunk();
  EXPECT_EQ(chunk.variation, 5);
  EXPECT_EQ(chunk.params[3], 1000.0);
}

TEST_F(ProcessorState, UnparsableStateChangesNothing) {
  ASSERT_EQ(restore(writeStateJson(kValues, 9, nullptr, kSamplerAssetNone, kZoneLegacySingleZone,
                                   nullptr, nullptr, nullptr)),
            kResultOk);
  const std::string before = saved();
  const std::string bad[] = {"", "{\"params\":{\"osc.type\":0",
                             "{\"params\":{\"master.gain\":0.1},\"variation\":\"x\"}", "not json",
                             std::string("{\0}", 3)};
  for (const std::string& text : bad) {
    EXPECT_EQ(restore(text), kResultFalse) << text;
    EXPECT_EQ(saved(), before) << text;
  }
  EXPECT_EQ(component->setState(nullptr), kResultFalse);
  EXPECT_EQ(component->getState(nullptr), kResultFalse);
}

TEST_F(ProcessorState, FlushBlockAppliesParametersAtOnce) {
  ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
  ASSERT_EQ(audio->setupProcessing(setup), kResultOk);
  ASSERT_EQ(component->setActive(true), kResultOk);
  Block flush(0);
  flush.params.add(10, 0, 0.25);
  flush.params.add(3, 0, 1.0);
  flush.params.add(11, 0, 1.0);  // not a parameter of this product
  ASSERT_EQ(audio->process(flush.data), kResultOk);
  const StateChunk chunk = savedChunk();
  EXPECT_EQ(chunk.params[10], 0.25);
  EXPECT_EQ(chunk.params[3], 20000.0);
}

TEST_F(ProcessorState, SaveReportsUndrainedAudioThreadProblemsFirst) {
  ProcessSetup setup{kRealtime, kSample32, 256, 48000.0};
  ASSERT_EQ(audio->setupProcessing(setup), kResultOk);
  ASSERT_EQ(component->setActive(true), kResultOk);
  Block tooLong(512);  // more frames than the set-up allowed
  EXPECT_EQ(audio->process(tooLong.data), kResultFalse);
  peer.messages.clear();

  saved();
  ASSERT_EQ(peer.count("orbel.runtimeDiagnostics"), 1u);
  const std::string& report = peer.messages[0].json;
  EXPECT_NE(report.find("audio process callback failed; output was cleared"), std::string::npos)
      << report;
  EXPECT_EQ(report.find("\"lifecycle\":\"failed\""), std::string::npos) << report;
  saved();  // drained: nothing new to report
  EXPECT_EQ(peer.count("orbel.runtimeDiagnostics"), 1u);
}

TEST_F(ProcessorState, CcMapMessageIsKeptAndSaved) {
  EXPECT_FALSE(savedChunk().hasCcMap);
  const std::string junk = "{\"bindings\":[";
  EXPECT_EQ(send("orbel.ccMap", &junk), kResultOk);
  EXPECT_EQ(send("orbel.ccMap"), kResultOk);  // no attribute
  EXPECT_FALSE(savedChunk().hasCcMap);

  CcMap map{};
  std::string json;
  writeCcMapJson(json, map);
  EXPECT_EQ(send("orbel.ccMap", &json), kResultOk);
  EXPECT_TRUE(savedChunk().hasCcMap);
}

TEST_F(ProcessorState, AnswersMessagesInItsTable) {
  const std::string preset = "factory/bright";
  EXPECT_EQ(send("orbel.diag.feedDrain"), kResultOk);
  EXPECT_EQ(send("orbel.diag.resetCounters"), kResultOk);
  EXPECT_EQ(send("orbel.diag.presetLoaded", &preset), kResultOk);
  EXPECT_EQ(send("orbel.diag.presetLoaded"), kResultOk);
  EXPECT_EQ(send("orbel.diag.transportPoll"), kResultOk);
  EXPECT_EQ(send("orbel.stageResourceSlot"), kResultFalse);
  // Unknown ids go to the SDK base, which answers its own text message.
  EXPECT_EQ(send("orbel.noSuchMessage"), kResultFalse);
  orbel::hosting::Message text;
  text.setMessageID("TextMessage");
  text.getAttributes()->setString("Text", STR16("hello"));
  EXPECT_EQ(connection->notify(&text), kResultOk);
  EXPECT_NE(connection->notify(nullptr), kResultOk);
  EXPECT_TRUE(peer.messages.empty());
}

TEST_F(ProcessorState, FailedSetupSendsOneFailedHealthReport) {
  ProcessSetup bad{kRealtime, kSample32, 512, -1.0};
  ASSERT_EQ(audio->setupProcessing(bad), kResultFalse);
  ASSERT_EQ(peer.messages.size(), 1u);
  EXPECT_EQ(peer.messages[0].id, "orbel.runtimeDiagnostics");
  EXPECT_NE(peer.messages[0].json.find("\"lifecycle\":\"failed\""), std::string::npos)
      << peer.messages[0].json;
  EXPECT_NE(peer.messages[0].json.find("host processing configuration is invalid"),
            std::string::npos);
  EXPECT_EQ(peer.count("orbel.diag.hostFacts"), 0u);

  // Activation re-runs the failed set-up and reports again.
  EXPECT_EQ(component->setActive(true), kResultFalse);
  EXPECT_EQ(peer.count("orbel.runtimeDiagnostics"), 2u);
}

// Ardour sets up and activates from a worker thread while exporting; the
// controller must only be reached on the main thread that initialised us.
TEST_F(ProcessorState, ReportsRaisedOffTheMainThreadWaitForTheMainThread) {
  std::thread worker([this] {
    ProcessSetup bad{kRealtime, kSample32, 512, -1.0};
    EXPECT_EQ(audio->setupProcessing(bad), kResultFalse);
    ProcessSetup good{kOffline, kSample32, 256, 44100.0};
    EXPECT_EQ(audio->setupProcessing(good), kResultOk);
    EXPECT_EQ(component->setActive(true), kResultOk);
  });
  worker.join();
  EXPECT_TRUE(peer.messages.empty());

  // The next main-thread call delivers one of each, the latest facts.
  ByteStream saved;
  ASSERT_EQ(component->getState(&saved), kResultOk);
  ASSERT_EQ(peer.count("orbel.diag.hostFacts"), 1u);
  ASSERT_EQ(peer.count("orbel.runtimeDiagnostics"), 1u);
  for (const auto& m : peer.messages) {
    if (m.id == "orbel.runtimeDiagnostics") {
      EXPECT_NE(m.json.find("\"lifecycle\":\"failed\""), std::string::npos) << m.json;
    } else {
      HostFacts facts;
      ASSERT_TRUE(hostFactsFromImage(m.json.data(), m.json.size(), facts));
      EXPECT_EQ(facts.sampleRate, 44100.0);
    }
  }
  ASSERT_EQ(component->getState(&saved), kResultOk);
  EXPECT_EQ(peer.messages.size(), 2u);
}

// More active instances than the kernel holds: the one left over says why.
TEST_F(ProcessorState, InstanceLimitIsNamedInTheHealthReport) {
  std::vector<std::unique_ptr<Processor>> others;
  for (int i = 0; i < 32; ++i) {
    others.push_back(std::make_unique<Processor>());
    ASSERT_TRUE(others.back()->ok() && others.back()->start()) << i;
  }
  ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
  ASSERT_EQ(audio->setupProcessing(setup), kResultOk);  // the format alone is fine
  peer.messages.clear();
  EXPECT_EQ(component->setActive(true), kResultFalse);
  const std::string report = onlyHealthReport();
  EXPECT_NE(report.find("kernel instance limit reached: at most 32 instances can be active in one "
                        "process"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("\"lifecycle\":\"failed\""), std::string::npos) << report;

  others[5]->component->setActive(false);  // a track is disabled
  EXPECT_EQ(component->setActive(true), kResultOk);
}

// A project may name a bank folder of any size; this instrument's engine
// takes no banks, so the refusal comes before anything in it is read.
TEST_F(ProcessorState, BankRecallIsRefusedWithoutReadingTheFolder) {
  BankStateRefOut ref;
  ref.id = "big";
  ref.source = "user-folder";
  ref.locator = "/no/such/folder/with/a/huge/pack";
  const std::string doc = writeStateJson(kValues, 2, nullptr, kSamplerAssetNone,
                                         kZoneLegacySingleZone, &ref, nullptr, nullptr);
  ASSERT_EQ(restore(doc), kResultOk);
  EXPECT_EQ(savedChunk().variation, 2);  // everything else applies
  EXPECT_FALSE(savedChunk().hasRef);
  const std::string report = onlyHealthReport();
  EXPECT_NE(report.find("runtime bank load refused (bank-too-large): the engine refused the "
                        "staged bank (arena capacity)"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find("cannot read"), std::string::npos) << report;
}

TEST_F(ProcessorState, SuccessfulSetupSendsOneHostFactsRecord) {
  ProcessSetup setup{kOffline, kSample32, 256, 44100.0};
  ASSERT_EQ(audio->setupProcessing(setup), kResultOk);
  ASSERT_EQ(peer.messages.size(), 1u);
  EXPECT_EQ(peer.messages[0].id, "orbel.diag.hostFacts");
  ASSERT_EQ(peer.messages[0].json.size(), 1312u);
  HostFacts facts;
  ASSERT_TRUE(
      hostFactsFromImage(peer.messages[0].json.data(), peer.messages[0].json.size(), facts));
  EXPECT_EQ(facts.sampleRate, 44100.0);
  EXPECT_EQ(facts.maxBlockFrames, 256);
  EXPECT_EQ(facts.processMode, HostFacts::kProcessOffline);
  EXPECT_EQ(facts.sampleSize, 32);
  EXPECT_EQ(facts.latencySamples, 0);
  ASSERT_EQ(facts.busCount, 1u);
  EXPECT_STREQ(facts.buses[0].id, "out0");
  EXPECT_EQ(facts.buses[0].isInput, 0);
  EXPECT_EQ(facts.buses[0].channels, 2);
  EXPECT_STREQ(facts.buses[0].layout, "stereo");
  EXPECT_STREQ(facts.hostName, "");

  // Activation in both directions and an accepted arrangement refresh it too.
  ASSERT_EQ(component->setActive(true), kResultOk);
  ASSERT_EQ(component->setActive(false), kResultOk);
  SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
  EXPECT_EQ(audio->setBusArrangements(nullptr, 0, &mono, 1), kResultFalse);
  EXPECT_EQ(audio->setBusArrangements(nullptr, 0, &stereo, 1), kResultTrue);
  EXPECT_EQ(peer.count("orbel.diag.hostFacts"), 4u);
  EXPECT_EQ(peer.count("orbel.runtimeDiagnostics"), 0u);
}

TEST_F(ProcessorState, TransportSnapshotsReachTheControllerWhenItPolls) {
  ProcessSetup setup{kRealtime, kSample32, 256, 48000.0};
  ASSERT_EQ(audio->setupProcessing(setup), kResultOk);
  ASSERT_EQ(component->setActive(true), kResultOk);
  ProcessContext context{};
  context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid |
                  ProcessContext::kTimeSigValid | ProcessContext::kProjectTimeMusicValid;
  context.sampleRate = 48000.0;
  context.tempo = 90.0;
  context.timeSigNumerator = 7;
  context.timeSigDenominator = 8;
  Block block(256);
  block.data.processContext = &context;
  for (int i = 0; i < 3; ++i) {
    context.projectTimeSamples = 256 * i;
    context.projectTimeMusic = 0.25 * i;
    ASSERT_EQ(audio->process(block.data), kResultOk);
  }
  peer.messages.clear();
  ASSERT_EQ(send("orbel.diag.transportPoll"), kResultOk);
  ASSERT_EQ(peer.count("orbel.diag.transport"), 1u);
  TransportFact fact;
  ASSERT_TRUE(
      transportFactFromImage(peer.messages[0].json.data(), peer.messages[0].json.size(), fact));
  // The newest snapshot: the third block.
  EXPECT_EQ(fact.atFrame, 512u);
  EXPECT_EQ(fact.source, TransportFact::kSourceHost);
  EXPECT_TRUE(fact.playing);
  EXPECT_TRUE(fact.hasTempo && fact.hasTimeSignature && fact.hasPosition);
  EXPECT_FALSE(fact.hasLoop);
  EXPECT_EQ(fact.tempo, 90.0);
  EXPECT_EQ(fact.numerator, 7);
  EXPECT_EQ(fact.denominator, 8);
  EXPECT_EQ(fact.ppqPosition, 0.5);
  EXPECT_EQ(fact.projectTimeSamples, 512);

  // Nothing new, nothing sent; a block without a process context has no transport.
  block.data.processContext = nullptr;
  ASSERT_EQ(audio->process(block.data), kResultOk);
  ASSERT_EQ(send("orbel.diag.transportPoll"), kResultOk);
  ASSERT_EQ(send("orbel.diag.feedDrain"), kResultOk);
  EXPECT_EQ(peer.count("orbel.diag.transport"), 1u);
}

}  // namespace
}  // namespace orbel::testhost
