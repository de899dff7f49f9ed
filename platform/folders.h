#pragma once
// Folder services for the bank cache: creating folders with their parents,
// creating one that must not exist yet, removing a tree without ever
// following a symbolic link out of it, listing a folder and moving an entry
// within one file system.
#include <cstdint>
#include <string>
#include <vector>

namespace orbel {

// Creates `path` and every missing parent (new folders are private to the
// user). True when `path` is a directory afterwards.
bool createFolders(const std::string& path);

// Creates `path` as a new, empty, private folder; false when anything is
// there already or it cannot be made.
bool createNewFolder(const std::string& path);

// True when `path` names a directory (a symbolic link to one counts).
bool isDirectory(const std::string& path);

// True when anything, even a dangling symbolic link, is at `path`.
bool pathExists(const std::string& path);

// Removes whatever is at `path`: a file, a link (never what it points to) or
// a folder with everything below it. Errors are ignored.
void removeTree(const std::string& path);

struct FolderEntry {
  std::string name;
  bool isDirectory = false;  // a real directory; a link to one is not
};

// The entries of a folder ("." and ".." left out), in no particular order.
bool listFolder(const std::string& path, std::vector<FolderEntry>& out);

// Renames `from` to `to` on the same file system; an existing empty folder or
// a file at `to` is replaced, a non-empty folder is not.
bool movePath(const std::string& from, const std::string& to);

// The canonical form of an existing path (links, "." and ".." resolved);
// empty when it does not exist.
std::string canonicalPath(const std::string& path);

// A number from 0 to bound - 1 from the system's random source.
uint32_t randomBelow(uint32_t bound);

}  // namespace orbel
