#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace orbel {

namespace {

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

bool canonical(const std::string& path, std::string& out) {
  if (path.empty()) return false;
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return false;
  out.assign(real);
  ::free(real);
  return true;
}

}  // namespace

bool readWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  return readWholeFileUpTo(path, UINT64_MAX, out) == FileRead::Ok;
}

FileRead readWholeFileUpTo(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& out) {
  constexpr FileRead kFailed = FileRead::Unreadable;
  out.clear();
  if (path.empty()) return kFailed;
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return kFailed;
  FdCloser closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return kFailed;
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (end < 0 || ::lseek(fd, 0, SEEK_SET) != 0) return kFailed;
  if (static_cast<uint64_t>(end) > maxBytes) return FileRead::TooLarge;
  if (end == 0) return FileRead::Ok;
  try {
    out.resize(static_cast<size_t>(end));
  } catch (const std::bad_alloc&) {
    out.clear();
    return kFailed;
  } catch (const std::length_error&) {
    out.clear();
    return kFailed;
  }
  // One request; the loop only continues a read the kernel split (reads of
  // more than about 2 GiB, or an interrupted call).
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t got = ::read(fd, out.data() + done, out.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  if (done != out.size()) {
    out.clear();
    out.shrink_to_fit();
    return kFailed;
  }
  return FileRead::Ok;
}

PathPlacement placePathWithin(const std::string& base, const std::string& path,
                              std::string* resolved) {
  std::string realBase, realPath;
  if (!canonical(base, realBase) || !canonical(path, realPath)) return PathPlacement::Unresolved;
  bool inside = realPath == realBase;
  if (!inside && realPath.size() > realBase.size() &&
      realPath.compare(0, realBase.size(), realBase) == 0) {
    // "/packs/a" must not count "/packs/ab/x" as inside; the root "/" ends in a slash already.
    inside = realBase.back() == '/' || realPath[realBase.size()] == '/';
  }
  if (!inside) return PathPlacement::Outside;
  if (resolved != nullptr) *resolved = std::move(realPath);
  return PathPlacement::Inside;
}

std::string existingDirectory(const std::string& path) {
  std::string real;
  struct stat info {};
  if (!canonical(path, real) || ::stat(real.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return {};
  return real;
}

}  // namespace orbel
