// JSON readers. Two of them, with different strictness:
//  - the streaming Reader (a cursor over a byte range) with parseString,
//    parseNumber and skipValue, on which the hand-written object walkers of
//    the state document, the CC map, the pad overrides and the bridge
//    messages are built. It is tolerant: unknown escape letters give the
//    letter itself and every \u escape gives a single '?'.
//  - the document model JsonValue / JsonReader / parseJsonDocument, used for
//    whole documents such as a sound pack's bank.json. It rejects unknown
//    escapes and decodes \u escapes (surrogate pairs included) to UTF-8.
// Both read numbers with the grammar of strtod (always in the C locale) and
// both refuse nesting deeper than kJsonMaxDepth. Neither reads at or past the
// end of its input, which need not be NUL-terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orbel {

constexpr int kJsonMaxDepth = 32;

// ---------------------------------------------------------------------------
// Streaming reader

struct Reader {
  const char* cursor = nullptr;  // next unread byte
  const char* end = nullptr;     // one past the last byte

  Reader() = default;
  Reader(const char* data, size_t length) : cursor(data), end(data + length) {}

  bool atEnd() const { return cursor >= end; }
  // The next byte, or 0 at the end (callers check atEnd() where 0 matters).
  char peek() const { return cursor < end ? *cursor : '\0'; }
};

// JSON whitespace: space, tab, line feed, carriage return. Nothing else.
inline bool jsonIsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Moves the cursor past whitespace.
void skipWhitespace(Reader& reader);

// Skips whitespace; if the next byte is `c`, steps past it and returns true.
bool consumeChar(Reader& reader, char c);

// After a member or element value: skips whitespace and reads ',' (more
// follow: 1), the closing byte `close` (0) or anything else (-1).
int memberSeparator(Reader& reader, char close);

// Reads one string (whitespace before it is skipped). `out` may be null to
// skip the string; otherwise it is replaced. On failure `out` is garbage.
bool parseString(Reader& reader, std::string* out);

// Reads one number with the strtod grammar, bounded to the input (a leading
// '+', hexadecimal forms, inf and nan are accepted: callers that need finite
// values check). `out` may be null.
bool parseNumber(Reader& reader, double* out);

// Skips one value of any kind. `depth` is the depth of the value being
// skipped; a value entered deeper than kJsonMaxDepth fails.
bool skipValue(Reader& reader, int depth);

// True when the text is exactly one JSON object, whitespace around it allowed
// (checked with skipValue, so as leniently as the streaming reader reads).
bool isOneJsonObject(const char* text, size_t length);

// Converts a number at the start of [begin, end) with strtod in the C
// locale, never reading past `end`. Returns the number of bytes consumed,
// 0 when there is no number.
size_t jsonScanNumber(const char* begin, const char* end, double* out);

// ---------------------------------------------------------------------------
// Document model

struct JsonValue {
  enum Kind : uint8_t { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

  uint8_t kind = Null;
  uint8_t boolean = 0;
  double number = 0.0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  bool isNull() const { return kind == Null; }
  bool isBool() const { return kind == Boolean; }
  bool isNumber() const { return kind == Number; }
  bool isString() const { return kind == String; }
  bool isArray() const { return kind == Array; }
  bool isObject() const { return kind == Object; }

  // The member's value, or null when this is not an object or has no such key.
  const JsonValue* find(const char* key) const;
  // The member's text when it exists and is a string, else `fallback`.
  std::string str(const char* key, const char* fallback) const;
};

class JsonReader {
public:
  // [begin, end) must be followed by a NUL byte (parseJsonDocument ensures it),
  // although no method relies on it for bounds.
  JsonReader(const char* begin, const char* end) : cursor_(begin), end_(end) {}

  bool value(JsonValue& out, int depth);
  // The cursor must stand at a double quote.
  bool string(std::string& out);
  // Steps past `word` when the remaining input starts with it.
  bool literal(const char* word);

  void skipWhitespace();
  bool atEnd() const { return cursor_ >= end_; }

private:
  bool hex4(uint32_t& unit);

  const char* cursor_;
  const char* end_;
};

// Reads one whole document: a single value with only whitespace around it.
// On failure `out` is left in an unspecified (but valid) state.
bool parseJsonDocument(const std::vector<uint8_t>& bytes, JsonValue& out);

}  // namespace orbel
