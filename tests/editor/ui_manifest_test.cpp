// The UI bundle manifest: the scanner's rules for each fact, the file
// limits, and the identity block's "ui" member built from the facts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "editor/diagnostic_blocks.h"
#include "editor/ui_manifest.h"
#include "tests/banks/temp_dir.h"

namespace orbel {
namespace {

std::string scan(const std::string& text, const char* key, size_t capacity = 64) {
  char out[128];
  std::memset(out, 'x', sizeof out);
  const bool found = uiManifestString(text.data(), text.size(), key, out, capacity);
  EXPECT_EQ(found, out[0] != 0) << text;
  return out;
}

TEST(UiManifest, ScannerTakesTopLevelStringMembersOnly) {
  const std::string seventy(70, 'a');
  const std::string sixtyTwo(62, 'b');
  const std::string sixtyThree(63, 'c');
  struct Case {
    std::string text;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {R"({"buildTime":"2026-12-10T10:00:00Z"})", "buildTime", "2026-12-10T10:00:00Z"},
      {" {\n \"buildTime\" \t:\r\n \"t\" } ", "buildTime", "t"},
      {R"({"a":"buildTime","buildTime":"real"})", "buildTime",
       "real"},  // a value equal to the key is no key
      {R"({"buildTime":"first","buildTime":"second"})", "buildTime", "first"},
      {R"({"files":{"sha256":"nested"},"sha256":"top"})", "sha256", "top"},
      {R"({"files":{"sha256":"nested"}})", "sha256", ""},
      {R"([{"sha256":"in an array"}])", "sha256", ""},
      {R"({"x":["}",{"sha256":"deep"}],"sha256":"top"})", "sha256", "top"},
      {R"({"x":"\"sha256\":\"fake\"","sha256":"top"})", "sha256",
       "top"},                                           // escapes inside strings are skipped
      {R"({"buildTime":"ab\"cd"})", "buildTime", "ab"},  // a backslash ends the copy
      {R"({"buildTime":12})", "buildTime", ""},
      {R"({"buildTime":null})", "buildTime", ""},
      {R"({"buildTime":"open)", "buildTime", ""},
      {R"({"buildTime")", "buildTime", ""},
      {R"(}{"buildTime":"t"})", "buildTime", ""},
      {R"({"x":"unterminated)", "buildTime", ""},
      {R"({"buildtime":"case"})", "buildTime", ""},
      {"{\"buildTime\":\"" + sixtyTwo + "\"}", "buildTime", nullptr},
      {"{\"buildTime\":\"" + sixtyThree + "\"}", "buildTime", ""},
      {"{\"buildTime\":\"" + seventy + "\"}", "buildTime", ""},
      {"", "buildTime", ""},
  };
  for (const Case& c : cases) {
    const std::string expected = c.expected != nullptr ? c.expected : sixtyTwo;
    EXPECT_EQ(scan(c.text, c.key), expected) << c.text;
  }
  // "sha256" keeps up to 78 characters (capacity 80).
  EXPECT_EQ(scan("{\"sha256\":\"" + std::string(78, 'd') + "\"}", "sha256", 80),
            std::string(78, 'd'));
  EXPECT_EQ(scan("{\"sha256\":\"" + std::string(79, 'd') + "\"}", "sha256", 80), "");
}

TEST(UiManifest, FileFactsAndTheirLimits) {
  test::TempDir dir;
  dir.write(
      "manifest.json",
      R"({"format":"orbel-ui-manifest/v1","buildTime":"2026-12-10T10:00:00Z","sourceRevision":"abc123",)"
      R"("sha256":"0f","files":{"index.html":"ee"}})");
  UiBundleFacts facts = readUiBundleFactsFrom(dir / "manifest.json");
  EXPECT_STREQ(facts.buildTime, "2026-12-10T10:00:00Z");
  EXPECT_STREQ(facts.sourceRevision, "abc123");
  EXPECT_STREQ(facts.sha256, "0f");

  EXPECT_TRUE(readUiBundleFactsFrom(dir / "missing.json").empty());
  std::string huge = R"({"sha256":"0f","pad":")" + std::string(kUiManifestMaxBytes, ' ') + "\"}";
  dir.write("huge.json", huge);
  EXPECT_TRUE(readUiBundleFactsFrom(dir / "huge.json").empty());
}

TEST(UiManifest, IdentityBlockCarriesTheFactsThatAreThere) {
  UiBundleFacts none;
  std::string plain;
  writeDiagnosticIdentityJson(plain, DiagnosticTarget::Vst3, none);
  EXPECT_EQ(plain.find("\"ui\""), std::string::npos);

  UiBundleFacts all;
  std::strcpy(all.buildTime, "T");
  std::strcpy(all.sourceRevision, "R");
  std::strcpy(all.sha256, "S");
  std::string full;
  writeDiagnosticIdentityJson(full, DiagnosticTarget::Vst3, all);
  EXPECT_NE(
      full.find(
          "\"build\":{\"mode\":\"production\",\"configuration\":\"Release\"},"
          "\"ui\":{\"buildTime\":\"T\",\"sourceRevision\":\"R\",\"sha256\":\"S\"},\"ratePolicy\""),
      std::string::npos)
      << full;

  UiBundleFacts digestOnly;
  std::strcpy(digestOnly.sha256, "S");
  std::string one;
  writeDiagnosticIdentityJson(one, DiagnosticTarget::Vst3, digestOnly);
  EXPECT_NE(one.find(",\"ui\":{\"sha256\":\"S\"},"), std::string::npos) << one;
  // Apart from the member, the block is the plain one.
  EXPECT_EQ(one.substr(0, one.find(",\"ui\"")) + one.substr(one.find(",\"ratePolicy\"")), plain);
}

}  // namespace
}  // namespace orbel
