// Asset verification: whole-file reads, SHA-256, path joining and keeping
// manifest paths (and the links they pass through) inside the pack folder.
#include "banks/asset_verify.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/banks/temp_dir.h"

namespace orbel {
namespace {

using orbel::test::TempDir;
namespace fs = std::filesystem;

TEST(AssetVerify, Sha256OfKnownBytesAndFile) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(sha256Hex(abc, 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex(nullptr, 0),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  TempDir dir;
  dir.write("fox.txt", std::string("The quick brown fox jumps over the lazy dog"));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readWholeFile(dir / "fox.txt", bytes));
  EXPECT_EQ(bytes.size(), 43u);
  EXPECT_EQ(sha256Hex(bytes.data(), bytes.size()),
            "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592");
}

TEST(AssetVerify, ReadWholeFileRefusesWhatIsNotARegularFile) {
  TempDir dir;
  dir.write("empty.bin", std::string());
  std::vector<uint8_t> bytes{1, 2, 3};
  EXPECT_TRUE(readWholeFile(dir / "empty.bin", bytes));
  EXPECT_TRUE(bytes.empty());

  bytes = {1};
  EXPECT_FALSE(readWholeFile(dir / "absent.bin", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(readWholeFile(dir.path(), bytes));  // a folder
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_FALSE(readWholeFile(dir / "pipe", bytes));  // must not wait for a writer
  EXPECT_FALSE(readWholeFile("", bytes));
}

TEST(AssetVerify, JoinPath) {
  const struct {
    const char *base, *relative, *joined;
  } cases[] = {
      {"/packs/a", "x.wav", "/packs/a/x.wav"},
      {"/packs/a/", "x.wav", "/packs/a/x.wav"},
      {"/packs/a", "/abs/x.wav", "/abs/x.wav"},
      {"", "x.wav", "x.wav"},
      {"/packs/a", "", "/packs/a"},
      {"/packs/a", "./s//x.wav", "/packs/a/./s//x.wav"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(joinPath(c.base, c.relative), c.joined) << c.base << " + " << c.relative;
}

TEST(AssetVerify, PathIsContainedByText) {
  const struct {
    const char* path;
    bool contained;
  } cases[] = {
      {"", false},         {"/etc/passwd", false}, {"a\\b.wav", false}, {"..", false},
      {"../x.wav", false}, {"s/../x.wav", false},  {"s/..", false},     {"a..b/x..wav", true},
      {"./x.wav", true},   {"s//x.wav", true},     {"...", true},       {"s/x.wav", true},
  };
  for (const auto& c : cases) EXPECT_EQ(pathIsContained(c.path), c.contained) << c.path;
}

TEST(AssetVerify, ReadContainedFileFollowsLinksOnlyInsideThePack) {
  TempDir root;
  root.write("pack/in.wav", std::string("inside"));
  root.write("pack/sub/deep.wav", std::string("deep"));
  root.write("secret.txt", std::string("outside"));
  root.write("packed/x.wav", std::string("sibling with a common prefix"));
  const std::string pack = root / "pack";
  fs::create_symlink(root / "secret.txt", pack + "/escape.wav");
  fs::create_symlink("../secret.txt", pack + "/relative-escape.wav");
  fs::create_symlink(root.path(), pack + "/up");
  fs::create_symlink("../packed", pack + "/prefix");
  fs::create_symlink("sub/deep.wav", pack + "/alias.wav");
  fs::create_symlink(pack + "/missing.wav", pack + "/dangling.wav");
  fs::create_symlink(pack, root / "link-to-pack");

  const struct {
    std::string dir;
    std::string path;
    ContainedRead result;
    const char* content;
  } cases[] = {
      {pack, "in.wav", ContainedRead::Ok, "inside"},
      {pack, "./sub//deep.wav", ContainedRead::Ok, "deep"},
      {pack, "alias.wav", ContainedRead::Ok, "deep"},
      {root / "link-to-pack", "in.wav", ContainedRead::Ok, "inside"},
      {pack, "escape.wav", ContainedRead::Escapes, ""},
      {pack, "relative-escape.wav", ContainedRead::Escapes, ""},
      {pack, "up/secret.txt", ContainedRead::Escapes, ""},
      {pack, "prefix/x.wav", ContainedRead::Escapes, ""},
      {pack, "../secret.txt", ContainedRead::Escapes, ""},
      {pack, root / "secret.txt", ContainedRead::Escapes, ""},
      {pack, "dangling.wav", ContainedRead::Unreadable, ""},
      {pack, "absent.wav", ContainedRead::Unreadable, ""},
      {pack, "sub", ContainedRead::Unreadable, ""},
      {root / "no-such-pack", "in.wav", ContainedRead::Unreadable, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<uint8_t> bytes{9};
    EXPECT_EQ(readContainedFile(c.dir, c.path, bytes), c.result);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.content);
  }
}

}  // namespace
}  // namespace orbel
