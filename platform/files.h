#pragma once
// File-system services: reading a file whole, finding where a path inside a
// folder really leads (symbolic links followed), and finding a folder.
#include <cstdint>
#include <string>
#include <vector>

namespace orbel {

// Reads a regular file whole into `out`. An empty file succeeds with an empty
// `out`. Fails (with `out` empty) when the file cannot be opened, is not a
// regular file (a directory, a FIFO, a device: nothing that could block or
// report a bogus length), cannot be sized, or is not read completely.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& out);

enum class FileRead : uint8_t {
  Ok = 0,
  Unreadable = 1,  // every failure of readWholeFile
  TooLarge = 2,    // the file holds more than the ceiling; nothing was read
};

// readWholeFile with a ceiling: a file of more than `maxBytes` bytes is
// refused from its size alone, before anything is allocated or read.
FileRead readWholeFileUpTo(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& out);

enum class PathPlacement : uint8_t {
  Inside = 0,      // resolves to `base` itself or to something below it
  Outside = 1,     // exists, but its real location is outside `base`
  Unresolved = 2,  // `base` or `path` does not exist (or cannot be resolved)
};

// Canonicalises `base` and `path` (every symbolic link, "." and ".."
// resolved) and tells whether the real location of `path` lies inside the
// real location of `base`. On Inside, `resolved` (when not null) receives the
// canonical path of `path`, which callers open so that what they read is
// what was checked.
PathPlacement placePathWithin(const std::string& base, const std::string& path,
                              std::string* resolved);

// The canonical path of `path` (symbolic links, "." and ".." resolved) when it
// names an existing directory; empty otherwise.
std::string existingDirectory(const std::string& path);

}  // namespace orbel
