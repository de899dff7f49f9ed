#include "editor/ui_manifest.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "editor/ui_root.h"
#include "platform/files.h"
#include "platform/module_path.h"

namespace orbel {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Index one past the closing quote of the string token opening at `start`,
// or 0 when the text ends inside it.
size_t stringTokenEnd(const char* text, size_t length, size_t start) {
  size_t i = start + 1;
  while (i < length) {
    if (text[i] == '\\') {
      i += 2;
      continue;
    }
    if (text[i] == '"') return i + 1;
    ++i;
  }
  return 0;
}

}  // namespace

bool uiManifestString(const char* text, size_t length, const char* key, char* out,
                      size_t capacity) {
  if (out == nullptr || capacity == 0) return false;
  out[0] = 0;
  if (text == nullptr || key == nullptr) return false;
  const size_t keyLength = std::strlen(key);
  int depth = 0;
  size_t i = 0;
  while (i < length) {
    const char c = text[i];
    if (c == '{' || c == '[') {
      ++depth;
      ++i;
      continue;
    }
    if (c == '}' || c == ']') {
      if (depth == 0) return false;
      --depth;
      ++i;
      continue;
    }
    if (c != '"') {
      ++i;
      continue;
    }
    const size_t end = stringTokenEnd(text, length, i);
    if (end == 0) return false;
    const bool isKey =
        depth == 1 && end - i - 2 == keyLength && std::memcmp(text + i + 1, key, keyLength) == 0;
    i = end;
    if (!isKey) continue;
    size_t j = i;
    while (j < length && isSpace(text[j])) ++j;
    if (j >= length || text[j] != ':') continue;
    ++j;
    while (j < length && isSpace(text[j])) ++j;
    if (j >= length || text[j] != '"') return false;
    ++j;
    size_t copied = 0;
    while (j < length && text[j] != '"' && text[j] != '\\') {
      if (copied + 1 >= capacity - 1) {
        out[0] = 0;
        return false;
      }
      out[copied++] = text[j++];
    }
    if (j >= length) {
      out[0] = 0;
      return false;
    }
    out[copied] = 0;
    return true;
  }
  return false;
}

UiBundleFacts readUiBundleFactsFrom(const std::string& manifestPath) {
  UiBundleFacts facts;
  std::vector<uint8_t> bytes;
  if (readWholeFileUpTo(manifestPath, kUiManifestMaxBytes, bytes) != FileRead::Ok) return facts;
  const char* text = reinterpret_cast<const char*>(bytes.data());
  uiManifestString(text, bytes.size(), "buildTime", facts.buildTime, sizeof facts.buildTime);
  uiManifestString(text, bytes.size(), "sourceRevision", facts.sourceRevision,
                   sizeof facts.sourceRevision);
  uiManifestString(text, bytes.size(), "sha256", facts.sha256, sizeof facts.sha256);
  return facts;
}

const UiBundleFacts& readUiBundleFacts() {
  static const UiBundleFacts facts = [] {
    const std::string image =
        modulePathForAddress(reinterpret_cast<const void*>(&readUiBundleFacts));
    const std::string root = uiRootForModulePath(image);
    return root.empty() ? UiBundleFacts{} : readUiBundleFactsFrom(root + "/manifest.json");
  }();
  return facts;
}

}  // namespace orbel
