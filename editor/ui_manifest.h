#pragma once
// The UI bundle's manifest (Contents/Resources/ui/manifest.json, written by
// the build): when the page was built, from which source revision, and the
// SHA-256 that names all of its files. The identity block's "ui" member
// reports these facts.
//
// The manifest is outside data and is read with a small scanner rather than
// a parser: only top-level string members are taken, anything unexpected
// leaves a field empty, and nothing is ever read past the text's end.
#include <cstddef>
#include <string>

namespace orbel {

struct UiBundleFacts {
  char buildTime[64] = {};
  char sourceRevision[64] = {};
  char sha256[80] = {};

  bool empty() const { return buildTime[0] == 0 && sourceRevision[0] == 0 && sha256[0] == 0; }
};

// Manifests larger than this are treated as empty.
inline constexpr size_t kUiManifestMaxBytes = 1048576;

// The value of the top-level string member `key` of `text` into `out`
// (`capacity` bytes, NUL-terminated): the first string token at depth 1
// that equals the quoted key and is followed by ':' decides. The value is
// copied up to its closing quote; a backslash ends the copy early (what was
// copied stays). `out` is left empty (false) for a missing key, a key found
// only deeper, a value that is not a string, a value of capacity − 1
// characters or more, one that runs to the end of the text, and a closing
// bracket without its opening one before the key.
bool uiManifestString(const char* text, size_t length, const char* key, char* out, size_t capacity);

// The facts of one manifest file; all empty when it is missing, unreadable
// or larger than kUiManifestMaxBytes.
UiBundleFacts readUiBundleFactsFrom(const std::string& manifestPath);

// The facts of this module's own manifest (Resources/ui/manifest.json beside
// the module image's architecture folder), read once per process on first
// use and kept.
const UiBundleFacts& readUiBundleFacts();

}  // namespace orbel
