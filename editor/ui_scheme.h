#pragma once
// The private URL scheme "orbel-ui" that serves the editor page from the UI
// root: the page's address, the MIME types, and the one rule that decides
// which files a request may reach. Every request the web view makes is
// answered here, in the module, whatever program shows the page.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orbel {

// What a refused or failed request answers (a file outside the root,
// missing or unreadable): the page sees a failed load.
inline constexpr int kUiSchemeLoadFailed = -1100;

// Files larger than this are not served (the page's files are a few kB).
inline constexpr uint64_t kUiSchemeMaxFileBytes = 32ull * 1024 * 1024;

// 64-bit FNV-1a of the root path's bytes with the offset basis
// 0x14650fb0739d0383 and the prime 0x100000001b3.
uint64_t uiBundleKey(std::string_view rootPath);

// "orbel-ui://bundle-%016llx/index.html" with that key: the same root always
// gives the same address, two installed copies give two.
std::string uiBundleUrl(std::string_view rootPath);

// The MIME type for a path's extension (the text after the last '.' of its
// last component, compared in lower case); "application/octet-stream" for
// any other extension and for none.
const char* uiMimeTypeForPath(std::string_view path);

// The containment rule. `urlPath` is the path of a request URL as the web
// view hands it over (percent escapes allowed; no query, no fragment): an
// empty path or "/" means "/index.html". The path is decoded, appended to
// `root` and resolved with every "." , ".." and symbolic link followed; it
// is accepted only when the real location is the root's own real location
// or lies below it (".../ui" never admits ".../ui-other"). On acceptance
// `file` receives the resolved path, which is what must be opened. A path
// with a bad escape or an escaped NUL, an empty root and anything that does
// not exist are refused.
bool resolveUiSchemePath(const std::string& root, std::string_view urlPath, std::string& file);

struct UiSchemeFile {
  std::string mimeType;
  std::vector<uint8_t> bytes;
};

// Answers one request: true with the file's bytes and MIME type when the
// rule accepted the path and the whole file (a regular file of at most
// kUiSchemeMaxFileBytes) could be read; false means kUiSchemeLoadFailed.
bool serveUiSchemeRequest(const std::string& root, std::string_view urlPath, UiSchemeFile& out);

}  // namespace orbel
