// The bank control with a fake host and a fake download service: the page's
// bank messages, the processor's replies and their preset lines, presets of
// the same and of another instrument, restore, hosted loads, and the report
// exactly as the page reads it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "editor/bank_control.h"
#include "editor/bridge_message.h"
#include "json/json_read.h"

namespace orbel {
namespace {

struct Request {
  std::string source, path, sha256, instrument;
  bool operator==(const Request&) const = default;
};

class FakeHost : public BankControlHost {
public:
  std::vector<std::string> sent;
  std::vector<std::pair<unsigned, double>> edits;
  std::vector<Request> requests;
  std::vector<std::pair<std::string, std::string>> selected;
  int padsApplied = 0;
  bool padsSendable = true;
  bool pickOk = false;
  std::string pickPath, pickError = "this build has no folder picker";

  void sendBankJson(const std::string& json) override { sent.push_back(json); }
  void editParam(unsigned index, double value) override { edits.emplace_back(index, value); }
  double readParam(unsigned) const override { return 0; }
  void requestRuntimeBank(const std::string& source, const std::string& path,
                          const std::string& sha256, const std::string& instrument) override {
    requests.push_back({source, path, sha256, instrument});
  }
  bool applyPadOverrides(const SamplerPadOverrides&) override {
    ++padsApplied;
    return padsSendable;
  }
  bool pickFolder(std::string& path, std::string& error) override {
    path = pickPath;
    error = pickError;
    return pickOk;
  }
  void notePresetSelected(const std::string& id, const std::string& name) override {
    selected.emplace_back(id, name);
  }
};

// Downloads that the test answers by hand.
struct Downloads {
  struct Call {
    std::string url, sha256;
    HostedBankFetcher::Completion done;
  };
  std::vector<Call> calls;
  int cancels = 0;
};

class FakeFetcher : public HostedBankFetcher {
public:
  explicit FakeFetcher(Downloads& d) : d_(d) {}
  void fetch(const std::string& url, const std::string& sha256, Completion done) override {
    d_.calls.push_back({url, sha256, std::move(done)});
  }
  void cancel() override { ++d_.cancels; }
  bool busy() const override { return false; }

private:
  Downloads& d_;
};

constexpr const char* kEmptyReport =
    "{\"type\":\"orbel.bankState\",\"reason\":\"query\",\"stateVersion\":1,\"pads\":{},\"banks\":[]"
    ","
    "\"presets\":{\"bankScoped\":false,\"items\":[]}}";

// Instrument "keys" of "instruments", a kit entry, and presets: one for keys,
// one for the kit, and one whose every parameter is unusable.
const std::string kReply =
    "ok\n\nkeys\tKeys\tinstruments\nkeys\tKeys\tinstruments\ndrums\tDrums\tkits\textra\n"
    "\x01warm\tWarm\tkeys\tfilter.cutoff=800\x1Fmaster.gain=0.1\x1Fnot.a.param=3\n"
    "\x01kit\tKit preset\tdrums\tosc.type=2\n"
    "\x01"
    "broken\tBroken\tkeys\tnoequals\x1F=5\x1Fmaster.gain=loud\x1Fosc.type=inf\x1Fosc.octave=nan";

class BankControlTest : public ::testing::Test {
protected:
  BankControlTest() : bank(&host, std::make_unique<FakeFetcher>(downloads)) {}

  void post(const std::string& json) {
    BridgeMessage message;
    ASSERT_TRUE(parseBridgeMessage(json.data(), json.size(), message)) << json;
    EXPECT_TRUE(bank.handleMessage(message)) << json;
  }
  std::string last() const { return host.sent.empty() ? std::string() : host.sent.back(); }
  JsonValue lastJson() const {
    JsonValue v;
    const std::string text = last();
    EXPECT_TRUE(parseJsonDocument(std::vector<uint8_t>(text.begin(), text.end()), v)) << text;
    return v;
  }
  void loadFolder(const std::string& instrument = "keys") {
    post(R"({"type":"orbel.loadBank","source":"user-folder","bankPath":"/packs/a","instrument":")" +
         instrument + "\"}");
  }

  FakeHost host;
  Downloads downloads;
  BankControl bank;
};

TEST_F(BankControlTest, EmbeddedAndCompiledBanksAreMissing) {
  post(R"({"type":"orbel.loadBank","source":"embedded","id":"drums"})");
  EXPECT_EQ(last(),
            "{\"type\":\"orbel.bankState\",\"reason\":\"loadBank\",\"stateVersion\":1,\"pads\":{},"
            "\"banks\":[],"
            "\"presets\":{\"bankScoped\":false,\"items\":[]},\"error\":{\"code\":\"bank-missing\","
            "\"requestedId\":\"drums\"}}");
  post(R"({"type":"orbel.loadBank","id":"kit"})");
  EXPECT_EQ(lastJson().find("error")->str("requestedId", ""), "kit");
  host.sent.clear();
  post(R"({"type":"orbel.loadBank"})");
  post(R"({"type":"orbel.loadBank","source":"embedded"})");
  EXPECT_TRUE(host.sent.empty());
  EXPECT_TRUE(host.requests.empty());

  // Not bank messages: left to the rest of the dispatch.
  for (const char* text : {R"({"type":"orbel.setParam"})", R"({"type":"orbel.loadBankPreset"})",
                           R"({"type":"orbel.setPadOverrides"})"}) {
    BridgeMessage m;
    ASSERT_TRUE(parseBridgeMessage(text, std::strlen(text), m));
    EXPECT_FALSE(bank.handleMessage(m)) << text;
  }
}

TEST_F(BankControlTest, AFolderIsRequestedAndAnOkWithNoLinesIsABankWithNothingInIt) {
  loadFolder();
  ASSERT_EQ(host.requests, (std::vector<Request>{{"user-folder", "/packs/a", "", "keys"}}));
  EXPECT_TRUE(host.sent.empty()) << "the report waits for the reply";
  EXPECT_EQ(downloads.cancels, 1) << "a local load replaces any download on its way";

  bank.adoptRuntimeBankReply("ok");
  EXPECT_TRUE(bank.hasRuntimeBank);
  EXPECT_EQ(last(),
            "{\"type\":\"orbel.bankState\",\"reason\":\"loadBank\",\"stateVersion\":1,\"pads\":{},"
            "\"banks\":[],"
            "\"runtime\":{\"source\":\"user-folder\",\"locator\":\"/packs/a\",\"positionings\":[]},"
            "\"presets\":{\"bankScoped\":false,\"items\":[]}}");

  post(R"({"type":"orbel.loadBank","source":"user-folder","instrument":"keys"})");
  EXPECT_EQ(lastJson().find("error")->str("code", ""), "bank-missing");
  EXPECT_EQ(lastJson().find("error")->str("requestedId", ""), "user-folder");
  EXPECT_EQ(host.requests.size(), 1u);
}

TEST_F(BankControlTest, TheReplysLinesBecomeTheReport) {
  loadFolder();
  bank.adoptRuntimeBankReply(kReply);
  EXPECT_EQ(bank.instrumentId, "keys");
  EXPECT_EQ(bank.instrumentList, "instruments");
  ASSERT_EQ(bank.entries.size(), 2u);
  ASSERT_EQ(bank.presets.size(), 2u) << "a preset without one usable parameter is dropped";
  EXPECT_EQ(bank.presets[0].params.size(), 3u);
  EXPECT_EQ(
      last(),
      "{\"type\":\"orbel.bankState\",\"reason\":\"loadBank\",\"stateVersion\":1,\"pads\":{},"
      "\"banks\":[],"
      "\"runtime\":{\"source\":\"user-folder\",\"locator\":\"/packs/a\","
      "\"instrument\":{\"id\":\"keys\",\"name\":\"Keys\",\"list\":\"instruments\"},"
      "\"positionings\":[{\"id\":\"keys\",\"name\":\"Keys\",\"list\":\"instruments\"},"
      // Control bytes stay as they are (line-safe JSON escapes them on the way out).
      "{\"id\":\"drums\",\"name\":\"Drums\",\"list\":\"kits\textra\"}]},"
      "\"presets\":{\"bankScoped\":true,\"items\":["
      "{\"id\":\"warm\",\"name\":\"Warm\",\"instrument\":\"keys\","
      "\"params\":{\"filter.cutoff\":800,\"master.gain\":0.10000000000000001,\"not.a.param\":3}},"
      "{\"id\":\"kit\",\"name\":\"Kit "
      "preset\",\"instrument\":\"drums\",\"params\":{\"osc.type\":2}}]}}");

  // A second reply replaces everything; an empty instrument line stores none.
  bank.adoptRuntimeBankReply("ok\n\n\nsolo\tSolo\tinstruments");
  EXPECT_EQ(bank.instrumentId, "");
  EXPECT_EQ(bank.entries, std::vector<std::string>{"solo\tSolo\tinstruments"});
  EXPECT_TRUE(bank.presets.empty());
}

TEST_F(BankControlTest, AFailedReplyForgetsTheBankAndNamesWhatWasAskedFor) {
  post(R"({"type":"orbel.setPadOverrides","pads":{"36":{"gain":2}}})");
  loadFolder();
  bank.adoptRuntimeBankReply(kReply);
  post(R"({"type":"orbel.loadBankPreset","id":"warm"})");
  loadFolder("pads");
  bank.adoptRuntimeBankReply("bank-too-large\nthe engine refused the staged bank (arena capacity)");
  const JsonValue report = lastJson();
  EXPECT_EQ(report.find("error")->str("code", ""), "bank-too-large");
  EXPECT_EQ(report.find("error")->str("requestedId", ""), "pads");
  EXPECT_EQ(report.find("runtime"), nullptr);
  EXPECT_FALSE(bank.hasRuntimeBank);
  EXPECT_TRUE(bank.presets.empty());
  EXPECT_EQ(bank.source + bank.locator + bank.instrumentId, "");
  // What stays: the instrument asked for, the preset and the pads.
  EXPECT_EQ(bank.requestedInstrument, "pads");
  EXPECT_EQ(bank.currentPreset, "warm");
  EXPECT_EQ(report.find("pads")->members.size(), 1u);

  // Without an instrument the locator is named; "missing" comes from a host
  // that could not send the request.
  loadFolder("");
  bank.adoptRuntimeBankReply("missing\n/packs/a");
  EXPECT_EQ(lastJson().find("error")->str("code", ""), "missing");
  EXPECT_EQ(lastJson().find("error")->str("requestedId", ""), "/packs/a");
}

TEST_F(BankControlTest, APresetOfTheSameInstrumentSetsParametersAndReportsAtOnce) {
  loadFolder();
  bank.adoptRuntimeBankReply(kReply);
  host.sent.clear();
  post(R"({"type":"orbel.loadBankPreset","id":"warm"})");
  // Parameter paths only; the plain values as the preset holds them.
  EXPECT_EQ(host.edits, (std::vector<std::pair<unsigned, double>>{{3, 800}, {10, 0.1}}));
  EXPECT_EQ(host.selected, (std::vector<std::pair<std::string, std::string>>{{"warm", "Warm"}}));
  EXPECT_EQ(bank.currentPreset, "warm");
  EXPECT_EQ(host.requests.size(), 1u);
  ASSERT_EQ(host.sent.size(), 1u);
  EXPECT_EQ(lastJson().str("reason", ""), "loadBank");
  EXPECT_EQ(lastJson().find("error"), nullptr);

  post(R"({"type":"orbel.loadBankPreset","id":"nope"})");
  EXPECT_EQ(lastJson().find("error")->str("code", ""), "bank-missing");
  EXPECT_EQ(lastJson().find("error")->str("requestedId", ""), "nope");
}

TEST_F(BankControlTest, APresetOfAnotherInstrumentReloadsAndReportsAfterTheReply) {
  loadFolder();
  bank.adoptRuntimeBankReply(kReply);
  host.sent.clear();
  post(R"({"type":"orbel.loadBankPreset","id":"kit"})");
  EXPECT_EQ(host.edits, (std::vector<std::pair<unsigned, double>>{{0, 2}}));
  ASSERT_EQ(host.requests.size(), 2u);
  EXPECT_EQ(host.requests[1], (Request{"user-folder", "/packs/a", "", "drums"}));
  EXPECT_TRUE(host.sent.empty()) << "the reload's reply brings the report";
  bank.adoptRuntimeBankReply("ok\n\ndrums\tDrums\tkits\n\x01kit\tKit preset\tdrums\tosc.type=2");
  ASSERT_EQ(host.sent.size(), 1u);
  EXPECT_EQ(lastJson().find("runtime")->find("instrument")->str("id", ""), "drums");
  EXPECT_EQ(bank.currentPreset, "kit");
}

TEST_F(BankControlTest, RestoreKeepsTheAdoptedFactsAndReportsPadsAlways) {
  bank.sendBankState(nullptr, nullptr, nullptr);
  EXPECT_EQ(last(), kEmptyReport);

  // Presets held without an adopted bank are not offered.
  bank.presets.push_back({"p", "P", "", {{"osc.type", 1}}});
  bank.adoptRestoredRef("hosted", "https://x/y.zip", std::string(64, 'a'), "keys", "p");
  SamplerPadOverrides pads;
  const char* restored = "{\"40\":{\"muted\":1}}";
  ASSERT_TRUE(parseSamplerPadOverridesJson(restored, std::strlen(restored), pads));
  bank.adoptRestoredPadOverrides(pads);
  bank.sendBankState("restore", nullptr, nullptr);
  EXPECT_EQ(last(),
            "{\"type\":\"orbel.bankState\",\"reason\":\"restore\",\"stateVersion\":1,\"pads\":{"
            "\"40\":{\"muted\":1}},"
            "\"banks\":[],\"presets\":{\"bankScoped\":false,\"items\":[]}}");
  EXPECT_EQ(bank.source, "hosted");
  EXPECT_EQ(bank.sha256, std::string(64, 'a'));
  EXPECT_EQ(bank.requestedInstrument, "keys");
  EXPECT_EQ(bank.currentPreset, "p");
  EXPECT_FALSE(bank.hasRuntimeBank);
}

TEST_F(BankControlTest, PadOverridesAreKeptOnlyWhenTheProcessorGotThem) {
  host.padsSendable = false;
  post(R"({"type":"orbel.setPadOverrides","pads":{"36":{"transpose":3}}})");
  EXPECT_TRUE(bank.padOverrides.empty());
  EXPECT_TRUE(host.sent.empty());
  host.padsSendable = true;
  post(R"({"type":"orbel.setPadOverrides","pads":{"36":{"transpose":3}}})");
  EXPECT_EQ(bank.padOverrides.size(), 1u);
  EXPECT_EQ(lastJson().str("reason", ""), "setPadOverrides");
  EXPECT_EQ(host.padsApplied, 2);
}

TEST_F(BankControlTest, FolderPickerAnswers) {
  post(R"({"type":"orbel.pickFolder"})");
  EXPECT_EQ(last(),
            "{\"type\":\"orbel.folderPicked\",\"ok\":false,\"error\":\"this build has no folder "
            "picker\"}");
  host.pickError.clear();
  post(R"({"type":"orbel.pickFolder"})");
  EXPECT_EQ(last(), "{\"type\":\"orbel.folderPicked\",\"ok\":false,\"cancelled\":true}");
  host.pickOk = true;
  host.pickPath = "/home/me/Kit \"1\"";
  post(R"({"type":"orbel.pickFolder"})");
  EXPECT_EQ(last(),
            "{\"type\":\"orbel.folderPicked\",\"ok\":true,\"path\":\"/home/me/Kit \\\"1\\\"\"}");
}

TEST_F(BankControlTest, HostedLoadsContinueWhenTheDownloadAnswers) {
  loadFolder();
  bank.adoptRuntimeBankReply(kReply);
  host.sent.clear();
  const std::string pin(64, 'c');
  post(R"({"type":"orbel.loadBank","source":"hosted","url":"https://h/a.zip","sha256":")" + pin +
       R"(","instrument":"keys","bankPath":"/ignored"})");
  ASSERT_EQ(downloads.calls.size(), 1u);
  EXPECT_EQ(downloads.calls[0].url, "https://h/a.zip");
  EXPECT_EQ(downloads.calls[0].sha256, pin);
  EXPECT_TRUE(host.sent.empty());
  EXPECT_EQ(host.requests.size(), 1u) << "nothing asked of the processor before the download";

  // A failed download is reported with the address and changes nothing.
  downloads.calls[0].done(HostedBankResult{false, "", "HTTP 404"});
  EXPECT_EQ(lastJson().find("error")->str("code", ""), "bank-fetch-failed");
  EXPECT_EQ(lastJson().find("error")->str("requestedId", ""), "https://h/a.zip");
  EXPECT_TRUE(bank.hasRuntimeBank);
  EXPECT_EQ(bank.locator, "/packs/a");
  EXPECT_EQ(bank.presets.size(), 2u);

  // A downloaded bank is asked for by its folder and known by its address.
  post(R"({"type":"orbel.loadBank","source":"hosted","url":"https://h/a.zip","sha256":")" + pin +
       R"("})");
  ASSERT_EQ(downloads.calls.size(), 2u);
  downloads.calls[1].done(HostedBankResult{true, "/cache/" + pin, ""});
  ASSERT_EQ(host.requests.size(), 2u);
  EXPECT_EQ(host.requests[1], (Request{"hosted", "/cache/" + pin, pin, ""}));
  bank.adoptRuntimeBankReply("ok");
  EXPECT_EQ(lastJson().find("runtime")->str("locator", ""), "https://h/a.zip");
  EXPECT_EQ(lastJson().find("runtime")->str("source", ""), "hosted");
}

}  // namespace
}  // namespace orbel
