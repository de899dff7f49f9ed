#include "params/param_table.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace orbel {
namespace {

const orbel_param_desc& P(uint32_t id) { return ORBEL_PARAMS[id]; }

// A toggle and odd lists: the instrument has none, but the conversions serve
// every descriptor the table could hold.
constexpr orbel_param_desc kToggle{
    99, "test.toggle", "Toggle", "Test", ORBEL_PARAM_KIND_TOGGLE, 0.0, 1.0, 0.0, 0.0, 0.0, "",
    0,  nullptr};
constexpr orbel_param_desc kBareList{98,  "test.list", "List", "Test", ORBEL_PARAM_KIND_LIST,
                                     0.0, 4.0,         0.0,    0.0,    0.0,
                                     "",  5,           nullptr};
constexpr const char* kOneOption[1] = {"only"};
constexpr orbel_param_desc kSingleList{
    97, "test.single", "Single", "Test", ORBEL_PARAM_KIND_LIST, 0.0, 0.0, 0.0, 0.0, 0.0, "",
    1,  kOneOption};
constexpr orbel_param_desc kEmptyRange{
    96,  "test.fixed", "Fixed", "Test", ORBEL_PARAM_KIND_CONTINUOUS, 5.0, 5.0, 0.0, 5.0,
    0.0, "",           0,       nullptr};

TEST(ParamTable, RowsMatchTheirIdsPathsAndDefaults) {
  const char* paths[ORBEL_PARAM_COUNT] = {"osc.type",       "osc.octave",       "osc.detune",
                                          "filter.cutoff",  "filter.resonance", "filter.envAmount",
                                          "ampEnv.attack",  "ampEnv.decay",     "ampEnv.sustain",
                                          "ampEnv.release", "master.gain"};
  const double defaults[ORBEL_PARAM_COUNT] = {1, 0, 0, 2000, 0.7, 0, 0.01, 0.2, 0.7, 0.3, 0.8};
  // The published default normalized values, to the digits given.
  const double normalizedDefaults[ORBEL_PARAM_COUNT] = {
      1.0 / 3.0, 0.5, 0.5, 0.0990990990990991, 0.0335195530726257, 0.5, 0.005, 0.1, 0.7, 0.06, 0.8};
  for (uint32_t i = 0; i < ORBEL_PARAM_COUNT; ++i) {
    SCOPED_TRACE(paths[i]);
    EXPECT_EQ(P(i).id, i);
    EXPECT_STREQ(P(i).path, paths[i]);
    EXPECT_EQ(P(i).defaultPlain, defaults[i]);
    EXPECT_NEAR(P(i).defaultNormalized, normalizedDefaults[i], 1e-15);
    // Normalizing the default must reproduce the stored default exactly.
    EXPECT_EQ(orbel_param_normalize(&P(i), P(i).defaultPlain), P(i).defaultNormalized);
    EXPECT_DOUBLE_EQ(orbel_param_to_plain(&P(i), P(i).defaultNormalized), P(i).defaultPlain);
    EXPECT_NE(P(i).units, nullptr);
    EXPECT_EQ(orbel_param_by_path(paths[i]), &P(i));
    EXPECT_EQ(orbel_param_by_id(i), &P(i));
  }
  EXPECT_EQ(P(0).defaultNormalized, 1.0 / 3.0);
  EXPECT_EQ(P(0).kind, ORBEL_PARAM_KIND_LIST);
  EXPECT_EQ(P(0).optionCount, 4);
  EXPECT_STREQ(P(0).options[3], "triangle");
  EXPECT_EQ(P(1).step, 1.0);
  EXPECT_STREQ(P(3).units, "Hz");
  EXPECT_EQ(orbel_param_by_id(11), nullptr);
  EXPECT_EQ(orbel_param_by_path("osc"), nullptr);
  EXPECT_EQ(orbel_param_by_path("osc.type.x"), nullptr);
  EXPECT_EQ(orbel_param_by_path(""), nullptr);
}

struct PlainCase {
  const orbel_param_desc* desc;
  double normalized;
  double plain;
  const char* text;
};

TEST(ParamTable, NormalizedToPlainAndText) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const PlainCase cases[] = {
      {&P(0), 0.5, 2, "square"},  // floor(3 * 0.5 + 0.5) = 2
      {&P(0), 0.16, 0, "sine"},
      {&P(0), 0.17, 1, "saw"},
      {&P(0), 1.0, 3, "triangle"},
      {&P(0), 7.0, 3, "triangle"},
      {&P(0), -3.0, 0, "sine"},
      {&P(0), nan, 0, "sine"},
      {&P(1), 0.6, 0, "0"},  // -2 + 2.4 = 0.4, stepped to 0
      {&P(1), 0.63, 1, "1"},
      {&P(1), 0.0, -2, "-2"},
      {&P(1), 0.35, -1, "-1"},
      {&P(2), 0.0, -100, "-100"},
      {&P(2), 0.5, 0, "0"},
      {&P(3), 1.5, 20000, "20000"},
      {&P(3), 0.5, 10010, "10010"},
      {&P(3), -0.5, 20, "20"},
      {&P(3), nan, 20, "20"},
      {&P(6), P(6).defaultNormalized, 0.01, "0.01"},
      {&P(10), 0.8, 0.8, "0.8"},
      {&kToggle, 0.5, 1, "on"},
      {&kToggle, 0.49, 0, "off"},
      {&kBareList, 0.5, 2, "2"},  // a list without options prints its index
      {&kSingleList, 0.9, 0, "only"},
      {&kEmptyRange, 0.7, 5, "5"},
  };
  for (const PlainCase& c : cases) {
    SCOPED_TRACE(std::string(c.desc->path) + " @ " + std::to_string(c.normalized));
    EXPECT_DOUBLE_EQ(orbel_param_to_plain(c.desc, c.normalized), c.plain);
    EXPECT_EQ(orbel_param_to_text(c.desc, c.normalized), c.text);
  }
}

struct NormalizeCase {
  const orbel_param_desc* desc;
  double plain;
  double normalized;
};

TEST(ParamTable, PlainToNormalizedClamps) {
  const NormalizeCase cases[] = {
      {&P(0), 2, 2.0 / 3.0},
      {&P(0), 9, 1.0},
      {&P(0), -1, 0.0},
      {&P(1), 1, 0.75},
      {&P(3), 25000, 1.0},
      {&P(3), 0, 0.0},
      {&P(3), 440, 420.0 / 19980.0},
      {&kToggle, 0.0, 0.0},
      {&kToggle, 0.3, 1.0},
      {&kSingleList, 3, 0.0},
      {&kEmptyRange, 7, 0.0},
      {&P(3), std::numeric_limits<double>::quiet_NaN(), 0.0},
      {&P(3), std::numeric_limits<double>::infinity(), 1.0},
  };
  for (const NormalizeCase& c : cases) {
    SCOPED_TRACE(std::string(c.desc->path) + " plain " + std::to_string(c.plain));
    EXPECT_DOUBLE_EQ(orbel_param_normalize(c.desc, c.plain), c.normalized);
  }
  EXPECT_EQ(orbel_param_normalize(nullptr, 1.0), 0.0);
}

struct TextCase {
  const orbel_param_desc* desc;
  const char* text;
  bool ok;
  double normalized;  // when ok
};

TEST(ParamTable, TextToNormalized) {
  const TextCase cases[] = {
      {&P(0), "triangle", true, 1.0},
      {&P(0), "saw", true, 1.0 / 3.0},
      {&P(0), "2", true, 2.0 / 3.0},
      {&P(0), "7", true, 1.0},
      {&P(0), "Saw", false, 0},   // exact match only, and not a number
      {&P(0), "saw ", false, 0},  // same length required
      {&P(1), "1", true, 0.75},
      {&P(3), "440 Hz", true, (440.0 - 20.0) / (20000.0 - 20.0)},
      {&P(3), "  1e3", true, (1000.0 - 20.0) / (20000.0 - 20.0)},
      {&P(3), "-inf", true, 0.0},
      {&P(3), "nan", false, 0},  // never a parameter value
      {&P(3), "", false, 0},
      {&P(3), "Hz", false, 0},
      {&kToggle, "on", true, 1.0},
      {&kToggle, "true", true, 1.0},
      {&kToggle, "off", true, 0.0},
      {&kToggle, "false", true, 0.0},
      {&kToggle, "0.3", true, 1.0},
      {&kToggle, "0", true, 0.0},
      {&kToggle, "ON", false, 0},
      {&kToggle, "maybe", false, 0},
      {&kSingleList, "only", true, 0.0},
      {&kSingleList, "4", true, 0.0},
      {&kBareList, "3", true, 0.75},
      {&kEmptyRange, "9", true, 0.0},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::string(c.desc->path) + " text '" + c.text + "'");
    double out = -42.0;
    EXPECT_EQ(orbel_param_from_text(c.desc, c.text, &out), c.ok);
    EXPECT_DOUBLE_EQ(out, c.ok ? c.normalized : -42.0);  // untouched on failure
  }
}

// Display text must read back to exactly the value it shows, for every
// continuous parameter across the whole range.
TEST(ParamTable, DisplayTextReadsBackExactly) {
  for (const orbel_param_desc& desc : ORBEL_PARAMS) {
    if (desc.kind != ORBEL_PARAM_KIND_CONTINUOUS) continue;
    for (int i = 0; i <= 1000; ++i) {
      const double x = i / 1000.0 + (i % 7) * 1e-7;
      const std::string text = orbel_param_to_text(&desc, x);
      double back = -1.0;
      ASSERT_TRUE(orbel_param_from_text(&desc, text.c_str(), &back)) << desc.path << " " << text;
      ASSERT_EQ(back, orbel_param_normalize(&desc, orbel_param_to_plain(&desc, x)))
          << desc.path << " " << text;
      ASSERT_EQ(std::strtod(text.c_str(), nullptr), orbel_param_to_plain(&desc, x)) << text;
    }
  }
}

TEST(ParamTable, ShortestDecimalText) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {2000, "2000"},
      {0.01, "0.01"},
      {-100, "-100"},
      {20000, "20000"},  // tie: fixed
      {1e5, "1e+05"},
      {1e-7, "1e-07"},
      {0.1 + 0.2, "0.30000000000000004"},
      {-0.0, "0"},
      {1.0 / 3.0, "0.3333333333333333"},
      {1e300, "1e+300"},
  };
  for (const Case& c : cases) {
    char buf[64];
    const std::size_t len = orbel_format_shortest(c.value, buf, sizeof buf);
    EXPECT_STREQ(buf, c.text);
    EXPECT_EQ(len, std::strlen(c.text));
  }
  char small[4];
  EXPECT_EQ(orbel_format_shortest(12345.0, small, sizeof small), 3u);
  EXPECT_STREQ(small, "123");
}

TEST(ParamTable, Utf16Forms) {
  char16_t out[128];
  orbel_param_to_utf16(&P(0), 1.0, out, 128);
  EXPECT_EQ(std::u16string(out), u"triangle");
  char16_t tiny[4];
  orbel_param_to_utf16(&P(0), 1.0, tiny, 4);
  EXPECT_EQ(std::u16string(tiny), u"tri");

  double v = -1;
  EXPECT_TRUE(orbel_param_from_utf16(&P(0), u"square", &v));
  EXPECT_DOUBLE_EQ(v, 2.0 / 3.0);
  // A non-ASCII character never matches an option or forms part of a number.
  v = -1;
  EXPECT_FALSE(orbel_param_from_utf16(&P(0), u"s\u00e4w", &v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(orbel_param_from_utf16(&P(3), u"440\u00a0Hz", &v));
  EXPECT_DOUBLE_EQ(v, 420.0 / 19980.0);
  // Text beyond 255 characters is cut, not read past.
  std::u16string longText(1000, u'9');
  EXPECT_TRUE(orbel_param_from_utf16(&P(3), longText.c_str(), &v));
  EXPECT_EQ(v, 1.0);
}

// A host running with a comma-decimal locale must not change how values parse.
TEST(ParamTable, NumbersIgnoreTheProcessLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
  const char* chosen = nullptr;
  for (const char* name : names) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no comma-decimal locale installed";
  double v = -1;
  const bool ok = orbel_param_from_text(&P(10), "0.25", &v);
  const std::string text = orbel_param_to_text(&P(10), 0.25);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_TRUE(ok);
  EXPECT_DOUBLE_EQ(v, 0.25);
  EXPECT_EQ(text, "0.25");
}

}  // namespace
}  // namespace orbel
