// The "orbel-ui" scheme: which paths the containment rule serves, with what
// MIME type, and the page's address.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "editor/ui_scheme.h"
#include "tests/banks/temp_dir.h"

namespace orbel {
namespace {

// <tmp>/ui (the root), <tmp>/ui-other (a sibling whose name begins with the
// root's), <tmp>/secret.txt (outside), with symbolic links inside the root.
class UiSchemeTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir.write("ui/index.html", "<!doctype html>");
    dir.write("ui/js/main.js", "export {};");
    dir.write("ui/js/UPPER.JS", "export {};");
    dir.write("ui/css/theme.css", "body{}");
    dir.write("ui/fonts/face.woff2", "wOF2");
    dir.write("ui/data.bin", "\x01\x02");
    dir.write("ui/noext", "x");
    dir.write("ui/with space.txt", "spaced");
    dir.write("ui-other/index.html", "sibling");
    dir.write("secret.txt", "secret");
    std::filesystem::create_directory_symlink(dir / "ui-other", dir / "ui/linked-out");
    std::filesystem::create_symlink(dir / "secret.txt", dir / "ui/secret.txt");
    std::filesystem::create_symlink(dir / "ui/js/main.js", dir / "ui/alias.js");
    root = dir / "ui";
  }

  test::TempDir dir;
  std::string root;
};

TEST_F(UiSchemeTest, ContainmentRuleServesOnlyFilesInsideTheRoot) {
  struct Case {
    const char* path;
    const char* body;  // null: refused
    const char* mime;
  };
  const Case cases[] = {
      {"", "<!doctype html>", "text/html"},
      {"/", "<!doctype html>", "text/html"},
      {"/index.html", "<!doctype html>", "text/html"},
      {"/js/main.js", "export {};", "text/javascript"},
      {"js/main.js", "export {};", "text/javascript"},
      {"/js/UPPER.JS", "export {};", "text/javascript"},
      {"/css/theme.css", "body{}", "text/css"},
      {"/fonts/face.woff2", "wOF2", "font/woff2"},
      {"/data.bin", "\x01\x02", "application/octet-stream"},
      {"/noext", "x", "application/octet-stream"},
      {"/with%20space.txt", "spaced", "text/plain"},
      {"/js/../index.html", "<!doctype html>", "text/html"},
      {"/alias.js", "export {};", "text/javascript"},  // a link that stays inside
      // Climbing out, also when escaped.
      {"/../secret.txt", nullptr, nullptr},
      {"/js/../../secret.txt", nullptr, nullptr},
      {"/%2e%2e/secret.txt", nullptr, nullptr},
      {"/..%2fsecret.txt", nullptr, nullptr},
      // The sibling folder whose name begins with the root's name.
      {"/../ui-other/index.html", nullptr, nullptr},
      // Symbolic links out of the root.
      {"/secret.txt", nullptr, nullptr},
      {"/linked-out/index.html", nullptr, nullptr},
      // Folders, missing files, bad escapes, NUL.
      {"/js", nullptr, nullptr},
      {"/js/", nullptr, nullptr},
      {"/.", nullptr, nullptr},
      {"/missing.js", nullptr, nullptr},
      {"/index.html%", nullptr, nullptr},
      {"/index.html%2", nullptr, nullptr},
      {"/index%zz.html", nullptr, nullptr},
      {"/index.html%00.js", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    UiSchemeFile file;
    const bool served = serveUiSchemeRequest(root, c.path, file);
    if (c.body == nullptr) {
      EXPECT_FALSE(served) << c.path;
      EXPECT_TRUE(file.bytes.empty()) << c.path;
      continue;
    }
    ASSERT_TRUE(served) << c.path;
    EXPECT_EQ(std::string(file.bytes.begin(), file.bytes.end()), c.body) << c.path;
    EXPECT_EQ(file.mimeType, c.mime) << c.path;
  }
}

TEST_F(UiSchemeTest, RootGivenThroughALinkOrWithATrailingSlashServesTheSame) {
  std::filesystem::create_directory_symlink(root, dir / "ui-link");
  for (const std::string& r : {dir / "ui-link", root + "/", root + "/./"}) {
    UiSchemeFile file;
    EXPECT_TRUE(serveUiSchemeRequest(r, "/js/main.js", file)) << r;
    EXPECT_FALSE(serveUiSchemeRequest(r, "/../secret.txt", file)) << r;
  }
  UiSchemeFile file;
  EXPECT_FALSE(serveUiSchemeRequest("", "/index.html", file));
  EXPECT_FALSE(serveUiSchemeRequest(dir / "missing", "/index.html", file));
}

TEST_F(UiSchemeTest, UnreadableFileFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  std::filesystem::permissions(dir / "ui/js/main.js", std::filesystem::perms::none);
  UiSchemeFile file;
  EXPECT_FALSE(serveUiSchemeRequest(root, "/js/main.js", file));
}

TEST(UiScheme, MimeTypesByLowerCasedExtension) {
  struct Case {
    const char* path;
    const char* mime;
  };
  const Case cases[] = {
      {"a.css", "text/css"},
      {"a.gif", "image/gif"},
      {"a.htm", "text/html"},
      {"a.html", "text/html"},
      {"a.ico", "image/x-icon"},
      {"a.jpeg", "image/jpeg"},
      {"a.jpg", "image/jpeg"},
      {"a.js", "text/javascript"},
      {"a.json", "application/json"},
      {"a.map", "application/json"},
      {"a.mjs", "text/javascript"},
      {"a.png", "image/png"},
      {"a.svg", "image/svg+xml"},
      {"a.ttf", "font/ttf"},
      {"a.txt", "text/plain"},
      {"a.wasm", "application/wasm"},
      {"a.woff", "font/woff"},
      {"a.woff2", "font/woff2"},
      {"/x/A.JS", "text/javascript"},
      {"b.Svg", "image/svg+xml"},
      {"a.php", "application/octet-stream"},
      {"a.jsx", "application/octet-stream"},
      {"a.", "application/octet-stream"},
      {"js.d/name", "application/octet-stream"},
      {"", "application/octet-stream"},
      {"a.json.gz", "application/octet-stream"},
  };
  for (const Case& c : cases) EXPECT_STREQ(uiMimeTypeForPath(c.path), c.mime) << c.path;
}

TEST(UiScheme, BundleAddressIsTheFnv1aKeyOfTheRoot) {
  EXPECT_EQ(uiBundleKey(""), 0x14650fb0739d0383ull);
  EXPECT_EQ(uiBundleKey("a"), 0x44bd8ad473cd9906ull);
  const std::string root = "/home/u/.vst3/Mirel.vst3/Contents/Resources/ui";
  EXPECT_EQ(uiBundleUrl(root), "orbel-ui://bundle-7d59010c98b74e0e/index.html");
  EXPECT_EQ(uiBundleUrl(root), uiBundleUrl(std::string(root)));
  // Two installed copies get two addresses (and so two origins).
  EXPECT_NE(uiBundleUrl(root), uiBundleUrl("/usr/lib/vst3/Mirel.vst3/Contents/Resources/ui"));
  EXPECT_EQ(uiBundleUrl(""), "orbel-ui://bundle-14650fb0739d0383/index.html");
}

}  // namespace
}  // namespace orbel
