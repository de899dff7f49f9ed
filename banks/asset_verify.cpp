#include "banks/asset_verify.h"

#include "platform/sha256.h"

namespace orbel {

std::string sha256Hex(const uint8_t* data, size_t length) {
  uint8_t digest[kSha256DigestBytes];
  if (!sha256Digest(data, length, digest)) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string out(kSha256DigestBytes * 2, '0');
  for (size_t i = 0; i < kSha256DigestBytes; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  return out;
}

std::string joinPath(const std::string& base, const std::string& relative) {
  if (!relative.empty() && relative.front() == '/') return relative;
  if (relative.empty()) return base;
  if (base.empty()) return relative;
  if (base.back() == '/') return base + relative;
  return base + "/" + relative;
}

bool pathIsContained(const std::string& relative) {
  if (relative.empty() || relative.front() == '/') return false;
  if (relative.find('\\') != std::string::npos) return false;
  size_t begin = 0;
  for (;;) {
    const size_t slash = relative.find('/', begin);
    const size_t end = slash == std::string::npos ? relative.size() : slash;
    if (end - begin == 2 && relative[begin] == '.' && relative[begin + 1] == '.') return false;
    if (slash == std::string::npos) return true;
    begin = slash + 1;
  }
}

ContainedRead readContainedFile(const std::string& bankDir, const std::string& relative,
                                std::vector<uint8_t>& out, uint64_t maxBytes) {
  out.clear();
  if (!pathIsContained(relative)) return ContainedRead::Escapes;
  std::string real;
  switch (placePathWithin(bankDir.empty() ? std::string(".") : bankDir, joinPath(bankDir, relative),
                          &real)) {
    case PathPlacement::Inside:
      break;
    case PathPlacement::Outside:
      return ContainedRead::Escapes;
    case PathPlacement::Unresolved:
      return ContainedRead::Unreadable;
  }
  switch (readWholeFileUpTo(real, maxBytes, out)) {
    case FileRead::Ok:
      return ContainedRead::Ok;
    case FileRead::TooLarge:
      return ContainedRead::TooLarge;
    case FileRead::Unreadable:
      break;
  }
  return ContainedRead::Unreadable;
}

}  // namespace orbel
