#pragma once
// Runs the built orbel-probe as a user would, in a child process, and keeps
// what it printed; a fixture that finds the Mirel bundle the tests use.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/probe/wav_reader.h"

namespace orbel::test {

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A private folder per process (several build trees may run this test at the
// same time), removed when the test program ends.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    std::string pattern = ::testing::TempDir() + "orbel_probe_XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path = pattern + "/";
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

inline std::string scratch(const std::string& name) {
  static ScratchDir dir;
  return dir.path + name;
}

// Runs the built probe; its standard input is `inputPath` (empty: /dev/null).
inline RunResult runProbe(const std::vector<std::string>& args, const std::string& inputPath = {}) {
  const std::string outPath = scratch("stdout.txt");
  const std::string errPath = scratch("stderr.txt");
  std::vector<char*> argv;
  std::string exe = ORBEL_PROBE_EXE;
  argv.push_back(exe.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int i = ::open(inputPath.empty() ? "/dev/null" : inputPath.c_str(), O_RDONLY);
    if (o < 0 || e < 0 || i < 0) _exit(126);
    dup2(i, 0);
    dup2(o, 1);
    dup2(e, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  RunResult r;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    r.exitCode = WEXITSTATUS(status);
  r.out = slurp(outPath);
  r.err = slurp(errPath);
  return r;
}

inline bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

class ProbeWithMirel : public ::testing::Test {
protected:
  void SetUp() override {
    const char* overridden = std::getenv("ORBEL_PROBE_TEST_BUNDLE");
    bundle_ = overridden && *overridden ? overridden : ORBEL_TEST_BUNDLE;
    if (!exists(bundle_)) {
      if (ORBEL_HAVE_MODULE_TARGET)
        FAIL() << "the module target exists but its bundle was not built: " << bundle_;
      GTEST_SKIP() << "this tree builds no Mirel module (no VST 3 SDK or plug-in build disabled)";
    }
  }

  // Renders and reads back; fails the test on any error.
  WavData render(std::vector<std::string> args, const std::string& name) {
    const std::string out = scratch(name + ".wav");
    std::vector<std::string> full = {"render", bundle_, "--out", out};
    full.insert(full.end(), args.begin(), args.end());
    const RunResult r = runProbe(full);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    WavData wav;
    std::string error;
    EXPECT_TRUE(readWav(out, wav, error)) << error;
    return wav;
  }

  std::string bundle_;
};

}  // namespace orbel::test
