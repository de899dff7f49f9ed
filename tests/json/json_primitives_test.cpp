// Writers, the streaming Reader and the document model.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "json/json_read.h"
#include "json/json_write.h"

namespace orbel {
namespace {

// Copies `text` into a heap block of exactly its size (no terminator), so a
// read past the end is a read past the allocation under ASan.
struct ExactBytes {
  explicit ExactBytes(const std::string& text)
      : size(text.size()), data(new char[text.size() ? text.size() : 1]) {
    if (size) std::memcpy(data.get(), text.data(), size);
  }
  Reader reader() const { return Reader(data.get(), size); }
  size_t size;
  std::unique_ptr<char[]> data;
};

TEST(JsonWrite, Numbers) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1.0, "1"},
      {0.025, "0.025"},
      {20000.0, "20000"},
      {1e21, "1e+21"},
      {-0.0, "-0"},
      {-2.5, "-2.5"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
  };
  for (const auto& c : cases) {
    std::string out = "x";
    jsonAppendNumber(out, c.value);
    EXPECT_EQ(out, std::string("x") + c.text);
  }
}

TEST(JsonWrite, QuotedEscapesOnlyQuoteAndBackslash) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", "\"\""},
      {"plain", "\"plain\""},
      {"a\"b\\c\nd", "\"a\\\"b\\\\c\nd\""},
      {"\t\x01\x7f", "\"\t\x01\x7f\""},
      {"\xc3\xa9", "\"\xc3\xa9\""},
      {"\\\\\"\"", "\"\\\\\\\\\\\"\\\"\""},
  };
  for (const auto& c : cases) {
    std::string out;
    jsonAppendQuoted(out, c.in);
    EXPECT_EQ(out, c.out) << c.in;
    // What is written reads back unchanged through both readers.
    Reader r(out.data(), out.size());
    std::string back;
    ASSERT_TRUE(parseString(r, &back));
    EXPECT_EQ(back, c.in);
    EXPECT_TRUE(r.atEnd());
    JsonValue v;
    ASSERT_TRUE(parseJsonDocument(std::vector<uint8_t>(out.begin(), out.end()), v));
    EXPECT_EQ(v.text, c.in);
  }
  std::string out;
  jsonAppendQuoted(out, nullptr);
  EXPECT_EQ(out, "\"\"");
}

TEST(JsonBase64, Encode) {
  const struct {
    std::string bytes;
    const char* text;
  } cases[] = {
      {"", ""},
      {std::string(1, '\0'), "AA=="},
      {"ab", "YWI="},
      {"abc", "YWJj"},
      {"abcd", "YWJjZA=="},
      {"\xff\xfe\xfd", "//79"},
      {"\xfb\xef", "++8="},
  };
  for (const auto& c : cases) {
    std::string out;
    base64Append(out, reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(out, c.text);
  }
}

TEST(JsonBase64, DecodeIsStrictAndBounded) {
  const struct {
    const char* text;
    size_t maxBytes;
    bool ok;
    std::string bytes;
  } cases[] = {
      {"", 0, true, ""},
      {"YWJj", 3, true, "abc"},
      {"YWJj", 2, false, ""},
      {"AA==", 0, false, ""},
      {"AA==", 1, true, std::string(1, '\0')},
      {"YWI=", 2, true, "ab"},
      {"YWJjZA==", 100, true, "abcd"},
      {"//79", 3, true, "\xff\xfe\xfd"},
      {"YWJjZ", 100, false, ""},     // length 5
      {"=AAA", 100, false, ""},      // '=' first in a group
      {"A=AA", 100, false, ""},      // '=' second in a group
      {"AA==AAAA", 100, false, ""},  // padding in a group that is not the last
      {"AAA=AAAA", 100, false, ""},
      {"AB=C", 100, false, ""},  // a digit after padding
      {"YW J", 100, false, ""},  // whitespace
      {"YW-_", 100, false, ""},  // URL-safe alphabet
      {"YWJj\n", 100, false, ""},
      {"====", 100, false, ""},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out = {9, 9};
    EXPECT_EQ(base64Decode(c.text, out, c.maxBytes), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(std::string(out.begin(), out.end()), c.bytes) << c.text;
    }
  }
  EXPECT_EQ(base64Digit('A'), 0);
  EXPECT_EQ(base64Digit('/'), 63);
  EXPECT_EQ(base64Digit('='), -1);

  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = uint8_t(i);
  for (size_t n = 0; n <= all.size(); n += 37) {
    std::string text;
    base64Append(text, all.data(), n);
    std::vector<uint8_t> back;
    ASSERT_TRUE(base64Decode(text, back, n));
    EXPECT_EQ(back, std::vector<uint8_t>(all.begin(), all.begin() + long(n)));
  }
}

// The escape table, read by both readers.
TEST(JsonRead, StringEscapesInBothReaders) {
  const struct {
    const char* json;  // a whole quoted string
    bool streamOk;
    std::string streamText;
    bool documentOk;
    std::string documentText;
  } cases[] = {
      {R"("a\"b\\c\/d")", true, "a\"b\\c/d", true, "a\"b\\c/d"},
      {R"("\b\f\n\r\t")", true, "\b\f\n\r\t", true, "\b\f\n\r\t"},
      {R"("\u00e9")", true, "?", true, "\xc3\xa9"},
      {R"("\u00E9x")", true, "?x", true, "\xc3\xa9x"},
      {R"("\u0041")", true, "?", true, "A"},
      {R"("\u20ac")", true, "?", true, "\xe2\x82\xac"},
      {R"("\ud83d\ude00")", true, "??", true, "\xf0\x9f\x98\x80"},
      {R"("\ud83dx")", true, "?x", true, "\xed\xa0\xbdx"},  // lone high
      {R"("\ude00")", true, "?", true, "\xed\xb8\x80"},     // lone low
      {R"("\ud83d\u0041")", true, "??", true,
       "\xed\xa0\xbd"
       "A"},  // high, then a normal escape
      {R"("\ud83d\n")", true, "?\n", true, "\xed\xa0\xbd\n"},
      {R"("\q")", true, "q", false, ""},
      {R"("\u12")", false, "", false, ""},  // the escape eats the closing quote
      {R"("\u12G4")", true, "?", false, ""},
      {"\"raw\x01\n\"", true, "raw\x01\n", true, "raw\x01\n"},
      {R"("unterminated)", false, "", false, ""},
      {R"("ends in backslash\)", false, "", false, ""},
  };
  for (const auto& c : cases) {
    const std::string json = c.json;
    ExactBytes exact(json);
    Reader r = exact.reader();
    std::string text;
    const bool streamOk = parseString(r, &text);
    const bool expectStream = c.streamOk;
    EXPECT_EQ(streamOk, expectStream) << json;
    if (expectStream) {
      EXPECT_EQ(text, c.streamText) << json;
      // Skipping walks the same grammar.
      Reader s = exact.reader();
      EXPECT_TRUE(parseString(s, nullptr));
      EXPECT_EQ(s.cursor, r.cursor);
    }
    JsonValue v;
    EXPECT_EQ(parseJsonDocument(std::vector<uint8_t>(json.begin(), json.end()), v), c.documentOk)
        << json;
    if (c.documentOk) {
      EXPECT_EQ(v.kind, JsonValue::String);
      EXPECT_EQ(v.text, c.documentText) << json;
    }
  }
}

TEST(JsonRead, NumbersUseStrtodGrammarWithinTheRange) {
  const struct {
    const char* text;
    bool ok;
    double value;
    size_t consumed;
  } cases[] = {
      {"42", true, 42, 2},
      {"  -1.5e3,", true, -1500, 8},
      {"+7", true, 7, 2},
      {"0x10", true, 16, 4},
      {"1e", true, 1, 1},
      {"12]", true, 12, 2},
      {"inf", true, std::numeric_limits<double>::infinity(), 3},
      {"", false, 0, 0},
      {"   ", false, 0, 0},
      {"-", false, 0, 0},
      {"abc", false, 0, 0},
      {"\"1\"", false, 0, 0},
      {"\v1", false, 0, 0},  // not JSON whitespace, so no number starts here
  };
  for (const auto& c : cases) {
    ExactBytes exact(c.text);
    Reader r = exact.reader();
    double v = -99;
    EXPECT_EQ(parseNumber(r, &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
      EXPECT_EQ(size_t(r.cursor - exact.data.get()), c.consumed) << c.text;
    }
  }
  // The range ends in the middle of digits that continue in memory.
  const char digits[] = "123456";
  Reader r(digits, 3);
  double v = 0;
  ASSERT_TRUE(parseNumber(r, &v));
  EXPECT_EQ(v, 123);
  EXPECT_EQ(r.cursor, digits + 3);
  // A long number is read whole.
  std::string longNumber = "1." + std::string(300, '0') + "1";
  ExactBytes exact(longNumber);
  Reader lr = exact.reader();
  ASSERT_TRUE(parseNumber(lr, &v));
  EXPECT_EQ(v, 1.0);
  EXPECT_TRUE(lr.atEnd());
}

TEST(JsonRead, NumbersIgnoreTheProcessLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"};
  const char* set = nullptr;
  for (const char* name : names) {
    if ((set = std::setlocale(LC_NUMERIC, name)) != nullptr) break;
  }
  Reader r("0.5", 3);
  double v = 0;
  const bool ok = parseNumber(r, &v);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_TRUE(ok);
  EXPECT_EQ(v, 0.5) << (set ? set : "no other locale installed");
}

TEST(JsonRead, SkipValue) {
  const struct {
    const char* text;
    bool ok;
    size_t consumed;
  } cases[] = {
      {"\"s\\\"\"", true, 5},   {" [1, \"a\", {\"k\": [true, false, null]}] ", true, 37},
      {"{}", true, 2},          {"[ ]", true, 3},
      {"{\"a\":1,}", false, 0}, {"[1,]", false, 0},
      {"[1 2]", false, 0},      {"{\"a\" 1}", false, 0},
      {"{1:2}", false, 0},      {"truex", true, 4},  // the word alone; the caller fails on the x
      {"tru", false, 0},        {"nul", false, 0},
      {"fals", false, 0},       {"-0.5e-2", true, 7},
      {"[", false, 0},          {"{\"a\":", false, 0},
      {"", false, 0},           {"?", false, 0},
  };
  for (const auto& c : cases) {
    ExactBytes exact(c.text);
    Reader r = exact.reader();
    EXPECT_EQ(skipValue(r, 0), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(size_t(r.cursor - exact.data.get()), c.consumed) << c.text;
    }
  }
}

std::string nested(int levels, const char* inner) {
  return std::string(size_t(levels), '[') + inner + std::string(size_t(levels), ']');
}

TEST(JsonRead, DepthLimitIs32InBothReaders) {
  const struct {
    int arrays;
    const char* inner;
    bool ok;
  } cases[] = {
      {32, "1", true},   // the number is entered at depth 32
      {33, "1", false},  // ... at depth 33
      {33, "", true},    // the innermost array, at depth 32, is empty
      {34, "", false},
  };
  for (const auto& c : cases) {
    const std::string text = nested(c.arrays, c.inner);
    ExactBytes exact(text);
    Reader r = exact.reader();
    EXPECT_EQ(skipValue(r, 0), c.ok) << c.arrays << " " << c.inner;
    JsonValue v;
    EXPECT_EQ(parseJsonDocument(std::vector<uint8_t>(text.begin(), text.end()), v), c.ok)
        << c.arrays << " " << c.inner;
  }
  // Objects count the same way.
  std::string objects;
  for (int i = 0; i < 32; ++i) objects += "{\"k\":";
  objects += "1" + std::string(32, '}');
  Reader r(objects.data(), objects.size());
  EXPECT_TRUE(skipValue(r, 0));  // the number is entered at depth 32
  r = Reader(objects.data(), objects.size());
  EXPECT_FALSE(skipValue(r, 1));  // ... at depth 33
  // Deep input fails instead of exhausting the stack.
  const std::string deep(100000, '[');
  Reader d(deep.data(), deep.size());
  EXPECT_FALSE(skipValue(d, 0));
  JsonValue v;
  EXPECT_FALSE(parseJsonDocument(std::vector<uint8_t>(deep.begin(), deep.end()), v));
}

TEST(JsonDocument, ValuesAndLookups) {
  const std::string text =
      " {\"name\":\"pack\",\"n\":2.5,\"list\":[1,true,false,null,\"x\",{}],\"obj\":{\"a\":1},"
      "\"dup\":1,\"dup\":\"second\"} \r\n";
  JsonValue doc;
  ASSERT_TRUE(parseJsonDocument(std::vector<uint8_t>(text.begin(), text.end()), doc));
  ASSERT_TRUE(doc.isObject());
  EXPECT_EQ(doc.members.size(), 5u);
  EXPECT_EQ(doc.str("name", "?"), "pack");
  EXPECT_EQ(doc.str("n", "fallback"), "fallback");
  EXPECT_EQ(doc.str("missing", "fallback"), "fallback");
  ASSERT_NE(doc.find("n"), nullptr);
  EXPECT_EQ(doc.find("n")->number, 2.5);
  const JsonValue* list = doc.find("list");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->items.size(), 6u);
  EXPECT_EQ(list->items[0].kind, JsonValue::Number);
  EXPECT_TRUE(list->items[1].isBool() && list->items[1].boolean);
  EXPECT_TRUE(list->items[2].isBool() && !list->items[2].boolean);
  EXPECT_TRUE(list->items[3].isNull());
  EXPECT_TRUE(list->items[5].isObject());
  EXPECT_EQ(list->find("a"), nullptr);  // not an object
  EXPECT_EQ(doc.str("dup", ""), "second");
  // Copies are deep.
  JsonValue copy = doc;
  copy.members["obj"].members["a"].number = 7;
  EXPECT_EQ(doc.find("obj")->find("a")->number, 1);
}

TEST(JsonDocument, RejectsWhatIsNotOneValue) {
  const char* bad[] = {
      "",          "   ",     "{} x", "{}{}", "[1,]",  "{\"a\":1,}",        "{\"a\"}",
      "{a:1}",     "\"\\q\"", "tru",  "nul",  "[1 2]", "{\"a\":1 \"b\":2}", "[true1]",
      "\"\\u12\"", "-",
  };
  for (const char* text : bad) {
    const std::string s = text;
    JsonValue v;
    EXPECT_FALSE(parseJsonDocument(std::vector<uint8_t>(s.begin(), s.end()), v)) << text;
  }
}

}  // namespace
}  // namespace orbel
