#pragma once
// Asset verification for sound packs: reading files whole, SHA-256 in hex,
// joining a pack folder with a manifest path, and keeping manifest paths
// inside the pack (by their text, and by where they really lead on disk).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"  // readWholeFile

namespace orbel {

// 64 lowercase hexadecimal digits of the SHA-256 digest of the bytes (empty
// only if the crypto library fails).
std::string sha256Hex(const uint8_t* data, size_t length);

// base + "/" + relative, without normalising anything. A relative path that
// begins with a slash is returned as it is; an empty side gives the other.
std::string joinPath(const std::string& base, const std::string& relative);

// Whether a manifest path stays inside the pack by its text: not empty, no
// leading slash, no backslash, and no component that is exactly "..".
bool pathIsContained(const std::string& relative);

enum class ContainedRead : uint8_t {
  Ok = 0,
  Escapes = 1,     // the text, or a symbolic link on the way, leaves the folder
  Unreadable = 2,  // missing, not a regular file, or a read error
  TooLarge = 3,    // larger than the caller's ceiling; nothing was read
};

// Reads bankDir/relative whole, but only when `relative` passes
// pathIsContained and its real location (links followed) is inside the real
// bankDir. A pack unpacked from a download may carry links to anywhere; what
// is read must be the pack's own file. A file of more than `maxBytes` bytes
// is refused unread. `out` is empty unless Ok.
ContainedRead readContainedFile(const std::string& bankDir, const std::string& relative,
                                std::vector<uint8_t>& out, uint64_t maxBytes = UINT64_MAX);

}  // namespace orbel
