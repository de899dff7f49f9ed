// The sound pack loader on fuzzed documents. The input is split at NUL bytes
// into bank.json, inst.json and preset.json, written into a scratch pack that
// also holds two fixed WAV assets and a link leading out of the pack. A load
// either stages a bank whose zones stay inside its arena, or fails with an
// empty bank and a one-line message.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "banks/sound_pack.h"
#include "fuzz/banks/pack_files.h"

namespace {

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

// Made once, removed at exit.
struct Scratch {
  std::string dir;
  Scratch() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orbel-pack-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir = pattern;
    writeFile(dir + "/a.wav", orbel::fuzz::kMono16.data(), orbel::fuzz::kMono16.size());
    writeFile(dir + "/b.wav", orbel::fuzz::kStereo24.data(), orbel::fuzz::kStereo24.size());
    std::error_code ignored;
    std::filesystem::create_symlink("/etc", dir + "/out", ignored);
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

void check(const orbel::RuntimeBankLoad& load) {
  const orbel::StagedBank& bank = load.bank;
  if (load.outcome != orbel::kRuntimeBankOk) {
    // Messages quote manifest texts as they are, so they may hold any byte.
    if (load.message.empty()) std::abort();
    if (!bank.samples.empty() || !bank.zones.empty() || !bank.id.empty()) std::abort();
    return;
  }
  if (!load.message.empty() || bank.zones.empty() || bank.samples.empty()) std::abort();
  for (const orbel::StagedZone& z : bank.zones) {
    const uint64_t arena = bank.samples.size();
    if (uint64_t(z.assetOffset) + z.assetFrames > arena) std::abort();
    if (z.start < z.assetOffset ||
        uint64_t(z.start) + z.frames > uint64_t(z.assetOffset) + z.assetFrames)
      std::abort();
    if (z.frames == 0 || z.lowKey > 127 || z.highKey > 127 || z.rootKey > 127 || z.trigger > 2)
      std::abort();
    if (z.loop && !(z.loopStart < z.loopEnd && z.loopEnd <= z.frames &&
                    z.loopCrossfade <= z.loopEnd - z.loopStart))
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  const std::string& dir = scratch.dir;
  static const char* const kNames[] = {"/bank.json", "/inst.json", "/preset.json"};
  size_t begin = 0;
  for (int part = 0; part < 3; ++part) {
    size_t end = begin;
    while (end < size && data[end] != 0) ++end;
    if (part == 2) end = size;
    writeFile(dir + kNames[part], data + begin, end - begin);
    begin = end < size ? end + 1 : size;
  }
  check(orbel::loadRuntimeBank(dir, 0, ""));
  check(orbel::loadRuntimeBank(dir, 3, "i"));
  return 0;
}
