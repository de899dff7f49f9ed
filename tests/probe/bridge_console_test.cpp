// `orbel-probe bridge` on the built Mirel module, used as its README shows:
// page messages in, one announcement per line out, the processor playing in
// (faster than) real time and the plug-in's cadence clock on the probe's run
// loop.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "json/json_read.h"
#include "tests/probe/probe_runner.h"
#include "tests/probe/wav_reader.h"

namespace orbel::test {
namespace {

struct Announcement {
  std::string line;
  JsonValue json;
  std::string type() const { return json.str("type", ""); }
};

// Every line of standard output must be one JSON object with a type.
std::vector<Announcement> announcements(const std::string& out) {
  std::vector<Announcement> all;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    Announcement a;
    a.line = line;
    EXPECT_TRUE(parseJsonDocument(std::vector<uint8_t>(line.begin(), line.end()), a.json) &&
                a.json.isObject())
        << line;
    EXPECT_FALSE(a.type().empty()) << line;
    all.push_back(a);
  }
  return all;
}

// Pointers into `all`, which must outlive them.
std::vector<const Announcement*> ofType(const std::vector<Announcement>& all,
                                        const std::string& type) {
  std::vector<const Announcement*> out;
  for (const Announcement& a : all)
    if (a.type() == type) out.push_back(&a);
  return out;
}

std::string inputFile(const std::string& name, const std::vector<std::string>& lines) {
  const std::string path = scratch(name);
  std::ofstream file(path);
  for (const std::string& line : lines) file << line << "\n";
  return path;
}

double peak(const WavData& wav) {
  float p = 0;
  for (float s : wav.samples) p = std::max(p, std::fabs(s));
  return p;
}

class BridgeConsole : public ProbeWithMirel {
protected:
  RunResult bridge(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), {"bridge", bundle_});
    RunResult r = runProbe(args, input);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The plug-in's own clock ran on the probe's run loop, and was taken off
    // it before the module went.
    EXPECT_EQ(r.err.find("the probe ticked"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("left"), std::string::npos) << r.err;
    return r;
  }
};

TEST_F(BridgeConsole, HelloSubscriptionAndTransportAtTheSubscribedRate) {
  const std::string input = inputFile(
      "session.txt",
      {"{\"type\":\"orbel.ready\"}",
       "{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"transport\",\"lifecycle\"],\"hz\":5}",
       "this is not json", "", "{\"type\":\"orbel.ready\"} trailing"});
  const double seconds = 1.5;
  const RunResult r = bridge({"--transport", "128:3/4:play", "--seconds", "1.5"}, input);
  const std::vector<Announcement> all = announcements(r.out);
  ASSERT_FALSE(all.empty()) << r.err;

  const Announcement& hello = all[0];
  ASSERT_EQ(hello.type(), "orbel.hello");
  ASSERT_NE(hello.json.find("params"), nullptr);
  EXPECT_EQ(hello.json.find("params")->items.size(), 11u);
  for (const char* block : {"identity", "host", "diagnostics", "presetState"})
    EXPECT_NE(hello.json.find(block), nullptr) << block;
  // The processor was set up before the page said hello.
  EXPECT_EQ(hello.json.find("host")->find("sampleRate")->number, 48000);
  EXPECT_EQ(hello.json.find("host")->str("hostName", ""), "orbel-probe");

  // The subscription replays the lifecycle so far.
  const auto lifecycle = ofType(all, "orbel.lifecycle");
  ASSERT_FALSE(lifecycle.empty());
  EXPECT_NE(lifecycle[0]->line.find("\"kind\":\"created\""), std::string::npos)
      << lifecycle[0]->line;

  // The playing transport arrives through the cadence, at most 5 times a
  // second once its state is known.
  const auto transport = ofType(all, "orbel.transport");
  ASSERT_GE(transport.size(), 3u) << r.out;
  EXPECT_LE(transport.size(), static_cast<size_t>(seconds * 5) + 3) << r.out;
  double previousFrame = -1;
  for (const Announcement* t : transport) {
    const JsonValue* state = t->json.find("frame")->find("state");
    EXPECT_TRUE(state->find("playing")->boolean);
    EXPECT_EQ(state->find("tempo")->number, 128);
    EXPECT_EQ(state->find("timeSignature")->find("numerator")->number, 3);
    // Bars of 3/4 are 3 quarter notes long.
    const double ppq = state->find("ppqPosition")->number,
                 bar = state->find("barPositionPpq")->number;
    EXPECT_EQ(std::fmod(bar, 3.0), 0.0);
    EXPECT_TRUE(bar <= ppq && ppq < bar + 3) << t->line;
    const double frame = t->json.find("frame")->find("atFrame")->number;
    EXPECT_GE(frame, previousFrame);
    previousFrame = frame;
  }
  EXPECT_GT(previousFrame, 0.5 * 48000);

  // Bad lines are named on standard error and the session goes on.
  EXPECT_NE(r.err.find("input line 3: not one JSON object"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("input line 5: not one JSON object"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("2 messages delivered, 2 lines skipped"), std::string::npos) << r.err;
}

TEST_F(BridgeConsole, PageEditsReachTheNextBlockUnechoedAndAutomationIsAnnounced) {
  const std::string setGain = "{\"type\":\"orbel.setParam\",\"path\":\"master.gain\",\"value\":0}";
  const std::string played = scratch("played.wav"), muted = scratch("muted.wav");
  const std::vector<std::string> phrase = {"--note", "69@0:0.3", "--seconds",
                                           "0.4",    "--speed",  "20"};

  std::vector<std::string> args = phrase;
  args.insert(args.end(), {"--out", played, "--auto", "filter.cutoff@0.1=500"});
  const RunResult automated = bridge(args);
  const std::vector<Announcement> automatedLines = announcements(automated.out);
  const auto changed = ofType(automatedLines, "orbel.paramChanged");
  ASSERT_EQ(changed.size(), 1u) << automated.out;
  EXPECT_EQ(changed[0]->json.str("path", ""), "filter.cutoff");

  args = phrase;
  args.insert(args.end(), {"--out", muted, "--send", setGain});
  const RunResult edited = bridge(args);
  const std::vector<Announcement> editedLines = announcements(edited.out);
  EXPECT_TRUE(ofType(editedLines, "orbel.paramChanged").empty()) << edited.out;

  WavData a, b;
  std::string error;
  ASSERT_TRUE(readWav(played, a, error)) << error;
  ASSERT_TRUE(readWav(muted, b, error)) << error;
  EXPECT_GT(peak(a), 0.1);
  EXPECT_EQ(peak(b), 0.0f);  // from the very first block
}

TEST_F(BridgeConsole, StateSavedByThePageRestoresIt) {
  // Ends with its input: no --seconds.
  const RunResult saved =
      bridge({"--send", "{\"type\":\"orbel.setParam\",\"path\":\"master.gain\",\"value\":0.25}",
              "--send", "{\"type\":\"orbel.setParam\",\"path\":\"osc.type\",\"value\":3}", "--send",
              "{\"type\":\"orbel.getState\"}"});
  const std::vector<Announcement> savedLines = announcements(saved.out);
  const auto states = ofType(savedLines, "orbel.state");
  ASSERT_EQ(states.size(), 1u) << saved.out;
  std::string restore = states[0]->line;
  restore.replace(restore.find("orbel.state"), 11, "orbel.setState");

  const std::string processorState = scratch("restored.state");
  const RunResult restored =
      bridge({"--send", restore, "--send", "{\"type\":\"orbel.getState\"}", "--save-state",
              processorState, "--seconds", "0.1", "--speed", "10"});
  const auto all = announcements(restored.out);
  const auto again = ofType(all, "orbel.state");
  ASSERT_EQ(again.size(), 1u) << restored.out;
  EXPECT_EQ(again[0]->line, states[0]->line);
  // The page hears of the restored values; the processor plays them.
  bool gainAnnounced = false;
  for (const Announcement* a : ofType(all, "orbel.paramChanged"))
    gainAnnounced |=
        a->json.str("path", "") == "master.gain" && a->json.find("value")->number == 0.25;
  EXPECT_TRUE(gainAnnounced) << restored.out;
  const std::string document = slurp(processorState);
  EXPECT_NE(document.find("\"master.gain\":0.25"), std::string::npos) << document;
  EXPECT_NE(document.find("\"osc.type\":3"), std::string::npos) << document;
}

// A small sound pack: manifest, one instrument, one 16-bit WAV.
std::string writePack(const std::string& name) {
  const std::string dir = scratch(name);
  std::filesystem::create_directories(dir);
  std::string wav = "RIFF";
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) wav += static_cast<char>((v >> (8 * i)) & 255);
  };
  auto u16 = [&](uint16_t v) {
    wav += static_cast<char>(v & 255);
    wav += static_cast<char>(v >> 8);
  };
  u32(36 + 16);
  wav += "WAVEfmt ";
  u32(16);
  u16(1);
  u16(1);
  u32(48000);
  u32(96000);
  u16(2);
  u16(16);
  wav += "data";
  u32(16);
  for (int i = 0; i < 8; ++i) u16(static_cast<uint16_t>(i * 1000));
  std::ofstream(dir + "/a.wav", std::ios::binary) << wav;
  std::ofstream(dir + "/keys.json")
      << R"({"format":"orbel-sampler-instrument/v1","zones":[{"id":"z","assetId":"a"}]})";
  std::ofstream(dir + "/bank.json")
      << R"({"format":"orbel-sound-pack/v1","id":"fixture","version":"1","name":"Fixture",)"
         R"("assetTable":[{"id":"a","path":"a.wav"}],"instruments":[{"id":"keys","name":"Keys","document":"keys.json"}]})";
  return dir;
}

// The bank conversation a page has with Mirel: every pack is refused (the
// engine has no sampler) with the processor's own reason, the health report
// names it, there is no folder picker, and hosted packs that cannot be had
// are reported as failed fetches, the download one later than the rest.
TEST_F(BridgeConsole, BankConversation) {
  const std::string pack = writePack("pack");
  setenv("XDG_DATA_HOME", scratch("data").c_str(), 1);
  const std::string pin(64, 'e');
  const std::string closed = "https://127.0.0.1:9/pack.zip";
  const std::string input = inputFile(
      "banks.txt",
      {R"({"type":"orbel.loadBank","source":"user-folder","bankPath":")" + pack + R"("})",
       R"({"type":"orbel.pickFolder"})",
       R"({"type":"orbel.loadBank","source":"hosted","url":"http://example.com/a.zip","sha256":")" +
           pin + R"("})",
       R"({"type":"orbel.getBankState"})",
       R"({"type":"orbel.loadBank","source":"hosted","url":")" + closed + R"(","sha256":")" + pin +
           R"("})"});
  const RunResult r = bridge({"--seconds", "2"}, input);
  unsetenv("XDG_DATA_HOME");
  const std::vector<Announcement> all = announcements(r.out);

  const auto health = ofType(all, "orbel.runtimeDiagnostics");
  ASSERT_EQ(health.size(), 1u) << r.out;
  EXPECT_NE(health[0]->line.find(
                "runtime bank load refused (bank-too-large): the engine refused the staged bank "
                "(arena capacity)"),
            std::string::npos)
      << health[0]->line;

  const auto states = ofType(all, "orbel.bankState");
  ASSERT_EQ(states.size(), 4u) << r.out;
  const JsonValue* refused = states[0]->json.find("error");
  ASSERT_NE(refused, nullptr) << states[0]->line;
  EXPECT_EQ(refused->str("code", ""), "bank-too-large");
  EXPECT_EQ(refused->str("requestedId", ""), pack);
  // The plain http one fails at once; the download from a closed port after it.
  EXPECT_EQ(states[1]->json.find("error")->str("requestedId", ""), "http://example.com/a.zip");
  EXPECT_EQ(states[2]->json.str("reason", ""), "query");
  EXPECT_EQ(states[3]->json.find("error")->str("code", ""), "bank-fetch-failed");
  EXPECT_EQ(states[3]->json.find("error")->str("requestedId", ""), closed);
  for (const Announcement* s : states) {
    EXPECT_EQ(s->json.find("runtime"), nullptr);
    EXPECT_NE(s->json.find("pads"), nullptr);
  }
  EXPECT_NE(r.err.find("orbel-plugin-shell: hosted bank " + closed + " not fetched: "),
            std::string::npos)
      << r.err;

  const auto picked = ofType(all, "orbel.folderPicked");
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_EQ(picked[0]->line,
            "{\"type\":\"orbel.folderPicked\",\"ok\":false,\"error\":\"this build has no folder "
            "picker\"}");
  // Nothing was left in the cache.
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::is_empty(scratch("data") + "/Orbel/banks", ec)) << ec.message();
}

// A download that never finishes (a server that takes the connection and
// never answers) while the session, and with it the module, ends: the worker
// is stopped and joined before the module goes, and no answer is left over.
TEST_F(BridgeConsole, TheModuleGoesWhileADownloadHangs) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string url =
      "https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/pack.zip";

  setenv("XDG_DATA_HOME", scratch("hang").c_str(), 1);
  const auto started = std::chrono::steady_clock::now();
  const RunResult r = bridge({"--seconds", "0.5", "--send",
                              R"({"type":"orbel.loadBank","source":"hosted","url":")" + url +
                                  R"(","sha256":")" + std::string(64, 'f') + R"("})"});
  const auto took = std::chrono::steady_clock::now() - started;
  unsetenv("XDG_DATA_HOME");
  ::close(listener);

  EXPECT_LT(took, std::chrono::seconds(20));
  EXPECT_TRUE(ofType(announcements(r.out), "orbel.bankState").empty()) << r.out;
  EXPECT_EQ(r.err.find("not fetched"), std::string::npos) << r.err;
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::is_empty(scratch("hang") + "/Orbel/banks", ec)) << ec.message();
}

}  // namespace
}  // namespace orbel::test
