// Manifest paths: joinPath, the textual containment rule, and the real
// location check on a scratch pack that has links to inside and outside.
// Nothing accepted may lead outside the pack.
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "banks/asset_verify.h"

namespace {

struct Scratch {
  std::string root, pack, realPack;
  Scratch() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orbel-paths-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    root = pattern;
    pack = root + "/pack";
    namespace fs = std::filesystem;
    fs::create_directories(pack + "/sub");
    std::ofstream(pack + "/in.wav") << "in";
    std::ofstream(pack + "/sub/deep.wav") << "deep";
    std::ofstream(root + "/secret") << "secret";
    std::error_code e;
    fs::create_symlink("../secret", pack + "/escape", e);
    fs::create_symlink("..", pack + "/up", e);
    fs::create_symlink("sub", pack + "/alias", e);
    char* real = ::realpath(pack.c_str(), nullptr);
    if (real == nullptr) std::abort();
    realPack = real;
    ::free(real);
  }
  ~Scratch() {
    std::error_code e;
    std::filesystem::remove_all(root, e);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  const std::string path(reinterpret_cast<const char*>(data), size);
  if (path.find('\0') != std::string::npos)
    return 0;  // manifest texts can hold U+0000, file names cannot

  const std::string joined = orbel::joinPath(scratch.pack, path);
  if (!path.empty() && path[0] != '/' &&
      joined.compare(0, scratch.pack.size() + 1, scratch.pack + "/") != 0)
    std::abort();

  const bool contained = orbel::pathIsContained(path);
  if (contained && (path.empty() || path[0] == '/' || path.find('\\') != std::string::npos ||
                    ("/" + path + "/").find("/../") != std::string::npos))
    std::abort();

  std::vector<uint8_t> bytes;
  const orbel::ContainedRead read = orbel::readContainedFile(scratch.pack, path, bytes);
  if (read == orbel::ContainedRead::Ok) {
    if (!contained) std::abort();
    char* real = ::realpath(joined.c_str(), nullptr);
    if (real == nullptr) std::abort();
    const std::string r = real;
    ::free(real);
    if (r.compare(0, scratch.realPack.size() + 1, scratch.realPack + "/") != 0) std::abort();
  } else if (!bytes.empty()) {
    std::abort();
  }
  return 0;
}
