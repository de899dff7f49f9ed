#pragma once
// A file that appears complete or not at all: it is written under a
// temporary name beside its final one, flushed to disk and then renamed into
// place. Anything not committed is removed.
#include <cstddef>
#include <string>

namespace orbel {

class AtomicFileWriter {
public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();  // discards what was not committed

  // Creates the temporary file for `path` (path + ".partial", which must not
  // exist yet). False when it cannot be created.
  bool open(const std::string& path);
  // Appends bytes; false once any write failed.
  bool write(const void* data, size_t length);
  // Flushes, closes and renames the file to its final name. False (and the
  // temporary removed) when any step failed.
  bool commit();
  // Closes and removes the temporary file.
  void discard();

private:
  int fd_ = -1;
  bool failed_ = false;
  std::string path_;
  std::string temporary_;
};

}  // namespace orbel
