// Zip extraction of downloaded archives: any bytes as the archive, unpacked
// into a fresh folder with small bounds. Nothing may crash; nothing may
// appear beside that folder; no link inside it may be absolute or climb;
// and an archive taken whole unpacks to no more than the bound.
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/archive_extract.h"
#include "platform/folders.h"

namespace {

std::string gBase;
constexpr uint64_t kMaxBytes = 1 << 20;
constexpr uint32_t kMaxEntries = 64;

// Walks the folder without following links; returns the bytes of its files.
uint64_t check(const std::string& dir, int depth) {
  if (depth > 64) std::abort();
  std::vector<orbel::FolderEntry> entries;
  if (!orbel::listFolder(dir, entries)) return 0;
  uint64_t bytes = 0;
  for (const orbel::FolderEntry& e : entries) {
    const std::string path = dir + "/" + e.name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) continue;
    if (S_ISLNK(info.st_mode)) {
      char target[4096];
      const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
      if (n <= 0) std::abort();
      const std::string t(target, static_cast<size_t>(n));
      if (t[0] == '/' || t == ".." || t.rfind("../", 0) == 0 ||
          t.find("/../") != std::string::npos ||
          (t.size() >= 3 && t.compare(t.size() - 3, 3, "/..") == 0))
        std::abort();
    } else if (S_ISDIR(info.st_mode)) {
      bytes += check(path, depth + 1);
    } else if (S_ISREG(info.st_mode)) {
      bytes += static_cast<uint64_t>(info.st_size);
    } else {
      std::abort();  // no device, FIFO or socket is ever made
    }
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orbel-archive-fuzz-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  gBase = pattern;
  std::atexit([] { orbel::removeTree(gBase); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string archive = gBase + "/in.zip", out = gBase + "/out";
  std::FILE* f = std::fopen(archive.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
  if (!orbel::createNewFolder(out)) std::abort();

  const orbel::ArchiveLimits limits{kMaxBytes, kMaxEntries};
  const orbel::ArchiveExtract result =
      orbel::extractZipArchive(archive, out, limits, nullptr, nullptr);

  std::vector<orbel::FolderEntry> beside;
  if (!orbel::listFolder(gBase, beside) || beside.size() != 2) std::abort();
  for (const orbel::FolderEntry& e : beside)
    if (e.name != "in.zip" && e.name != "out") std::abort();
  const uint64_t bytes = check(out, 0);
  if (result == orbel::ArchiveExtract::Ok && bytes > kMaxBytes) std::abort();

  orbel::removeTree(out);
  ::unlink(archive.c_str());
  return 0;
}
