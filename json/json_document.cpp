#include <cstring>
#include <string>

#include "json/json_read.h"

namespace orbel {

const JsonValue* JsonValue::find(const char* key) const {
  if (kind != Object || key == nullptr) return nullptr;
  const auto it = members.find(key);
  return it == members.end() ? nullptr : &it->second;
}

std::string JsonValue::str(const char* key, const char* fallback) const {
  const JsonValue* v = find(key);
  if (v != nullptr && v->kind == String) return v->text;
  return fallback != nullptr ? std::string(fallback) : std::string();
}

void JsonReader::skipWhitespace() {
  while (cursor_ < end_ && jsonIsSpace(*cursor_)) ++cursor_;
}

bool JsonReader::literal(const char* word) {
  const size_t length = std::strlen(word);
  if (static_cast<size_t>(end_ - cursor_) < length || std::memcmp(cursor_, word, length) != 0)
    return false;
  cursor_ += length;
  return true;
}

bool JsonReader::hex4(uint32_t& unit) {
  if (end_ - cursor_ < 4) return false;
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = cursor_[i];
    uint32_t d;
    if (c >= '0' && c <= '9')
      d = uint32_t(c - '0');
    else if (c >= 'a' && c <= 'f')
      d = uint32_t(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      d = uint32_t(c - 'A' + 10);
    else
      return false;
    v = (v << 4) | d;
  }
  cursor_ += 4;
  unit = v;
  return true;
}

namespace {
void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}
}  // namespace

bool JsonReader::string(std::string& out) {
  if (cursor_ >= end_ || *cursor_ != '"') return false;
  ++cursor_;
  out.clear();
  while (cursor_ < end_) {
    const char* run = cursor_;
    while (cursor_ < end_ && *cursor_ != '"' && *cursor_ != '\\') ++cursor_;
    out.append(run, static_cast<size_t>(cursor_ - run));
    if (cursor_ >= end_) return false;
    if (*cursor_++ == '"') return true;
    if (cursor_ >= end_) return false;
    const char e = *cursor_++;
    switch (e) {
      case '"':
        out.push_back('"');
        break;
      case '/':
        out.push_back('/');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case 'b':
        out.push_back('\b');
        break;
      case 'f':
        out.push_back('\f');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'u': {
        uint32_t unit;
        if (!hex4(unit)) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF && end_ - cursor_ >= 6 && cursor_[0] == '\\' &&
            cursor_[1] == 'u') {
          // Look ahead for the low half without consuming it unless it pairs.
          const char* save = cursor_;
          cursor_ += 2;
          uint32_t low;
          if (hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            break;
          }
          cursor_ = save;
        }
        appendUtf8(out, unit);
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

bool JsonReader::value(JsonValue& out, int depth) {
  if (depth > kJsonMaxDepth) return false;
  skipWhitespace();
  if (cursor_ >= end_) return false;
  out.kind = JsonValue::Null;
  out.boolean = 0;
  out.number = 0.0;
  out.text.clear();
  out.items.clear();
  out.members.clear();

  const char c = *cursor_;
  if (c == '"') {
    out.kind = JsonValue::String;
    return string(out.text);
  }
  if (c == '[') {
    out.kind = JsonValue::Array;
    ++cursor_;
    skipWhitespace();
    if (cursor_ < end_ && *cursor_ == ']') {
      ++cursor_;
      return true;
    }
    for (;;) {
      out.items.emplace_back();
      if (!value(out.items.back(), depth + 1)) return false;
      skipWhitespace();
      if (cursor_ >= end_) return false;
      const char s = *cursor_++;
      if (s == ']') return true;
      if (s != ',') return false;
    }
  }
  if (c == '{') {
    out.kind = JsonValue::Object;
    ++cursor_;
    skipWhitespace();
    if (cursor_ < end_ && *cursor_ == '}') {
      ++cursor_;
      return true;
    }
    std::string key;
    for (;;) {
      skipWhitespace();
      if (!string(key)) return false;
      skipWhitespace();
      if (cursor_ >= end_ || *cursor_ != ':') return false;
      ++cursor_;
      JsonValue member;
      if (!value(member, depth + 1)) return false;
      out.members[key] = std::move(member);  // a later duplicate wins
      skipWhitespace();
      if (cursor_ >= end_) return false;
      const char s = *cursor_++;
      if (s == '}') return true;
      if (s != ',') return false;
    }
  }
  if (literal("true")) {
    out.kind = JsonValue::Boolean;
    out.boolean = 1;
    return true;
  }
  if (literal("false")) {
    out.kind = JsonValue::Boolean;
    out.boolean = 0;
    return true;
  }
  if (literal("null")) return true;
  const size_t consumed = jsonScanNumber(cursor_, end_, &out.number);
  if (consumed == 0) return false;
  cursor_ += consumed;
  out.kind = JsonValue::Number;
  return true;
}

bool parseJsonDocument(const std::vector<uint8_t>& bytes, JsonValue& out) {
  // A NUL-terminated copy, so that nothing downstream can run off the end
  // even if it looked for a terminator.
  const std::string text(bytes.begin(), bytes.end());
  JsonReader reader(text.data(), text.data() + text.size());
  if (!reader.value(out, 0)) return false;
  reader.skipWhitespace();
  return reader.atEnd();
}

}  // namespace orbel
