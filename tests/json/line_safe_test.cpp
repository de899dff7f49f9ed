// JSON texts made safe for line framing and script source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json_read.h"
#include "json/line_safe.h"

namespace orbel {
namespace {

TEST(LineSafeJson, EscapesInsideStringsAndSpacesBetweenTokens) {
  using namespace std::string_literals;
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {R"({"type":"orbel.hello","a":[1,2.5,true,null],"é":"ü"})",
       R"({"type":"orbel.hello","a":[1,2.5,true,null],"é":"ü"})"},
      {"{\"path\":\"/banks/a\nb\"}", R"({"path":"/banks/a\u000ab"})"},
      {"{\"t\":\"\t\r\x1f\"}", R"({"t":"\u0009\u000d\u001f"})"},
      {"{\"nul\":\"a\0b\"}"s, R"({"nul":"a\u0000b"})"},
      {"{\n\"a\" :\r\n1}", "{ \"a\" :  1}"},
      // An escaped quote does not end the string; an escaped backslash does not escape the quote.
      {"{\"q\":\"say \\\"hi\n\\\"\",\"b\":\"\\\\\"\n}",
       "{\"q\":\"say \\\"hi\\u000a\\\"\",\"b\":\"\\\\\" }"},
      {"{\"ls\":\"a\xE2\x80\xA8"
       "b\xE2\x80\xA9\"}",
       R"({"ls":"a\u2028b\u2029"})"},
      {"{\"other\":\"\xE2\x80\xA7\"}", "{\"other\":\"\xE2\x80\xA7\"}"},
      {"{\"cut\":\"\xE2\x80", "{\"cut\":\"\xE2\x80"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(lineSafeJson(c.in), c.out) << c.in;

  std::string appended = "x";
  appendLineSafeJson(appended, "\"\n\"");
  EXPECT_EQ(appended, "x\"\\u000a\"");
}

TEST(LineSafeJson, APageReadsBackTheSameCharacters) {
  const std::string raw =
      "line\none\ttab\x01 sep\xE2\x80\xA8"
      "end";
  const std::string text = "{\"name\":\"" + raw + "\"}";
  const std::string safe = lineSafeJson(text);
  EXPECT_EQ(safe.find('\n'), std::string::npos);
  EXPECT_EQ(safe.find("\xE2\x80\xA8"), std::string::npos);
  JsonValue value;
  ASSERT_TRUE(parseJsonDocument(std::vector<uint8_t>(safe.begin(), safe.end()), value)) << safe;
  EXPECT_EQ(value.str("name", ""), raw);
}

}  // namespace
}  // namespace orbel
