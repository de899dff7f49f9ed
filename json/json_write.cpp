#include "json/json_write.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace orbel {

namespace {
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

void jsonAppendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out.append("null", 4);
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  // 64 bytes always hold the shortest form of a double (at most 24 chars).
  out.append(buffer, static_cast<size_t>(result.ptr - buffer));
}

void jsonAppendQuoted(std::string& out, const char* text, size_t length) {
  out.push_back('"');
  if (text != nullptr) {
    const char* run = text;
    const char* const end = text + length;
    for (const char* p = text; p < end; ++p) {
      if (*p == '"' || *p == '\\') {
        out.append(run, static_cast<size_t>(p - run));
        out.push_back('\\');
        run = p;  // the quote or backslash itself goes out with the next run
      }
    }
    out.append(run, static_cast<size_t>(end - run));
  }
  out.push_back('"');
}

void jsonAppendQuoted(std::string& out, const char* text) {
  jsonAppendQuoted(out, text, text != nullptr ? std::strlen(text) : 0);
}

void base64Append(std::string& out, const uint8_t* data, size_t length) {
  if (data == nullptr || length == 0) return;
  out.reserve(out.size() + (length + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back(kBase64Alphabet[v & 63]);
  }
  const size_t rest = length - i;
  if (rest == 1) {
    const uint32_t v = uint32_t(data[i]) << 16;
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.append("==", 2);
  } else if (rest == 2) {
    const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back('=');
  }
}

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool base64Decode(const std::string& text, std::vector<uint8_t>& out, size_t maxBytes) {
  const size_t length = text.size();
  if (length % 4 != 0) return false;
  if (length == 0) {
    out.clear();
    return true;
  }
  size_t padding = 0;
  if (text[length - 1] == '=') ++padding;
  if (text[length - 2] == '=') ++padding;
  // "AB=C" would otherwise count one pad and decode a digit after it.
  if (padding == 1 && text[length - 1] != '=') return false;
  const size_t expected = length / 4 * 3 - padding;
  if (expected > maxBytes) return false;
  out.clear();
  out.reserve(expected);
  for (size_t g = 0; g < length; g += 4) {
    const bool last = g + 4 == length;
    const int a = base64Digit(text[g]);
    const int b = base64Digit(text[g + 1]);
    if (a < 0 || b < 0) return false;
    int c = base64Digit(text[g + 2]);
    int d = base64Digit(text[g + 3]);
    if (c < 0) {
      if (!last || text[g + 2] != '=') return false;
      c = 0;
    }
    if (d < 0) {
      if (!last || text[g + 3] != '=') return false;
      d = 0;
    }
    const uint32_t v = (uint32_t(a) << 18) | (uint32_t(b) << 12) | (uint32_t(c) << 6) | uint32_t(d);
    const uint8_t bytes[3] = {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    for (int k = 0; k < 3 && out.size() < expected; ++k) out.push_back(bytes[k]);
  }
  return out.size() == expected;
}

}  // namespace orbel
