// The bank control inside the controller: page bank messages become
// processor requests, the processor's reply becomes the page's report, a
// bank preset edits parameters as the user would and is noted in the preset
// facts and the lifecycle, and a restored state's bank reference is adopted.
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "state/state_document.h"
#include "platform/clock_scheduler.h"
#include "tests/editor/bridge_fixture.h"
#include "tests/support/hand_run_loop.h"

namespace orbel::testhost {
namespace {

void reply(OrbelController* controller, const std::string& text) {
  orbel::hosting::Message message;
  message.setMessageID("orbel.runtimeBankResult");
  message.getAttributes()->setBinary("json", text.data(), static_cast<uint32>(text.size()));
  EXPECT_EQ(controller->notify(&message), kResultOk);
}

const DiagnosticLifecycleDetail* detail(const DiagnosticLifecycleEvent& event, const char* name) {
  for (uint32_t i = 0; i < event.detailCount; ++i)
    if (std::strcmp(event.details[i].name, name) == 0) return &event.details[i];
  return nullptr;
}

const std::string kReply =
    "ok\n\nkeys\tKeys\tinstruments\nkeys\tKeys\tinstruments\n"
    "\x01warm\tWarm\tkeys\tfilter.cutoff=800\x1Fmaster.gain=0.25";

TEST_F(BridgeTest, ALoadIsAskedOfTheProcessorAndItsReplyReported) {
  post(
      R"({"type":"orbel.loadBank","source":"user-folder","bankPath":"/packs/a","instrument":"keys"})");
  EXPECT_EQ(sentToProcessor("orbel.loadRuntimeBank"),
            std::vector<std::string>{"user-folder\n/packs/a\n\nkeys"});
  EXPECT_TRUE(page.empty());
  page.clear();
  reply(controller, kReply);
  ASSERT_EQ(page.size(), 1u);
  EXPECT_TRUE(startsWith(
      page[0],
      "{\"type\":\"orbel.bankState\",\"reason\":\"loadBank\",\"stateVersion\":1,\"pads\":{},"
      "\"banks\":[],\"runtime\":{\"source\":\"user-folder\",\"locator\":\"/packs/a\","))
      << page[0];
  EXPECT_EQ(controller->bankState().presets.size(), 1u);

  post(R"({"type":"orbel.getBankState"})");
  ASSERT_EQ(page.size(), 1u);
  EXPECT_NE(page[0].find("\"reason\":\"query\""), std::string::npos);
  post(R"({"type":"orbel.pickFolder"})");
  EXPECT_EQ(page, std::vector<std::string>{"{\"type\":\"orbel.folderPicked\",\"ok\":false,"
                                           "\"error\":\"this build has no folder picker\"}"});
  EXPECT_TRUE(peer.messages.empty());
}

TEST_F(BridgeTest, ABankPresetIsAUserEditNotedInThePresetFacts) {
  post(R"({"type":"orbel.diag.subscribe","feeds":["lifecycle"]})");
  post(R"({"type":"orbel.loadBank","source":"user-folder","bankPath":"/packs/a"})");
  reply(controller, kReply);
  post(R"({"type":"orbel.loadBankPreset","id":"warm"})");

  // Each parameter is one gesture for the host and one announcement for the page.
  const double cutoff = orbel_param_normalize(&ORBEL_PARAMS[3], 800),
               gain = orbel_param_normalize(&ORBEL_PARAMS[10], 0.25);
  EXPECT_DOUBLE_EQ(controller->getParamNormalized(3), cutoff);
  EXPECT_DOUBLE_EQ(controller->getParamNormalized(10), gain);
  ASSERT_EQ(handler.edits.size(), 6u);
  EXPECT_EQ(handler.edits[0], "begin 3");
  EXPECT_EQ(handler.edits[2], "end 3");
  size_t changes = 0, reports = 0;
  for (const std::string& m : page) {
    changes += startsWith(m, "{\"type\":\"orbel.paramChanged\"");
    reports += startsWith(m, "{\"type\":\"orbel.bankState\"");
  }
  EXPECT_EQ(changes, 2u);
  EXPECT_EQ(reports, 1u);

  EXPECT_STREQ(controller->presetStateFacts().currentId, "warm");
  EXPECT_STREQ(controller->presetStateFacts().currentName, "Warm");
  const DiagnosticLifecycleEvent& noted = controller->lifecycle().newest();
  EXPECT_STREQ(lastLifecycleKind(), "presetLoaded");
  EXPECT_STREQ(detail(noted, "id")->text, "warm");
  EXPECT_STREQ(detail(noted, "origin")->text, "bank");
  EXPECT_EQ(sentToProcessor("orbel.diag.presetLoaded"), std::vector<std::string>{"warm"});
  // The hello carries it.
  post(R"({"type":"orbel.ready"})");
  ASSERT_FALSE(page.empty());
  EXPECT_NE(page[0].find("\"currentId\":\"warm\",\"currentName\":\"Warm\""), std::string::npos);
}

TEST_F(BridgeTest, PresetTextsAreCutAtNinetyFiveBytesBetweenCharacters) {
  post(R"({"type":"orbel.loadBank","source":"user-folder","bankPath":"/packs/a"})");
  const std::string longName = std::string(94, 'n') + "\xC3\xA9" + "tail";  // é straddles byte 95
  reply(controller, "ok\n\n\n\x01p\t" + longName + "\t\tosc.type=1");
  post(R"({"type":"orbel.loadBankPreset","id":"p"})");
  EXPECT_EQ(std::string(controller->presetStateFacts().currentName), std::string(94, 'n'));
}

TEST_F(BridgeTest, WithoutAProcessorALoadIsMissingAtOnce) {
  controller->disconnect(&peer);
  post(R"({"type":"orbel.loadBank","source":"user-folder","bankPath":"/packs/a"})");
  ASSERT_EQ(page.size(), 1u);
  EXPECT_NE(page[0].find("\"error\":{\"code\":\"missing\",\"requestedId\":\"/packs/a\"}"),
            std::string::npos)
      << page[0];
  controller->connect(&peer);
}

TEST_F(BridgeTest, ARestoredStatesBankReferenceIsAdopted) {
  const std::string pin(64, 'b');
  const std::string state = R"({"bank":{"id":"kit","source":"hosted","locator":"/cache/)" + pin +
                            R"(","sha256":")" + pin +
                            R"(","instrument":"keys","presetId":"warm"}})";
  ByteStream in(state);
  page.clear();
  ASSERT_EQ(controller->setComponentState(&in), kResultOk);
  const BankControl& bank = controller->bankState();
  EXPECT_EQ(bank.source, "hosted");
  EXPECT_EQ(bank.locator, "/cache/" + pin);
  EXPECT_EQ(bank.sha256, pin);
  EXPECT_EQ(bank.requestedInstrument, "keys");
  EXPECT_EQ(bank.currentPreset, "warm");
  EXPECT_FALSE(bank.hasRuntimeBank);
  ASSERT_EQ(page.size(), 1u);
  EXPECT_TRUE(startsWith(page[0], "{\"type\":\"orbel.bankState\",\"reason\":\"restore\""))
      << page[0];
}

using HandLoop = orbel::test::HandRunLoop;

TEST_F(BridgeTest, AnEditorClosedMidDownloadIsAnsweredByNobody) {
  const std::string data =
      std::filesystem::temp_directory_path() / ("orbel-bank-bridge-" + std::to_string(getpid()));
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  auto loop = std::make_shared<HandLoop>();
  processClockScheduler().offer(this, loop);

  // Nothing listens on port 9: the worker's download fails, later.
  post(
      R"({"type":"orbel.loadBank","source":"hosted","url":"https://127.0.0.1:9/a.zip","sha256":")" +
      std::string(64, 'd') + R"("})");
  EXPECT_TRUE(page.empty());
  EXPECT_TRUE(controller->bankState().downloadPending());
  controller->onEditorClosed();
  controller->setBridgeSink({});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (controller->bankState().downloadPending() && std::chrono::steady_clock::now() < deadline) {
    loop->fire();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(controller->bankState().downloadPending());
  EXPECT_TRUE(page.empty());
  EXPECT_TRUE(sentToProcessor("orbel.loadRuntimeBank").empty())
      << "a failed download asks nothing of the processor";

  // The next editor finds the control as it was.
  controller->setBridgeSink([this](const std::string& json) { page.push_back(json); });
  post(R"({"type":"orbel.getBankState"})");
  EXPECT_EQ(page.size(), 1u);
  processClockScheduler().withdraw(this);
  EXPECT_TRUE(loop->timers.empty());
  unsetenv("XDG_DATA_HOME");
  std::error_code ec;
  std::filesystem::remove_all(data, ec);
}

}  // namespace
}  // namespace orbel::testhost
