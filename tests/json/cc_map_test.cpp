// The CC map document: reading, clamping, dropping, writing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ccmap/cc_map.h"
#include "json/json_read.h"

namespace orbel {
namespace {

bool parse(const std::string& text, CcMap& map) {
  return parseCcMapJson(text.data(), text.size(), map);
}

std::string written(const CcMap& map) {
  std::string out;
  writeCcMapJson(out, map);
  return out;
}

TEST(CcMapDocument, WholeDocumentShapes) {
  const struct {
    const char* text;
    bool ok;
    bool present;
  } cases[] = {
      {"[]", true, true},
      {" {\"bindings\":[]} ", true, true},
      {"{}", true, false},
      {"{\"version\":1,\"bindings\":\"none\"}", true, false},  // not an array: skipped
      {"null", false, false},
      {"42", false, false},
      {"", false, false},
      {"[] x", false, false},
      {"{\"bindings\":[{\"cc\":1,\"path\":\"osc.type\"}]", false, false},
      {"[{\"cc\":1,\"path\":\"osc.type\"},]", false, false},
  };
  for (const auto& c : cases) {
    CcMap map;
    map.count = 3;  // a previous map
    EXPECT_EQ(parse(c.text, map), c.ok) << c.text;
    EXPECT_EQ(map.count, c.ok ? 0u : 3u) << c.text;

    if (c.ok) {
      Reader reader(c.text, std::strlen(c.text));
      CcMap value;
      bool present = !c.present;
      ASSERT_TRUE(parseCcMapValue(reader, value, present)) << c.text;
      EXPECT_EQ(present, c.present) << c.text;
    }
  }
  // Inside a larger document any other value is skipped and gives no map.
  Reader reader("null,", 5);
  CcMap value;
  value.count = 4;
  bool present = true;
  ASSERT_TRUE(parseCcMapValue(reader, value, present));
  EXPECT_FALSE(present);
  EXPECT_EQ(value.count, 0u);
  EXPECT_EQ(*reader.cursor, ',');
}

TEST(CcMapDocument, BindingValuesRoundAndClamp) {
  const struct {
    const char* binding;
    bool kept;
    int cc;
    int channel;
  } cases[] = {
      {R"({"cc":74,"path":"filter.cutoff"})", true, 74, 0},
      {R"({"cc":300,"path":"master.gain"})", true, 127, 0},
      {R"({"cc":-5,"path":"master.gain"})", true, 0, 0},
      {R"({"cc":63.5,"path":"master.gain"})", true, 64, 0},
      {R"({"cc":63.49,"path":"master.gain"})", true, 63, 0},
      {R"({"cc":1,"path":"master.gain","channel":0})", true, 1, 1},
      {R"({"cc":1,"path":"master.gain","channel":17})", true, 1, 16},
      {R"({"cc":1,"path":"master.gain","channel":2.5})", true, 1, 3},
      {R"({"cc":1,"path":"master.gain","channel":"2"})", true, 1, 0},
      {R"({"cc":1e400,"path":"master.gain"})", true, 127, 0},
      {R"({"cc":nan,"path":"master.gain"})", false, 0, 0},
      {R"({"cc":"7","path":"master.gain"})", false, 0, 0},
      {R"({"path":"master.gain"})", false, 0, 0},
      {R"({"cc":1,"path":"master.volume"})", false, 0, 0},
      {R"({"cc":1,"path":"Master.gain"})", false, 0, 0},
      {R"({"cc":1})", false, 0, 0},
      {R"({})", false, 0, 0},
      {R"(7)", false, 0, 0},
      {R"("x")", false, 0, 0},
      {R"([1,{"cc":1}])", false, 0, 0},
  };
  for (const auto& c : cases) {
    CcMap map;
    const std::string text = std::string("[") + c.binding + "]";
    ASSERT_TRUE(parse(text, map)) << c.binding;
    ASSERT_EQ(map.count, c.kept ? 1u : 0u) << c.binding;
    if (c.kept) {
      EXPECT_EQ(map.bindings[0].cc, c.cc) << c.binding;
      EXPECT_EQ(map.bindings[0].channel, c.channel) << c.binding;
    }
  }
}

TEST(CcMapDocument, WronglyTypedNamesFailTheRead) {
  const char* bad[] = {
      R"([{"cc":1,"path":5}])",
      R"([{"cc":1,"path":"osc.type","curve":1}])",
      R"([{"cc":1,"path":"osc.type","valueMode":null}])",
      R"([{"cc":1,"path":"osc.type","takeover":["pickup"]}])",
      R"([{"cc":1 "path":"osc.type"}])",
      R"([{"cc":1,"path":"osc.type"])",
      R"([{"cc":1,"path":"osc.type","enabled":truex}])",
  };
  for (const char* text : bad) {
    CcMap map;
    map.count = 2;
    map.bindings[0].cc = 9;
    EXPECT_FALSE(parse(text, map)) << text;
    EXPECT_EQ(map.count, 2u) << text;  // the caller's map survives
    EXPECT_EQ(map.bindings[0].cc, 9) << text;

    // The streaming entry point leaves the map alone too.
    Reader reader(text, std::strlen(text));
    bool present = false;
    EXPECT_FALSE(parseCcMapValue(reader, map, present)) << text;
    EXPECT_EQ(map.count, 2u) << text;
  }
}

TEST(CcMapDocument, AllFieldsRoundTrip) {
  const std::string text =
      R"({"version":1,"bindings":[)"
      R"({"cc":20,"path":"osc.type","channel":2,"min":-0.5,"max":2.5,"curve":"exp","valueMode":"toggle","takeover":"pickup","enabled":false},)"
      R"({"cc":21,"path":"osc.octave","curve":"log","valueMode":"relative-signed-bit","takeover":"scaled"},)"
      R"({"cc":22,"path":"osc.detune","curve":"s-curve","valueMode":"relative-binary-offset"},)"
      R"({"cc":23,"path":"filter.cutoff","max":440,"valueMode":"relative-twos-complement"}]})";
  CcMap map;
  ASSERT_TRUE(parse(text, map));
  ASSERT_EQ(map.count, 4u);
  const CcBinding& b = map.bindings[0];
  EXPECT_EQ(b.paramIndex, 0);
  EXPECT_EQ(b.curve, kCcCurveExp);
  EXPECT_EQ(b.valueMode, kCcValueToggle);
  EXPECT_EQ(b.takeover, kCcTakeoverPickup);
  EXPECT_FALSE(b.enabled);
  EXPECT_TRUE(b.hasMin && b.hasMax);
  EXPECT_EQ(b.min, -0.5);
  EXPECT_EQ(map.bindings[3].hasMin, false);
  EXPECT_EQ(written(map), text);
}

TEST(CcMapDocument, LenientMembers) {
  // Unknown names fall back to the defaults; a non-boolean "enabled" keeps the
  // binding enabled; a non-number min is ignored; unknown members are skipped;
  // a non-finite bound is no bound.
  const std::string text =
      R"([{"cc":5,"path":"master.gain","curve":"cubic","valueMode":"abs","takeover":"none",)"
      R"("enabled":"no","min":"0","max":inf,"extra":{"deep":[1,2,{"x":null}]}}])";
  CcMap map;
  ASSERT_TRUE(parse(text, map));
  ASSERT_EQ(map.count, 1u);
  const CcBinding& b = map.bindings[0];
  EXPECT_EQ(b.curve, kCcCurveLinear);
  EXPECT_EQ(b.valueMode, kCcValueAbsolute);
  EXPECT_EQ(b.takeover, kCcTakeoverNone);
  EXPECT_TRUE(b.enabled);
  EXPECT_FALSE(b.hasMin);
  EXPECT_FALSE(b.hasMax);
  EXPECT_EQ(written(map), R"({"version":1,"bindings":[{"cc":5,"path":"master.gain"}]})");
}

TEST(CcMapDocument, DroppedBindingsKeepTheRest) {
  CcMap map;
  ASSERT_TRUE(
      parse(R"([{"path":"osc.type"},{"cc":3,"path":"nope"},{"cc":4,"path":"osc.detune"}])", map));
  ASSERT_EQ(map.count, 1u);
  EXPECT_EQ(map.bindings[0].cc, 4);
  EXPECT_EQ(map.bindings[0].paramIndex, 2);
}

TEST(CcMapDocument, SixtyFiveBindingsKeepTheFirst64) {
  std::string text = "[";
  for (int i = 0; i < 65; ++i) {
    if (i) text += ",";
    text += "{\"cc\":" + std::to_string(i) + ",\"path\":\"master.gain\"}";
  }
  text += "]";
  CcMap map;
  ASSERT_TRUE(parse(text, map));
  ASSERT_EQ(map.count, 64u);
  EXPECT_EQ(map.bindings[63].cc, 63);
}

TEST(CcMapDocument, Writing) {
  CcMap map;
  ASSERT_TRUE(
      parse(R"({"bindings":[{"path":"osc.type","cc":20,"enabled":false,"channel":2}]})", map));
  EXPECT_EQ(
      written(map),
      R"({"version":1,"bindings":[{"cc":20,"path":"osc.type","channel":2,"enabled":false}]})");

  std::string changed;
  writeCcMapChangedJson(changed, map);
  EXPECT_EQ(changed, std::string(R"({"type":"orbel.ccMapChanged","map":)") + written(map) + "}");

  CcMap empty;
  EXPECT_EQ(written(empty), R"({"version":1,"bindings":[]})");

  // Bindings without a parameter are not written; a bogus count is bounded.
  CcMap odd;
  odd.count = 1000;
  for (auto& b : odd.bindings) b.paramIndex = 99;
  odd.bindings[10].paramIndex = 10;
  odd.bindings[10].cc = 7;
  EXPECT_EQ(written(odd), R"({"version":1,"bindings":[{"cc":7,"path":"master.gain"}]})");
}

TEST(CcMapDocument, RepeatedBindingsMemberReplacesTheList) {
  CcMap map;
  ASSERT_TRUE(parse(
      R"({"bindings":[{"cc":1,"path":"osc.type"}],"bindings":[{"cc":2,"path":"osc.type"}]})", map));
  ASSERT_EQ(map.count, 1u);
  EXPECT_EQ(map.bindings[0].cc, 2);
}

}  // namespace
}  // namespace orbel
