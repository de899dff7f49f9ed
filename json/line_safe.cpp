#include "json/line_safe.h"

namespace orbel {

namespace {

void appendUnicodeEscape(std::string& out, unsigned code) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  out += kHex[(code >> 12) & 15];
  out += kHex[(code >> 8) & 15];
  out += kHex[(code >> 4) & 15];
  out += kHex[code & 15];
}

}  // namespace

void appendLineSafeJson(std::string& out, std::string_view json) {
  out.reserve(out.size() + json.size());
  bool inString = false;
  bool escaped = false;  // the previous byte was a backslash inside a string
  for (size_t i = 0; i < json.size(); ++i) {
    const auto byte = static_cast<unsigned char>(json[i]);
    if (byte < 0x20) {
      if (inString) {
        // After a backslash the escape is broken anyway; the byte still must
        // not end the line.
        appendUnicodeEscape(out, byte);
      } else {
        out += ' ';
      }
      escaped = false;
      continue;
    }
    // U+2028 and U+2029 are E2 80 A8 and E2 80 A9 in UTF-8.
    if (inString && byte == 0xE2 && i + 2 < json.size() &&
        static_cast<unsigned char>(json[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(json[i + 2]) == 0xA8 ||
         static_cast<unsigned char>(json[i + 2]) == 0xA9)) {
      appendUnicodeEscape(out, static_cast<unsigned char>(json[i + 2]) == 0xA8 ? 0x2028 : 0x2029);
      i += 2;
      escaped = false;
      continue;
    }
    out += static_cast<char>(byte);
    if (!inString) {
      inString = byte == '"';
    } else if (escaped) {
      escaped = false;
    } else if (byte == '\\') {
      escaped = true;
    } else if (byte == '"') {
      inString = false;
    }
  }
}

std::string lineSafeJson(std::string_view json) {
  std::string out;
  appendLineSafeJson(out, json);
  return out;
}

}  // namespace orbel
