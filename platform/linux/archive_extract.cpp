// Zip extraction with libarchive. Entry names are checked here before
// anything is written (no absolute path, no ".." component, no hard links, no
// links that are absolute or climb), then written below the canonical form of
// the folder with libarchive's guards on: nothing is ever written through a
// symbolic link and no ".." is taken. The process's working folder is never
// changed (other threads of the host rely on it).
#include "platform/archive_extract.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <string>

#include "platform/folders.h"

namespace orbel {

namespace {

constexpr size_t kReadBlockBytes = 64 * 1024;

struct ReadCloser {
  archive* a;
  ~ReadCloser() { archive_read_free(a); }
};
struct WriteCloser {
  archive* a;
  ~WriteCloser() { archive_write_free(a); }
};

// A relative path without "..": nothing it names can lie above its start.
bool isSafeRelative(const std::string& path) {
  if (path.empty() || path[0] == '/') return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0 && end - start == 2) return false;
    start = end + 1;
  }
  return true;
}

bool cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

const char* entryName(archive_entry* entry) {
  const char* name = archive_entry_pathname_utf8(entry);
  return name != nullptr ? name : archive_entry_pathname(entry);
}

const char* linkTarget(archive_entry* entry) {
  const char* target = archive_entry_symlink_utf8(entry);
  return target != nullptr ? target : archive_entry_symlink(entry);
}

ArchiveExtract fail(ArchiveExtract code, std::string* detail, const std::string& text) {
  if (detail != nullptr) *detail = text;
  return code;
}

// A failed write: the disk's fault, or a refusal by the guards.
ArchiveExtract writeFailure(archive* writer, std::string* detail, const std::string& name) {
  const int error = archive_errno(writer);
  const char* text = archive_error_string(writer);
  const std::string line =
      "entry \"" + name + "\": " + (text != nullptr ? text : "cannot be written");
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EACCES:
    case EIO:
    case EMFILE:
    case ENFILE:
    case ENOMEM:
      return fail(ArchiveExtract::CannotWrite, detail, line);
    default:
      return fail(ArchiveExtract::Unreadable, detail, line);
  }
}

}  // namespace

ArchiveExtract extractZipArchive(const std::string& archivePath, const std::string& folder,
                                 const ArchiveLimits& limits, const std::atomic<bool>* cancel,
                                 std::string* detail) {
  const std::string base = canonicalPath(folder);
  if (base.empty() || !isDirectory(base))
    return fail(ArchiveExtract::CannotWrite, detail, "no folder to unpack into");

  archive* reader = archive_read_new();
  if (reader == nullptr) return fail(ArchiveExtract::CannotWrite, detail, "out of memory");
  ReadCloser readCloser{reader};
  archive_read_support_format_zip(reader);
  if (archive_read_open_filename(reader, archivePath.c_str(), kReadBlockBytes) != ARCHIVE_OK)
    return fail(ArchiveExtract::Unreadable, detail, "cannot open the archive");

  archive* writer = archive_write_disk_new();
  if (writer == nullptr) return fail(ArchiveExtract::CannotWrite, detail, "out of memory");
  WriteCloser writeCloser{writer};
  // Owners, times, ACLs and extended attributes are not restored, and the
  // user's umask applies.
  archive_write_disk_set_options(writer,
                                 ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT);

  uint64_t unpacked = 0;
  uint32_t entries = 0;
  for (;;) {
    if (cancelled(cancel)) return fail(ArchiveExtract::Cancelled, detail, "cancelled");
    archive_entry* entry = nullptr;
    const int next = archive_read_next_header(reader, &entry);
    if (next == ARCHIVE_EOF) break;
    if (next < ARCHIVE_WARN) {
      const char* text = archive_error_string(reader);
      return fail(ArchiveExtract::Unreadable, detail, text != nullptr ? text : "not a zip archive");
    }
    if (++entries > limits.maxEntries)
      return fail(ArchiveExtract::TooLarge, detail,
                  "more than " + std::to_string(limits.maxEntries) + " entries");

    const char* rawName = entryName(entry);
    const std::string name = rawName != nullptr ? rawName : "";
    if (!isSafeRelative(name))
      return fail(ArchiveExtract::Unreadable, detail, "entry \"" + name + "\" leaves the folder");
    if (archive_entry_hardlink(entry) != nullptr || archive_entry_hardlink_utf8(entry) != nullptr)
      return fail(ArchiveExtract::Unreadable, detail, "entry \"" + name + "\" is a hard link");

    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFLNK) {
      const char* rawTarget = linkTarget(entry);
      const std::string target = rawTarget != nullptr ? rawTarget : "";
      if (!isSafeRelative(target))
        return fail(ArchiveExtract::Unreadable, detail,
                    "link \"" + name + "\" points outside the folder");
    } else if (type == AE_IFDIR) {
      archive_entry_set_perm(entry, 0755);
    } else if (type == AE_IFREG) {
      archive_entry_set_perm(entry, 0644);
      if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0 &&
          static_cast<uint64_t>(archive_entry_size(entry)) > limits.maxBytes - unpacked) {
        return fail(ArchiveExtract::TooLarge, detail,
                    "entry \"" + name + "\" is larger than the limit");
      }
    } else {
      return fail(ArchiveExtract::Unreadable, detail,
                  "entry \"" + name + "\" is not a file, folder or link");
    }

    const std::string target = base + "/" + name;
    archive_entry_copy_pathname(entry, target.c_str());
    if (archive_write_header(writer, entry) < ARCHIVE_WARN)
      return writeFailure(writer, detail, name);

    if (type == AE_IFREG) {
      for (;;) {
        if (cancelled(cancel)) return fail(ArchiveExtract::Cancelled, detail, "cancelled");
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int got = archive_read_data_block(reader, &block, &size, &offset);
        if (got == ARCHIVE_EOF) break;
        if (got < ARCHIVE_OK) {
          const char* text = archive_error_string(reader);
          return fail(ArchiveExtract::Unreadable, detail,
                      "entry \"" + name + "\": " + (text != nullptr ? text : "damaged data"));
        }
        if (size > limits.maxBytes - unpacked)
          return fail(ArchiveExtract::TooLarge, detail,
                      "more than " + std::to_string(limits.maxBytes) + " bytes");
        unpacked += size;
        if (archive_write_data_block(writer, block, size, offset) < ARCHIVE_OK)
          return writeFailure(writer, detail, name);
      }
    }
    if (archive_write_finish_entry(writer) < ARCHIVE_WARN)
      return writeFailure(writer, detail, name);
  }
  if (archive_write_close(writer) < ARCHIVE_WARN) return writeFailure(writer, detail, "(closing)");
  return ArchiveExtract::Ok;
}

}  // namespace orbel
