#include "platform/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace orbel {

AtomicFileWriter::~AtomicFileWriter() { discard(); }

bool AtomicFileWriter::open(const std::string& path) {
  discard();
  if (path.empty()) return false;
  path_ = path;
  temporary_ = path + ".partial";
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  failed_ = fd_ < 0;
  if (failed_) temporary_.clear();
  return !failed_;
}

bool AtomicFileWriter::write(const void* data, size_t length) {
  if (fd_ < 0 || failed_) return false;
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t written = ::write(fd_, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failed_ = true;
      return false;
    }
    bytes += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool AtomicFileWriter::commit() {
  if (fd_ < 0 || failed_) {
    discard();
    return false;
  }
  const bool synced = ::fsync(fd_) == 0;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!synced || !closed || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void AtomicFileWriter::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  failed_ = false;
}

}  // namespace orbel
