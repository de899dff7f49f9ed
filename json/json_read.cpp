#include "json/json_read.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace orbel {

namespace {

// Bytes that can belong to something strtod reads: digits, signs, the point,
// exponent and hexadecimal letters, and the letters of inf/infinity/nan. The
// run of such bytes bounds the copy handed to strtod, so strtod never sees
// (or skips) anything past the token, and never past the end of the input.
bool isNumberByte(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' ||
         c == '-' || c == '.';
}

// strtod in the C locale: a host that switched LC_NUMERIC to a locale with a
// decimal comma must not change how our documents read.
double strtodC(const char* text, char** endOut) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (cLocale != static_cast<locale_t>(nullptr)) return strtod_l(text, endOut, cLocale);
  return std::strtod(text, endOut);
}

}  // namespace

size_t jsonScanNumber(const char* begin, const char* end, double* out) {
  if (begin == nullptr || begin >= end) return 0;
  const char* p = begin;
  while (p < end && isNumberByte(*p)) ++p;
  const size_t run = static_cast<size_t>(p - begin);
  if (run == 0) return 0;

  char small[128];
  std::string large;
  char* text;
  if (run < sizeof small) {
    std::memcpy(small, begin, run);
    small[run] = '\0';
    text = small;
  } else {
    large.assign(begin, run);
    text = large.data();
  }
  char* stop = nullptr;
  const double value = strtodC(text, &stop);
  const size_t consumed = static_cast<size_t>(stop - text);
  if (consumed == 0 || consumed > run) return 0;
  if (out != nullptr) *out = value;
  return consumed;
}

void skipWhitespace(Reader& reader) {
  while (reader.cursor < reader.end && jsonIsSpace(*reader.cursor)) ++reader.cursor;
}

bool consumeChar(Reader& reader, char c) {
  skipWhitespace(reader);
  if (reader.cursor < reader.end && *reader.cursor == c) {
    ++reader.cursor;
    return true;
  }
  return false;
}

int memberSeparator(Reader& reader, char close) {
  skipWhitespace(reader);
  if (reader.atEnd()) return -1;
  const char c = *reader.cursor++;
  if (c == ',') return 1;
  if (c == close) return 0;
  return -1;
}

bool parseString(Reader& reader, std::string* out) {
  skipWhitespace(reader);
  if (reader.cursor >= reader.end || *reader.cursor != '"') return false;
  ++reader.cursor;
  if (out != nullptr) out->clear();
  while (reader.cursor < reader.end) {
    // Copy the plain run up to the next quote or backslash in one go.
    const char* run = reader.cursor;
    while (reader.cursor < reader.end && *reader.cursor != '"' && *reader.cursor != '\\')
      ++reader.cursor;
    if (out != nullptr) out->append(run, static_cast<size_t>(reader.cursor - run));
    if (reader.cursor >= reader.end) return false;
    const char c = *reader.cursor++;
    if (c == '"') return true;
    // A backslash: it takes the following byte.
    if (reader.cursor >= reader.end) return false;
    const char e = *reader.cursor++;
    char decoded;
    switch (e) {
      case 'b':
        decoded = '\b';
        break;
      case 'f':
        decoded = '\f';
        break;
      case 'n':
        decoded = '\n';
        break;
      case 'r':
        decoded = '\r';
        break;
      case 't':
        decoded = '\t';
        break;
      case 'u': {
        // This reader does not decode code points: the escape stands for one
        // '?'. Up to four bytes are consumed unseen.
        for (int i = 0; i < 4 && reader.cursor < reader.end; ++i) ++reader.cursor;
        decoded = '?';
        break;
      }
      default:
        decoded = e;
        break;
    }
    if (out != nullptr) out->push_back(decoded);
  }
  return false;
}

bool parseNumber(Reader& reader, double* out) {
  skipWhitespace(reader);
  const size_t consumed = jsonScanNumber(reader.cursor, reader.end, out);
  if (consumed == 0) return false;
  reader.cursor += consumed;
  return true;
}

namespace {
bool matchWord(const Reader& reader, const char* word, size_t length) {
  return static_cast<size_t>(reader.end - reader.cursor) >= length &&
         std::memcmp(reader.cursor, word, length) == 0;
}
}  // namespace

bool skipValue(Reader& reader, int depth) {
  skipWhitespace(reader);
  if (depth > kJsonMaxDepth || reader.cursor >= reader.end) return false;
  switch (*reader.cursor) {
    case '"':
      return parseString(reader, nullptr);
    case '[': {
      ++reader.cursor;
      if (consumeChar(reader, ']')) return true;
      for (;;) {
        if (!skipValue(reader, depth + 1)) return false;
        skipWhitespace(reader);
        if (reader.cursor >= reader.end) return false;
        const char c = *reader.cursor++;
        if (c == ']') return true;
        if (c != ',') return false;
      }
    }
    case '{': {
      ++reader.cursor;
      if (consumeChar(reader, '}')) return true;
      for (;;) {
        if (!parseString(reader, nullptr)) return false;
        if (!consumeChar(reader, ':')) return false;
        if (!skipValue(reader, depth + 1)) return false;
        skipWhitespace(reader);
        if (reader.cursor >= reader.end) return false;
        const char c = *reader.cursor++;
        if (c == '}') return true;
        if (c != ',') return false;
      }
    }
    default:
      if (matchWord(reader, "true", 4) || matchWord(reader, "null", 4)) {
        reader.cursor += 4;
        return true;
      }
      if (matchWord(reader, "false", 5)) {
        reader.cursor += 5;
        return true;
      }
      return parseNumber(reader, nullptr);
  }
}

bool isOneJsonObject(const char* text, size_t length) {
  if (text == nullptr) return false;
  Reader reader(text, length);
  skipWhitespace(reader);
  if (reader.peek() != '{' || !skipValue(reader, 0)) return false;
  skipWhitespace(reader);
  return reader.atEnd();
}

}  // namespace orbel
