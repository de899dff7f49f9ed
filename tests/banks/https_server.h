// The loopback https server of tests/banks/https_bank_server.py, started and
// stopped by a test, and the archives of make_bank_zips.py it serves.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orbel::test {

inline bool runPython(const std::vector<std::string>& args, pid_t* background = nullptr) {
  std::vector<std::string> all = {"python3"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "python3", nullptr, nullptr, argv.data(), environ) != 0) return false;
  if (background != nullptr) {
    *background = pid;
    return true;
  }
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class HttpsBankServer {
public:
  HttpsBankServer() = default;
  HttpsBankServer(const HttpsBankServer&) = delete;
  HttpsBankServer& operator=(const HttpsBankServer&) = delete;
  ~HttpsBankServer() { stop(); }

  // Serves `root` from a new process; certificates and the port file go to
  // `workdir`. False when it did not come up within 30 s.
  bool start(const std::string& root, const std::string& workdir) {
    if (!runPython({ORBEL_TEST_SCRIPTS "/https_bank_server.py", root, workdir}, &pid_))
      return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream in(workdir + "/port");
      if (in >> port_) {
        caFile_ = workdir + "/ca.pem";
        return true;
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
  }

  std::string url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }
  const std::string& caFile() const { return caFile_; }

private:
  pid_t pid_ = 0;
  int port_ = 0;
  std::string caFile_;
};

}  // namespace orbel::test
