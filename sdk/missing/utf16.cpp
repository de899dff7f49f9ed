#include "sdk/missing/utf16.h"

#include <cstring>

namespace orbel {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from [p, end); advances p by at least one byte.
char32_t decodeUtf8(const unsigned char*& p, const unsigned char* end) {
  const unsigned char lead = *p++;
  if (lead < 0x80) return lead;
  int extra;
  char32_t cp;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
    minimum = 0x10000;
  } else {
    return kReplacement;
  }
  for (int i = 0; i < extra; ++i) {
    if (p == end || (*p & 0xC0) != 0x80) return kReplacement;  // stop at the bad byte
    cp = (cp << 6) | (*p++ & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
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

}  // namespace

size_t utf8ToUtf16(const char* text, size_t length, char16_t* out, size_t capacity) {
  if (!out || capacity == 0) return 0;
  size_t n = 0;
  if (text) {
    auto p = reinterpret_cast<const unsigned char*>(text);
    const auto end = p + length;
    while (p < end) {
      const char32_t cp = decodeUtf8(p, end);
      if (cp >= 0x10000) {
        if (n + 2 >= capacity) break;
        const char32_t v = cp - 0x10000;
        out[n++] = static_cast<char16_t>(0xD800 + (v >> 10));
        out[n++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
      } else {
        if (n + 1 >= capacity) break;
        out[n++] = static_cast<char16_t>(cp);
      }
    }
  }
  out[n] = 0;
  return n;
}

size_t utf8ToUtf16(const char* text, char16_t* out, size_t capacity) {
  return utf8ToUtf16(text, text ? std::strlen(text) : 0, out, capacity);
}

std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  auto p = reinterpret_cast<const unsigned char*>(text.data());
  const auto end = p + text.size();
  while (p < end) {
    const char32_t cp = decodeUtf8(p, end);
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string utf16ToUtf8(const char16_t* text, size_t maxUnits) {
  std::string out;
  if (!text) return out;
  for (size_t i = 0; i < maxUnits && text[i] != 0; ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 < maxUnits && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        cp = kReplacement;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    appendUtf8(out, cp);
  }
  return out;
}

}  // namespace orbel
