// Hosted banks against a real https server on loopback: the download, the
// pin, the unpacking into the per-user cache and every way it can fail, each
// failure leaving no staging folder behind and nothing outside the cache.
#include <atomic>
#include <chrono>
#include <thread>

#include "banks/sound_pack.h"
#include "tests/banks/hosted_bank_env.h"

namespace orbel::test {
namespace {

::testing::Environment* const kServer =
    ::testing::AddGlobalTestEnvironment(HostedBankServerEnv::instance = new HostedBankServerEnv);

struct Fetched {
  bool ok = false;
  std::string path, error;
};

class HostedBank : public HostedBankTest {
protected:
  Fetched fetch(const std::string& url, const std::string& pin) {
    Fetched f;
    f.ok = fetchHostedBank(url, pin, options_, f.path, f.error);
    return f;
  }
};

TEST_F(HostedBank, DownloadsUnpacksAndReusesTheCacheWithTheServerGone) {
  const std::string pin = pinOf("pack.zip");
  TempDir work;
  HttpsBankServer own;
  ASSERT_TRUE(own.start(HostedBankServerEnv::instance->www_->path(), work.path()));
  options_.caFile = own.caFile();

  const Fetched first = fetch(own.url("/files/pack.zip"), pin);
  ASSERT_TRUE(first.ok) << first.error;
  EXPECT_EQ(first.error, "");
  EXPECT_EQ(first.path, cacheRoot() + "/" + pin);
  EXPECT_TRUE(std::filesystem::is_regular_file(first.path + "/bank.json"));
  EXPECT_TRUE(std::filesystem::is_regular_file(first.path + "/a.wav"));
  EXPECT_FALSE(std::filesystem::exists(first.path + "/bank.zip"));
  EXPECT_EQ(cacheEntries(), std::set<std::string>{pin});

  own.stop();
  // Another archive from the same address fails now: the server is gone.
  const Fetched other = fetch(own.url("/files/wrapped.zip"), pinOf("wrapped.zip"));
  EXPECT_FALSE(other.ok);
  EXPECT_NE(other.error, "");
  // The cached one is answered without asking.
  const Fetched again = fetch(own.url("/files/pack.zip"), pin);
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.path, first.path);
  EXPECT_EQ(cacheEntries(), std::set<std::string>{pin});
}

TEST_F(HostedBank, APinThatIsNotSixtyFourLowercaseHexDigitsTouchesNothing) {
  std::string climbing(64, 'a');
  climbing.replace(0, 9, "../../../");
  const std::string pins[] = {std::string(63, 'a'),
                              std::string(65, 'a'),
                              std::string(64, 'A'),
                              std::string(64, 'g'),
                              climbing,
                              ""};
  for (const std::string& pin : pins) {
    const Fetched f = fetch(served("pack.zip"), pin);
    EXPECT_FALSE(f.ok) << pin;
    EXPECT_EQ(f.error, "a hosted bank must pin a 64-hex sha256") << pin;
    EXPECT_EQ(f.path, "");
  }
  // Not even the cache root was made.
  EXPECT_TRUE(dataTree().empty());
}

TEST_F(HostedBank, OnlyHttpsAddressesWhateverTheirCase) {
  const std::string pin = pinOf("pack.zip");
  const std::string http = "http" + served("pack.zip").substr(5);
  struct Case {
    std::string url;
    const char* error;
  } cases[] = {
      {http, "hosted banks must be served over https"},
      {"ftp://127.0.0.1/pack.zip", "hosted banks must be served over https"},
      {"file:///etc/passwd", "hosted banks must be served over https"},
      {"not a url", "hosted bank url is not a valid URL"},
      {"", "hosted bank url is not a valid URL"},
      {"https://", "hosted bank url is not a valid URL"},
  };
  for (const Case& c : cases) {
    const Fetched f = fetch(c.url, pin);
    EXPECT_FALSE(f.ok) << c.url;
    EXPECT_EQ(f.error, c.error) << c.url;
  }
  EXPECT_TRUE(cacheEntries().empty());

  const Fetched upper = fetch("HTTPS" + served("pack.zip").substr(5), pin);
  EXPECT_TRUE(upper.ok) << upper.error;
  EXPECT_TRUE(fetch(server().url("/redirect/pack.zip"), pin).ok)
      << "redirects to https are followed";
}

TEST_F(HostedBank, EveryFailureLeavesNoStagingFolderAndNothingOutside) {
  const std::string packPin = pinOf("pack.zip");
  const std::string notZip = "the downloaded archive is not a readable zip";
  const std::string tooBig =
      "the downloaded archive unpacks to more than 4194304 bytes or 16 entries";
  struct Case {
    const char* what;
    std::string url;
    std::string pin;
    std::string error;  // empty: any text
    bool useCa = true;
  } cases[] = {
      {"missing file", served("missing.zip"), packPin, "HTTP 404"},
      {"wrong pin", served("pack.zip"), pinOf("wrapped.zip"),
       "downloaded bytes hash to " + packPin.substr(0, 16) +
           "\xE2\x80\xA6 which does not match the pinned sha256"},
      {"redirect to http", server().url("/redirect-http/pack.zip"), packPin, ""},
      {"certificate not trusted", served("pack.zip"), packPin, "", false},
      {"not a zip", served("not-a-zip.zip"), pinOf("not-a-zip.zip"), notZip},
      {"zip-slip by ..", served("slip-dotdot.zip"), pinOf("slip-dotdot.zip"), notZip},
      {"zip-slip by a nested ..", served("slip-nested.zip"), pinOf("slip-nested.zip"), notZip},
      {"absolute path", served("slip-absolute.zip"), pinOf("slip-absolute.zip"), notZip},
      {"link that climbs", served("slip-link.zip"), pinOf("slip-link.zip"), notZip},
      {"absolute link", served("slip-link-absolute.zip"), pinOf("slip-link-absolute.zip"), notZip},
      {"link left pointing out", served("slip-link-only.zip"), pinOf("slip-link-only.zip"), notZip},
      {"written through a link", served("slip-link-through.zip"), pinOf("slip-link-through.zip"),
       notZip},
      {"zip bomb", served("bomb.zip"), pinOf("bomb.zip"), tooBig},
      {"too many entries", served("many.zip"), pinOf("many.zip"), tooBig},
  };
  for (const Case& c : cases) {
    options_.caFile = c.useCa ? server().caFile() : std::string();
    const Fetched f = fetch(c.url, c.pin);
    EXPECT_FALSE(f.ok) << c.what;
    EXPECT_EQ(f.path, "") << c.what;
    if (c.error.empty())
      EXPECT_NE(f.error, "") << c.what;
    else
      EXPECT_EQ(f.error, c.error) << c.what;
    EXPECT_TRUE(cacheEntries().empty()) << c.what;
    EXPECT_EQ(dataTree(), (std::set<std::string>{"Orbel", "Orbel/banks"})) << c.what;
    EXPECT_TRUE(outsideIsEmpty()) << c.what;
  }
}

TEST_F(HostedBank, OneTopFolderIsThePackTwoAreNot) {
  const Fetched wrapped = fetch(served("wrapped.zip"), pinOf("wrapped.zip"));
  ASSERT_TRUE(wrapped.ok) << wrapped.error;
  EXPECT_TRUE(std::filesystem::is_regular_file(wrapped.path + "/bank.json"));
  EXPECT_TRUE(std::filesystem::is_regular_file(wrapped.path + "/a.wav"));

  const Fetched two = fetch(served("two-top.zip"), pinOf("two-top.zip"));
  ASSERT_TRUE(two.ok) << two.error;
  EXPECT_TRUE(std::filesystem::is_regular_file(two.path + "/kit/bank.json"));
  EXPECT_TRUE(std::filesystem::is_directory(two.path + "/samples"));
  // Loading it fails for want of a manifest at the top.
  const RuntimeBankLoad load = loadRuntimeBank(two.path, 0, "");
  EXPECT_EQ(load.outcome, kRuntimeBankMissing);
  EXPECT_EQ(load.message, "cannot read " + two.path + "/bank.json");

  EXPECT_EQ(cacheEntries(), (std::set<std::string>{pinOf("wrapped.zip"), pinOf("two-top.zip")}));
}

TEST_F(HostedBank, ACancelledDownloadStopsSoonAndLeavesNothing) {
  std::atomic<bool> cancel{false};
  options_.cancel = &cancel;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel.store(true);
  });
  const auto started = std::chrono::steady_clock::now();
  const Fetched f = fetch(server().url("/slow"), std::string(64, '0'));
  stopper.join();
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.error, "the download was cancelled");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_TRUE(cacheEntries().empty());
}

TEST(HostedBankPicker, ThisBuildHasNone) {
  std::string path = "stale", error;
  EXPECT_FALSE(pickBankFolder(path, error));
  EXPECT_EQ(path, "");
  EXPECT_EQ(error, "this build has no folder picker");
}

}  // namespace
}  // namespace orbel::test
