// The processor's bank and pad-override handling, driven as a host and the
// controller drive it: messages through the connection point, state through
// host streams.
#include <gtest/gtest.h>

#include <string>

#include "state/state_document.h"
#include "plugin/processor.h"
#include "sdk/hosting/host_classes.h"
#include "tests/bankflow/pack.h"
#include "tests/support/vst3_host.h"

namespace orbel {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using testhost::ByteStream;
using testhost::RecordingPeer;

class ProcessorBanks : public ::testing::Test {
protected:
  void SetUp() override {
    FUnknown* unknown = OrbelProcessor::createInstance(nullptr);
    ASSERT_NE(unknown, nullptr);
    ASSERT_EQ(unknown->queryInterface(IComponent::iid, reinterpret_cast<void**>(&component)),
              kResultOk);
    unknown->release();
    ASSERT_EQ(component->initialize(&hostApp), kResultOk);
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
    if (component) {
      component->terminate();
      component->release();
    }
  }

  void send(const char* id, const std::string* json) {
    orbel::hosting::Message message;
    message.setMessageID(id);
    if (json)
      message.getAttributes()->setBinary("json", json->data(), static_cast<uint32>(json->size()));
    connection->notify(&message);
  }
  // The reply to one "orbel.loadRuntimeBank" request.
  std::string loadBank(const std::string& request) {
    const size_t before = peer.messages.size();
    send("orbel.loadRuntimeBank", &request);
    std::string reply = "<none>";
    for (size_t i = before; i < peer.messages.size(); ++i)
      if (peer.messages[i].id == "orbel.runtimeBankResult") reply = peer.messages[i].json;
    return reply;
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
  tresult restore(const std::string& text) {
    ByteStream in(text);
    return component->setState(&in);
  }

  orbel::hosting::HostApplication hostApp;
  RecordingPeer peer;
  IComponent* component = nullptr;
  IConnectionPoint* connection = nullptr;
  test::TempDir dir;
};

TEST_F(ProcessorBanks, LoadRequestsAreAnsweredWithTheirOutcome) {
  test::writeSmallPack(dir, "pack");
  struct Case {
    std::string request;
    std::string reply;
    size_t healthReports;  // runtime-health reports sent with the reply
  };
  const std::string refused = "bank-too-large\nthe engine refused the staged bank (arena capacity)";
  const Case cases[] = {
      {"", "bank-missing\n", 0},
      {"user-folder\n\nabc\nkeys", "bank-missing\n", 0},
      // This engine takes no banks: refused before the folder is read.
      {"\n" + dir / "nowhere", refused, 1},
      {"\n" + dir / "pack", refused, 1},
      {"hosted\n" + dir / "pack" + "\nabc\nkeys\nextra", refused, 1},
      {"\n" + dir / "pack" + "\n\nnot-there", refused, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    const size_t health = peer.count("orbel.runtimeDiagnostics");
    const std::string reply = loadBank(c.request);
    if (c.reply.back() == '\n') {
      EXPECT_EQ(reply.substr(0, c.reply.size()), c.reply);  // detail text is the loader's
      EXPECT_EQ(reply.find('\n', c.reply.size()), std::string::npos);
    } else {
      EXPECT_EQ(reply, c.reply);
    }
    EXPECT_EQ(peer.count("orbel.runtimeDiagnostics"), health + c.healthReports);
  }
  // The last report lists the refusal with its source.
  std::string report;
  for (const auto& m : peer.messages)
    if (m.id == "orbel.runtimeDiagnostics") report = m.json;
  EXPECT_NE(report.find("runtime bank load refused (bank-too-large)"), std::string::npos) << report;
  EXPECT_NE(report.find("\\\"source\\\":\\\"user-folder\\\""), std::string::npos) << report;

  // A missing attribute gets no reply; nothing was loaded, so no reference is saved.
  const size_t messages = peer.messages.size();
  send("orbel.loadRuntimeBank", nullptr);
  EXPECT_EQ(peer.messages.size(), messages);
  EXPECT_FALSE(savedChunk().hasRef);
}

TEST_F(ProcessorBanks, PadOverridesTravelThroughMessagesAndState) {
  const std::string map = "{\"kick\":{\"gain\":0.5},\"snare\":{\"transpose\":2}}";
  send("orbel.padOverrides", &map);
  StateChunk chunk = savedChunk();
  ASSERT_TRUE(chunk.hasPadOverrides);
  ASSERT_EQ(chunk.padOverrides.size(), 2u);
  EXPECT_EQ(chunk.padOverrides[0].pad, "kick");
  EXPECT_EQ(chunk.padOverrides[0].value(kPadGain), 0.5);

  // Malformed payloads and a missing attribute change nothing and get no reply.
  const std::string before = saved();
  const size_t messages = peer.messages.size();
  for (const std::string bad : {"{\"kick\":", "[1]", "{\"kick\":{\"gain\":0.5}} x"})
    send("orbel.padOverrides", &bad);
  send("orbel.padOverrides", nullptr);
  EXPECT_EQ(saved(), before);
  EXPECT_EQ(peer.messages.size(), messages);

  // Round trip into a fresh state: the overrides come back; a state without
  // overrides clears them.
  const std::string state = saved();
  const std::string map2 = "{\"hat\":{\"muted\":1}}";
  send("orbel.padOverrides", &map2);
  ASSERT_EQ(restore(state), kResultOk);
  EXPECT_EQ(saved(), state);

  const double values[kStateParamCount] = {0, 1, 2, 500, 0.5, 0, 0.1, 0.2, 0.3, 0.4, 0.5};
  ASSERT_EQ(restore(writeStateJson(values, 4, nullptr, kSamplerAssetNone, kZoneLegacySingleZone,
                                   nullptr, nullptr, nullptr)),
            kResultOk);
  chunk = savedChunk();
  EXPECT_TRUE(!chunk.hasPadOverrides || chunk.padOverrides.empty());
}

TEST_F(ProcessorBanks, StateNamingAnUnrecallableBankStillApplies) {
  test::writeSmallPack(dir, "pack");
  const double values[kStateParamCount] = {2, 1, 3, 880, 1.5, 2, 0.2, 0.3, 0.6, 0.5, 0.7};
  const SamplerPadOverrides overrides = {[] {
    SamplerPadOverride o;
    o.pad = "kick";
    o.mask = 1u << kPadPan;
    o.values[kPadPan] = -0.5;
    return o;
  }()};
  struct Case {
    const char* source;
    std::string locator;
    size_t healthReports;  // a refused or failed recall is reported at once
  };
  const Case cases[] = {
      {"user-folder", dir / "pack", 1},     // loads, but the engine refuses it
      {"user-folder", dir / "nowhere", 1},  // cannot be read
      {"embedded", dir / "pack", 0},        // never reloaded from a folder
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + (" " + c.locator));
    BankStateRefOut ref;
    ref.id = "small";
    ref.bankVersion = "1.0";
    ref.source = c.source;
    ref.locator = c.locator.c_str();
    ref.instrument = "keys";
    const size_t health = peer.count("orbel.runtimeDiagnostics");
    ASSERT_EQ(restore(writeStateJson(values, 9, nullptr, kSamplerAssetNone, kZoneLegacySingleZone,
                                     &ref, &overrides, nullptr)),
              kResultOk);
    EXPECT_EQ(peer.count("orbel.runtimeDiagnostics"), health + c.healthReports);
    const StateChunk chunk = savedChunk();
    for (int i = 0; i < kStateParamCount; ++i) EXPECT_EQ(chunk.params[i], values[i]) << i;
    EXPECT_EQ(chunk.variation, 9);
    ASSERT_EQ(chunk.padOverrides.size(), 1u);
    EXPECT_EQ(chunk.padOverrides[0].value(kPadPan), -0.5);
    EXPECT_FALSE(chunk.hasRef);  // no bank is kept, so none is named
  }
  // An unparsable document changes nothing.
  const std::string before = saved();
  EXPECT_EQ(restore("{\"params\":"), kResultFalse);
  EXPECT_EQ(saved(), before);
}

}  // namespace
}  // namespace orbel
