// The controller's parameter objects: SDK info built from the table, and the
// SDK conversion slots answering with the table's conversions.
#include <gtest/gtest.h>

#include <string>

#include "plugin/controller.h"
#include "params/param_table.h"
#include "plugin/parameter.h"
#include "sdk/missing/utf16.h"

namespace orbel {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::string text(const String128 s) {
  return utf16ToUtf8(reinterpret_cast<const char16_t*>(s), 128);
}

TEST(OrbelParameter, InfoFollowsTheTable) {
  struct Row {
    uint32_t id;
    const char* title;
    const char* units;
    int32 stepCount;
  };
  const Row rows[] = {{0, "Wave", "", 3},     {1, "Octave", "", 0},   {2, "Detune", "ct", 0},
                      {3, "Cutoff", "Hz", 0}, {9, "Release", "s", 0}, {10, "Gain", "", 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id);
    OrbelParameter p(ORBEL_PARAMS[r.id]);
    const ParameterInfo& info = p.getInfo();
    EXPECT_EQ(info.id, r.id);
    EXPECT_EQ(text(info.title), r.title);
    EXPECT_EQ(text(info.shortTitle), r.title);
    EXPECT_EQ(text(info.units), r.units);
    EXPECT_EQ(info.stepCount, r.stepCount);
    EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);
    EXPECT_EQ(info.unitId, kRootUnitId);
    EXPECT_EQ(info.defaultNormalizedValue, ORBEL_PARAMS[r.id].defaultNormalized);
    EXPECT_EQ(p.getNormalized(), ORBEL_PARAMS[r.id].defaultNormalized);
  }
}

TEST(OrbelParameter, ConvertsThroughTheSdkSlots) {
  // Called through the base class, as the SDK's EditController does.
  OrbelParameter type(ORBEL_PARAMS[0]), octave(ORBEL_PARAMS[1]), cutoff(ORBEL_PARAMS[3]),
      attack(ORBEL_PARAMS[6]);
  const Parameter& t = type;
  const Parameter& o = octave;
  const Parameter& c = cutoff;
  EXPECT_EQ(t.toPlain(0.5), 2.0);
  EXPECT_EQ(o.toPlain(0.6), 0.0);
  EXPECT_EQ(o.toPlain(0.63), 1.0);
  EXPECT_EQ(c.toPlain(1.5), 20000.0);
  EXPECT_EQ(c.toNormalized(2000.0), ORBEL_PARAMS[3].defaultNormalized);

  struct ToText {
    const Parameter* p;
    double normalized;
    const char* expected;
  };
  const ToText texts[] = {{&type, 0.5, "square"},
                          {&type, 0.16, "sine"},
                          {&type, 0.17, "saw"},
                          {&cutoff, 0.5, "10010"},
                          {&attack, ORBEL_PARAMS[6].defaultNormalized, "0.01"}};
  for (const ToText& tt : texts) {
    String128 s{};
    tt.p->toString(tt.normalized, s);
    EXPECT_EQ(text(s), tt.expected);
  }

  struct FromText {
    const Parameter* p;
    const char* text;
    bool ok;
    double expected;
  };
  const FromText parses[] = {
      {&type, "triangle", true, 1.0}, {&type, "2", true, 2.0 / 3.0},
      {&type, "7", true, 1.0},        {&type, "Saw", false, -1.0},
      {&octave, "1", true, 0.75},     {&cutoff, "440 Hz", true, (440.0 - 20.0) / (20000.0 - 20.0)}};
  for (const FromText& f : parses) {
    SCOPED_TRACE(f.text);
    const std::u16string s = utf8ToUtf16(std::string(f.text));
    ParamValue v = -1.0;
    EXPECT_EQ(f.p->fromString(reinterpret_cast<const TChar*>(s.c_str()), v), f.ok);
    EXPECT_DOUBLE_EQ(v, f.expected);  // untouched on failure
  }
}

TEST(OrbelController, RegistersTheElevenParametersInOrder) {
  auto* controller = new OrbelController();
  ASSERT_EQ(controller->initialize(nullptr), kResultOk);
  ASSERT_EQ(controller->getParameterCount(), int32(ORBEL_PARAM_COUNT));
  for (int32 i = 0; i < int32(ORBEL_PARAM_COUNT); ++i) {
    ParameterInfo info{};
    ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
    EXPECT_EQ(info.id, uint32(i));
    EXPECT_EQ(text(info.title), ORBEL_PARAMS[i].name);
    EXPECT_EQ(controller->getParamNormalized(i), ORBEL_PARAMS[i].defaultNormalized);
  }
  String128 s{};
  ASSERT_EQ(controller->getParamStringByValue(3, ORBEL_PARAMS[3].defaultNormalized, s), kResultOk);
  EXPECT_EQ(text(s), "2000");
  EXPECT_EQ(controller->normalizedParamToPlain(1, 0.9), 2.0);
  controller->terminate();
  controller->release();
}

}  // namespace
}  // namespace orbel
