#include "editor/ui_scheme.h"

#include <cstdio>

#include "platform/files.h"

namespace orbel {

namespace {

struct MimeRow {
  const char* extension;
  const char* type;
};

constexpr MimeRow kMimeTable[] = {
    {"css", "text/css"},          {"gif", "image/gif"},       {"htm", "text/html"},
    {"html", "text/html"},        {"ico", "image/x-icon"},    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},        {"js", "text/javascript"},  {"json", "application/json"},
    {"map", "application/json"},  {"mjs", "text/javascript"}, {"png", "image/png"},
    {"svg", "image/svg+xml"},     {"ttf", "font/ttf"},        {"txt", "text/plain"},
    {"wasm", "application/wasm"}, {"woff", "font/woff"},      {"woff2", "font/woff2"},
};

constexpr const char* kDefaultMime = "application/octet-stream";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent-decodes `in`; false for a truncated or non-hex escape and for a
// decoded NUL, which no file name can hold.
bool decodePath(std::string_view in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c == '%') {
      if (i + 2 >= in.size()) return false;
      const int high = hexValue(in[i + 1]);
      const int low = hexValue(in[i + 2]);
      if (high < 0 || low < 0) return false;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (c == '\0') return false;
    out.push_back(c);
  }
  return true;
}

}  // namespace

uint64_t uiBundleKey(std::string_view rootPath) {
  uint64_t hash = 0x14650fb0739d0383ull;
  for (const char c : rootPath) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string uiBundleUrl(std::string_view rootPath) {
  char url[64];
  std::snprintf(url, sizeof url, "orbel-ui://bundle-%016llx/index.html",
                static_cast<unsigned long long>(uiBundleKey(rootPath)));
  return url;
}

const char* uiMimeTypeForPath(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return kDefaultMime;
  const std::string_view extension = name.substr(dot + 1);
  if (extension.empty() || extension.size() > 5) return kDefaultMime;
  char lower[6] = {};
  for (size_t i = 0; i < extension.size(); ++i) {
    const char c = extension[i];
    lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  for (const MimeRow& row : kMimeTable)
    if (std::string_view(row.extension) == std::string_view(lower, extension.size()))
      return row.type;
  return kDefaultMime;
}

bool resolveUiSchemePath(const std::string& root, std::string_view urlPath, std::string& file) {
  file.clear();
  if (root.empty()) return false;
  std::string path;
  if (!decodePath(urlPath, path)) return false;
  if (path.empty() || path == "/") path = "/index.html";
  std::string joined = root;
  if (path.front() != '/') joined += '/';
  joined += path;
  std::string resolved;
  if (placePathWithin(root, joined, &resolved) != PathPlacement::Inside) return false;
  file = std::move(resolved);
  return true;
}

bool serveUiSchemeRequest(const std::string& root, std::string_view urlPath, UiSchemeFile& out) {
  out.mimeType.clear();
  out.bytes.clear();
  std::string file;
  if (!resolveUiSchemePath(root, urlPath, file)) return false;
  if (readWholeFileUpTo(file, kUiSchemeMaxFileBytes, out.bytes) != FileRead::Ok) {
    out.bytes.clear();
    return false;
  }
  // The type follows the name the page asked for.
  std::string decoded;
  decodePath(urlPath, decoded);
  out.mimeType = uiMimeTypeForPath(
      decoded.empty() || decoded == "/" ? std::string_view("index.html") : decoded);
  return true;
}

}  // namespace orbel
