#include "tools/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orbel {

namespace {

std::atomic<bool> interruptFlag{false};

void onInterrupt(int signal) {
  if (interruptFlag.exchange(true)) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

}  // namespace

void catchInterrupts() {
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
}

bool interrupted() { return interruptFlag.load(); }

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::open(const std::string& path, std::string& error) {
  abandon();
  struct stat info {};
  if (path.empty() || path.back() == '/' ||
      (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
    error = "cannot write '" + path + "': it is a folder";
    return false;
  }
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                        "." + name + ".partial-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) {
    const int why = errno;
    if (::stat(folder.c_str(), &info) != 0)
      error = "cannot write '" + path + "': the folder '" + folder + "' does not exist";
    else
      error = "cannot write '" + path + "': " + std::strerror(why);
    return false;
  }
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    ::close(fd);
    ::unlink(buffer.data());
    error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  // mkstemp creates the file for its owner only; the finished file gets the
  // permissions a newly created file would have.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  path_ = path;
  temporary_ = buffer.data();
  return true;
}

bool OutputFile::commit(std::string& error) {
  if (file_ == nullptr) {
    error = "no file open for '" + path_ + "'";
    return false;
  }
  const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
    error = "cannot write '" + path_ + "' (disk full?)";
    return false;
  }
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    error = "cannot write '" + path_ + "': " + std::strerror(errno);
    ::unlink(temporary_.c_str());
    temporary_.clear();
    return false;
  }
  temporary_.clear();
  return true;
}

void OutputFile::abandon() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace orbel
