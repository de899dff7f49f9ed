#include "platform/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace orbel {

namespace {

constexpr mode_t kPrivateFolder = 0700;

// Removes everything inside the directory open as `fd` (which it closes),
// without following links: each entry is looked at with fstatat and
// AT_SYMLINK_NOFOLLOW, and directories are opened with O_NOFOLLOW.
void removeContents(int fd, int depth) {
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  // Deeper than any folder this code makes; a guard, not a rule.
  if (depth > 256) {
    ::closedir(dir);
    return;
  }
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    struct stat info {};
    if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      const int child = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child >= 0) removeContents(child, depth + 1);
      ::unlinkat(fd, name, AT_REMOVEDIR);
    } else {
      ::unlinkat(fd, name, 0);
    }
  }
  ::closedir(dir);
}

}  // namespace

bool createFolders(const std::string& path) {
  if (path.empty()) return false;
  if (isDirectory(path)) return true;
  std::string partial;
  partial.reserve(path.size());
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      if (::mkdir(partial.c_str(), kPrivateFolder) != 0 && errno != EEXIST) return false;
    }
    if (i < path.size()) partial.push_back(path[i]);
  }
  return isDirectory(path);
}

bool createNewFolder(const std::string& path) {
  return !path.empty() && ::mkdir(path.c_str(), kPrivateFolder) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool pathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

void removeTree(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::lstat(path.c_str(), &info) != 0) return;
  if (!S_ISDIR(info.st_mode)) {
    ::unlink(path.c_str());
    return;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) removeContents(fd, 0);
  ::rmdir(path.c_str());
}

bool listFolder(const std::string& path, std::vector<FolderEntry>& out) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    struct stat info {};
    FolderEntry item;
    item.name = name;
    item.isDirectory =
        ::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
    out.push_back(std::move(item));
  }
  ::closedir(dir);
  return true;
}

bool movePath(const std::string& from, const std::string& to) {
  return !from.empty() && !to.empty() && std::rename(from.c_str(), to.c_str()) == 0;
}

std::string canonicalPath(const std::string& path) {
  if (path.empty()) return {};
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string out(real);
  ::free(real);
  return out;
}

uint32_t randomBelow(uint32_t bound) {
  if (bound <= 1) return 0;
  uint32_t value = 0;
  if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
    std::random_device device;
    value = device();
  }
  return value % bound;
}

}  // namespace orbel
