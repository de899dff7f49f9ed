#pragma once
// Unpacks a zip archive into a folder, refusing anything that could write or
// point outside it, and within bounds on what it may unpack.
#include <atomic>
#include <cstdint>
#include <string>

namespace orbel {

struct ArchiveLimits {
  uint64_t maxBytes = 0;    // total size of the unpacked files
  uint32_t maxEntries = 0;  // files, folders and links together
};

enum class ArchiveExtract : uint8_t {
  Ok = 0,
  // Not a zip, damaged, encrypted, or holding an entry that is unsafe: an
  // absolute path, a ".." component, a hard link, a symbolic link that is
  // absolute or climbs with "..", anything written through a link, or a
  // device, FIFO or socket.
  Unreadable = 1,
  TooLarge = 2,     // more bytes or entries than the limits allow
  CannotWrite = 3,  // the folder could not take the files (full, read-only, ...)
  Cancelled = 4,
};

// Unpacks `archivePath` into the existing folder `folder`. What was written
// before a failure stays; the caller removes the folder. `detail` (when not
// null) receives a line for developers on failure.
ArchiveExtract extractZipArchive(const std::string& archivePath, const std::string& folder,
                                 const ArchiveLimits& limits, const std::atomic<bool>* cancel,
                                 std::string* detail);

}  // namespace orbel
