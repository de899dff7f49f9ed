#include "tools/text16.h"

#include <cstdint>
#include <cstring>

namespace orbel {

namespace {

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Returns U+FFFD for
// malformed input, consuming one byte.
uint32_t decodeUtf8(std::string_view text, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  int extra = 0;
  uint32_t cp = 0;
  uint32_t minimum = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + extra >= text.size()) {  // truncated sequence
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += extra + 1;
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

}  // namespace

std::string utf16ToUtf8(const char16_t* text, std::size_t capacity) {
  std::string out;
  if (text == nullptr) return out;
  for (std::size_t i = 0; i < capacity && text[i] != 0; ++i) {
    uint32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 < capacity && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        const uint32_t low = text[++i];
        appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      } else {
        appendUtf8(out, 0xFFFD);
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      appendUtf8(out, 0xFFFD);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

void utf8ToUtf16(std::string_view text, char16_t* out, std::size_t capacity) {
  if (out == nullptr || capacity == 0) return;
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const uint32_t cp = decodeUtf8(text, i);
    const std::size_t units = cp >= 0x10000 ? 2 : 1;
    if (n + units >= capacity) break;
    if (units == 2) {
      out[n++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(cp);
    }
  }
  out[n] = 0;
}

std::string boundedString(const char* text, std::size_t capacity) {
  if (text == nullptr) return {};
  return std::string(text, strnlen(text, capacity));
}

}  // namespace orbel
