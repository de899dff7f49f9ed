// A file that appears whole or not at all: the bytes go to a temporary file
// beside the destination (".NAME.partial-XXXXXX"), which is renamed over the
// destination when complete. Opening it checks that the destination can be
// written, so a command can find out before it does its work.
#pragma once

#include <cstdio>
#include <string>

namespace orbel {

class OutputFile {
public:
  OutputFile() = default;
  ~OutputFile();  // an uncommitted temporary file is removed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file; false (with a reason naming `path`) when the
  // destination is a folder or its folder is missing or not writable.
  bool open(const std::string& path, std::string& error);
  std::FILE* stream() const { return file_; }
  const std::string& path() const { return path_; }
  // Closes the temporary file and renames it to the destination.
  bool commit(std::string& error);
  // Closes and removes the temporary file.
  void abandon();

private:
  std::FILE* file_ = nullptr;
  std::string path_;
  std::string temporary_;
};

// Ctrl-C (SIGINT) and SIGTERM: the first sets a flag that long work checks
// (interrupted()) so that it stops and cleans up; a second one ends the
// process at once.
void catchInterrupts();
bool interrupted();

}  // namespace orbel
