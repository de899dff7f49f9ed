// The page's message grammar: what parses, into which fields, and what fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/bridge_message.h"

namespace orbel {
namespace {

// Parses from a heap buffer of exactly the text's size, with no terminator
// after it, so a read past the end shows up under AddressSanitizer.
bool parse(const std::string& text, BridgeMessage& out) {
  std::vector<char> bytes(text.begin(), text.end());
  return parseBridgeMessage(bytes.empty() ? "" : bytes.data(), bytes.size(), out);
}

TEST(BridgeMessageParse, AcceptsOrRejectsWholeTexts) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {
      {"{}", true},
      {" \t\r\n{ \n}\r\n ", true},
      {"{}x", false},
      {"{} {}", false},
      {"", false},
      {"   ", false},
      {"[]", false},
      {"{", false},
      {"{\"type\"}", false},
      {"{\"type\":}", false},
      {"{\"type\":\"a\",}", false},                // trailing comma
      {"{\"type\":\"a\" \"path\":\"b\"}", false},  // missing comma
      {"{type:\"a\"}", false},                     // key not a string
      {"{\"type\":1}", false},                     // text keys need strings
      {"{\"path\":null}", false},
      {"{\"value\":\"0.5\"}", false},  // number keys need numbers
      {"{\"note\":true}", false},
      {"{\"hz\":\"30\"}", false},
      {"{\"unknown\":{\"a\":[1,2,{\"b\":null}]},\"type\":\"t\"}", true},
      {"{\"unknown\":[1,2}", false},
      {"{\"state\":5,\"map\":\"x\",\"pads\":[],\"feeds\":{},\"stimulus\":true}", true},  // skipped
      {"{\"state\":{\"params\":5}}", false},  // a state the document reader refuses
      {"{\"feeds\":[\"transport\",]}", false},
      {"{\"feeds\":[1]}", false},
      {"{\"feeds\":[\"a\" \"b\"]}", false},
      {"{\"stimulus\":{\"kind\":1}}", false},
      {"{\"stimulus\":{\"kind\":\"x\",}}", false},
      {"{\"map\":[{\"cc\":1,\"path\":7}]}", false},  // wrongly typed binding
      {"{\"type\":\"unterminated}", false},
  };
  for (const Case& c : cases) {
    BridgeMessage m;
    EXPECT_EQ(parse(c.text, m), c.ok) << c.text;
  }
}

TEST(BridgeMessageParse, FillsTheFieldsOfEachKey) {
  BridgeMessage m;
  ASSERT_TRUE(
      parse("{\"type\":\"orbel.setParam\",\"path\":\"osc.type\",\"value\":2,\"id\":\"p1\","
            "\"source\":\"user-folder\",\"bankPath\":\"/b\",\"url\":\"https://x/y.zip\","
            "\"sha256\":\"ab\",\"instrument\":\"kit\",\"note\":60.7,\"velocity\":0.5,\"hz\":12}",
            m));
  EXPECT_EQ(m.type, "orbel.setParam");
  EXPECT_EQ(m.path, "osc.type");
  EXPECT_TRUE(m.hasValue);
  EXPECT_EQ(m.value, 2.0);
  EXPECT_EQ(m.id, "p1");
  EXPECT_EQ(m.source, "user-folder");
  EXPECT_EQ(m.bankPath, "/b");
  EXPECT_EQ(m.url, "https://x/y.zip");
  EXPECT_EQ(m.sha256, "ab");
  EXPECT_EQ(m.instrument, "kit");
  EXPECT_EQ(m.note, 60.7);
  EXPECT_EQ(m.velocity, 0.5);
  EXPECT_EQ(m.hz, 12.0);
  EXPECT_EQ(m.diagOp, kBridgeDiagNone);
  EXPECT_FALSE(m.hasState);
  EXPECT_FALSE(m.hasCcMap);
  EXPECT_FALSE(m.hasPads);

  // Escapes are decoded; a repeated key keeps its last value.
  ASSERT_TRUE(parse("{\"type\":\"a\",\"path\":\"x\\\"y\\\\z\",\"type\":\"orbel.ready\"}", m));
  EXPECT_EQ(m.type, "orbel.ready");
  EXPECT_EQ(m.path, "x\"y\\z");
  EXPECT_FALSE(m.hasValue);  // every parse starts from an empty message
}

TEST(BridgeMessageParse, ReadsInlineDocuments) {
  BridgeMessage m;
  ASSERT_TRUE(
      parse("{\"type\":\"orbel.setState\",\"state\":{\"params\":{\"osc.type\":3,\"bogus\":1},"
            "\"ccMap\":[{\"cc\":74,\"path\":\"filter.cutoff\"}],"
            "\"sampler\":{\"v\":1,\"pads\":{\"36\":{\"gain\":0.5}}}}}",
            m));
  ASSERT_TRUE(m.hasState);
  EXPECT_TRUE(m.state.hasParam[0]);
  EXPECT_EQ(m.state.params[0], 3.0);
  EXPECT_FALSE(m.state.hasParam[1]);
  EXPECT_TRUE(m.state.hasCcMap);
  EXPECT_EQ(m.state.ccMap.count, 1u);
  ASSERT_TRUE(m.state.hasPadOverrides);
  EXPECT_EQ(m.state.padOverrides[0].pad, "36");

  ASSERT_TRUE(
      parse("{\"type\":\"orbel.setCcMap\",\"map\":{\"version\":1,\"bindings\":["
            "{\"cc\":1,\"path\":\"master.gain\",\"channel\":2}]}}",
            m));
  ASSERT_TRUE(m.hasCcMap);
  ASSERT_EQ(m.ccMap.count, 1u);
  EXPECT_EQ(m.ccMap.bindings[0].paramIndex, 10);
  EXPECT_EQ(m.ccMap.bindings[0].channel, 2);

  ASSERT_TRUE(parse("{\"map\":[]}", m));  // an empty list is a map: it clears
  EXPECT_TRUE(m.hasCcMap);
  EXPECT_EQ(m.ccMap.count, 0u);
  ASSERT_TRUE(parse("{\"map\":{}}", m));  // no bindings given: no map
  EXPECT_FALSE(m.hasCcMap);

  ASSERT_TRUE(parse("{\"pads\":{\"a\":{\"transpose\":2}}}", m));
  ASSERT_TRUE(m.hasPads);
  ASSERT_EQ(m.pads.size(), 1u);
  EXPECT_TRUE(m.pads[0].has(kPadTranspose));
}

TEST(BridgeMessageParse, ReadsDiagnosticRequests) {
  struct Case {
    const char* text;
    uint8_t diagOp;
    uint32_t feeds;
    double hz;
    const char* kind;
  };
  const Case cases[] = {
      {"{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"transport\",\"nope\"],\"hz\":120}",
       kBridgeDiagSubscribe, 2, 120, ""},
      {"{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"clock\", \"scope\" ,\"scope\"]}",
       kBridgeDiagSubscribe, 1024 | 32, 0, ""},
      {"{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"host\",\"transport\",\"midiIn\","
       "\"midiOut\",\"meters\","
       "\"scope\",\"lifecycle\",\"counters\",\"params\",\"presets\",\"clock\"]}",
       kBridgeDiagSubscribe, 2047, 0, ""},
      {"{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"Transport\"]}", kBridgeDiagSubscribe, 0, 0,
       ""},
      {"{\"type\":\"orbel.diag.subscribe\",\"feeds\":[\"host\"],\"feeds\":[\"clock\"]}",
       kBridgeDiagSubscribe, 1024, 0, ""},
      {"{\"type\":\"orbel.diag.unsubscribe\",\"feeds\":[ ]}", kBridgeDiagUnsubscribe, 0, 0, ""},
      {"{\"type\":\"orbel.diag.stimulus\",\"stimulus\":{\"x\":[{}],\"kind\":\"sine\"}}",
       kBridgeDiagStimulus, 0, 0, "sine"},
      {"{\"type\":\"orbel.diag.stimulus\",\"stimulus\":{}}", kBridgeDiagStimulus, 0, 0, ""},
      {"{\"type\":\"orbel.diag.subscribeX\"}", kBridgeDiagNone, 0, 0, ""},
  };
  for (const Case& c : cases) {
    BridgeMessage m;
    ASSERT_TRUE(parse(c.text, m)) << c.text;
    EXPECT_EQ(m.diagOp, c.diagOp) << c.text;
    EXPECT_EQ(m.feeds, c.feeds) << c.text;
    EXPECT_EQ(m.hz, c.hz) << c.text;
    EXPECT_EQ(m.stimulusKind, c.kind) << c.text;
  }
}

TEST(BridgeMessageParse, FailureLeavesTheMessageAsItWas) {
  BridgeMessage m;
  ASSERT_TRUE(parse("{\"type\":\"orbel.setParam\",\"path\":\"osc.type\",\"value\":1}", m));
  EXPECT_FALSE(parse("{\"type\":\"orbel.getState\",\"value\":\"x\"}", m));
  EXPECT_EQ(m.type, "orbel.setParam");
  EXPECT_TRUE(m.hasValue);
  EXPECT_FALSE(parseBridgeMessage(nullptr, 4, m));
  EXPECT_EQ(m.path, "osc.type");
}

TEST(BridgeMessageParse, BoundsNestingOfSkippedValues) {
  auto nested = [](int depth) {
    return "{\"x\":" + std::string(static_cast<size_t>(depth), '[') +
           std::string(static_cast<size_t>(depth), ']') + "}";
  };
  BridgeMessage m;
  EXPECT_TRUE(parse(nested(30), m));
  EXPECT_FALSE(parse(nested(100000), m));  // refused, not a stack overflow
}

TEST(BridgeMessageParse, LooksUpParameterPathsExactly) {
  EXPECT_EQ(bridgeParamIndex("osc.type"), 0);
  EXPECT_EQ(bridgeParamIndex("filter.envAmount"), 5);
  EXPECT_EQ(bridgeParamIndex("master.gain"), 10);
  EXPECT_EQ(bridgeParamIndex("osc.type "), -1);
  EXPECT_EQ(bridgeParamIndex("osc.typeX"), -1);
  EXPECT_EQ(bridgeParamIndex("Osc.type"), -1);
  EXPECT_EQ(bridgeParamIndex(std::string("osc.type\0", 9)), -1);
  EXPECT_EQ(bridgeParamIndex(""), -1);
}

}  // namespace
}  // namespace orbel
