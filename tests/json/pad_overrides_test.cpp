// Sampler pad override map: ranges, flags, keys, limits, writing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

#include "banks/pad_overrides.h"

namespace orbel {
namespace {

bool parse(const std::string& text, SamplerPadOverrides& out) {
  return parseSamplerPadOverridesJson(text.data(), text.size(), out);
}

std::string written(const SamplerPadOverrides& list) {
  std::string out;
  writeSamplerPadOverridesJson(out, list);
  return out;
}

// One field at a time: what is accepted, what is silently ignored.
TEST(PadOverrides, FieldRangesAndRules) {
  const struct {
    const char* field;
    const char* value;
    bool stored;
  } cases[] = {
      {"transpose", "3", true},
      {"transpose", "3.5", false},
      {"transpose", "-24", true},
      {"transpose", "25", false},
      {"fineTune", "-100", true},
      {"fineTune", "100.5", false},
      {"gain", "0", true},
      {"gain", "4", true},
      {"gain", "4.01", false},
      {"pan", "-1", true},
      {"pan", "-1.5", false},
      {"start", "0.5", true},
      {"end", "1.5", false},
      {"attack", "2", true},
      {"attack", "-0.1", false},
      {"release", "0.001", true},
      {"release", "0.0009", false},
      {"filterHz", "20", true},
      {"filterHz", "20000", true},
      {"filterHz", "19.9", false},
      {"filterHz", "20001", false},
      {"resonance", "0.1", true},
      {"resonance", "18.5", false},
      {"reverse", "1", true},
      {"reverse", "0", true},
      {"reverse", "0.5", false},
      {"muted", "1", true},
      {"muted", "2", false},
      {"chokeGroup", "8", true},
      {"chokeGroup", "2.5", false},
      {"chokeGroup", "9", false},
      {"roundRobinGroup", "0", true},
      {"roundRobinGroup", "-1", false},
      {"velocitySensitivity", "0.25", true},
      {"velocitySensitivity", "1.1", false},
      {"gain", "nan", false},
      {"gain", "inf", false},
      {"gain", "\"1\"", false},
      {"gain", "null", false},
      {"gain", "[1]", false},
      {"gain", "true", false},
      {"Gain", "1", false},
      {"volume", "1", false},
      {"transpose", "0x2", true},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("{\"kick\":{\"") + c.field + "\":" + c.value + "}}";
    SamplerPadOverrides list;
    ASSERT_TRUE(parse(text, list)) << text;
    ASSERT_EQ(list.size(), c.stored ? 1u : 0u) << text;
    if (c.stored) {
      int bit = -1;
      for (size_t i = 0; i < kPadOverrideFieldCount; ++i) {
        if (std::string(kPadOverrideFields[i].key) == c.field) bit = int(i);
      }
      ASSERT_GE(bit, 0);
      EXPECT_EQ(list[0].pad, "kick");
      EXPECT_EQ(list[0].mask, 1u << bit) << text;
      EXPECT_EQ(list[0].values[bit], std::strtod(c.value, nullptr)) << text;
    }
  }
}

TEST(PadOverrides, UnsetFieldsHoldDefaults) {
  SamplerPadOverrides list;
  ASSERT_TRUE(parse(R"({"p":{"reverse":1}})", list));
  ASSERT_EQ(list.size(), 1u);
  for (size_t i = 0; i < kPadOverrideFieldCount; ++i) {
    if (i == kPadReverse) continue;
    EXPECT_EQ(list[0].values[i], kPadOverrideFields[i].defaultValue) << kPadOverrideFields[i].key;
  }
  EXPECT_TRUE(list[0].has(kPadReverse));
  EXPECT_EQ(list[0].value(kPadReverse), 1.0);
}

TEST(PadOverrides, KeysRecordsAndMerging) {
  SamplerPadOverrides list;
  // A repeated key replaces the record whole; a record with nothing valid does
  // not replace anything; non-object pads are skipped.
  ASSERT_TRUE(parse(R"({"a":{"gain":2,"pan":0.5},"b":"skip","c":[1,{"x":2}],"a":{"pan":-0.5},)"
                    R"("d":{"gain":9},"a":{"gain":99}})",
                    list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].pad, "a");
  EXPECT_EQ(list[0].mask, 1u << kPadPan);
  EXPECT_EQ(list[0].values[kPadPan], -0.5);
  EXPECT_EQ(list[0].values[kPadGain], 1.0);

  const std::string key160(160, 'k'), key161(161, 'k');
  ASSERT_TRUE(parse("{\"" + key161 + "\":{\"gain\":2},\"" + key160 + "\":{\"gain\":3}}", list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].pad, key160);

  // Keys are compared byte for byte, escapes as the streaming reader reads them.
  ASSERT_TRUE(
      parse(R"({"K":{"gain":2},"k":{"gain":3},"\u00e9":{"gain":1},"\"q":{"pan":1}})", list));
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[2].pad, "?");
  EXPECT_EQ(list[3].pad, "\"q");

  // Raw NUL bytes are part of a key and are written back whole.
  const std::string withNul("{\"a\0x\":{\"gain\":2},\"a\0y\":{\"gain\":3}}", 35);
  ASSERT_TRUE(parse(withNul, list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].pad, std::string("a\0y", 3));
  EXPECT_EQ(written(list), withNul);
}

std::string manyPads(int members, bool objects) {
  std::string text = "{";
  for (int i = 0; i < members; ++i) {
    if (i) text += ",";
    text += "\"pad" + std::to_string(i) + "\":" + (objects ? "{\"gain\":0.5}" : "0");
  }
  return text + "}";
}

TEST(PadOverrides, MemberLimit) {
  SamplerPadOverrides list;
  ASSERT_TRUE(parse(manyPads(256, true), list));
  EXPECT_EQ(list.size(), 256u);
  EXPECT_EQ(list[255].pad, "pad255");

  list.resize(3);
  ASSERT_TRUE(parse(manyPads(257, true), list));
  EXPECT_TRUE(list.empty());  // past 256 members the map means nothing

  // Members count whether or not they are objects.
  std::string mixed = manyPads(256, false);
  mixed.back() = ',';
  mixed += "\"real\":{\"gain\":2}}";
  ASSERT_TRUE(parse(mixed, list));
  EXPECT_TRUE(list.empty());
}

TEST(PadOverrides, StructuralErrorsLeaveTheListUntouched) {
  const char* bad[] = {
      "",
      "[]",
      "{",
      "{\"a\":{\"gain\":1}",
      "{\"a\" {\"gain\":1}}",
      "{\"a\":{\"gain\" 1}}",
      "{\"a\":{\"gain\":1,}}",
      "{\"a\":{\"gain\":1}{}}",
      "{\"a\":{\"gain\":1 \"pan\":0}}",
      "{\"a\":{\"gain\":1}} x",
      "{\"a\":{\"gain\":1}}}",
      "{\"a\":{\"gain\":\"unterminated}}",
      "{a:{}}",
  };
  for (const char* text : bad) {
    SamplerPadOverrides list(1);
    list[0].pad = "kept";
    list[0].mask = 1;
    EXPECT_FALSE(parse(text, list)) << text;
    ASSERT_EQ(list.size(), 1u) << text;
    EXPECT_EQ(list[0].pad, "kept") << text;
  }
  // Too deep inside a pad: a structural failure as well.
  std::string deep = "{\"a\":{\"x\":" + std::string(40, '[') + std::string(40, ']') + "}}";
  SamplerPadOverrides list(1);
  EXPECT_FALSE(parse(deep, list));
  EXPECT_EQ(list.size(), 1u);
}

TEST(PadOverrides, WritingAndRoundTrip) {
  SamplerPadOverrides list;
  EXPECT_EQ(written(list), "{}");
  list.resize(2);
  list[0].pad = "";  // no key
  list[0].mask = 1;
  list[1].pad = "snare";  // no fields
  EXPECT_EQ(written(list), "{}");

  const std::string text =
      R"({"kick \"1\"":{"transpose":-12,"fineTune":5.5,"gain":0.25,"pan":-1,"start":0.1,"end":0.9,)"
      R"("attack":0.002,"release":4,"filterHz":440,"resonance":18,"reverse":1,"muted":0,)"
      R"("chokeGroup":8,"roundRobinGroup":2,"velocitySensitivity":0},"hat":{"gain":1.5}})";
  ASSERT_TRUE(parse(text, list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].mask, 0x7fffu);
  EXPECT_EQ(list[0].pad, "kick \"1\"");
  EXPECT_EQ(written(list), text);

  // Bits beyond the fifteen fields are not written; non-finite values come
  // out as null, which reads back as an unset field.
  list[1].mask |= 0x80000000u | (1u << kPadPan);
  list[1].values[kPadPan] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(written(list).substr(written(list).find("\"hat\"")),
            R"("hat":{"gain":1.5,"pan":null}})");
  SamplerPadOverrides back;
  ASSERT_TRUE(parse(written(list), back));
  EXPECT_EQ(back[1].mask, 1u << kPadGain);
}

}  // namespace
}  // namespace orbel
