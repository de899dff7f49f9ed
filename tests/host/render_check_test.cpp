// The render checker must pass a faithful render and catch each way a host
// render can go wrong; its WAV reader must take what Ardour writes and refuse
// damaged files without reading past them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/host/render_check.h"
#include "tests/host/wav_file.h"

namespace orbel {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kRate = 48000;

// ---------------------------------------------------------------- WAV files

void put16(std::vector<std::uint8_t>& b, unsigned v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void putTag(std::vector<std::uint8_t>& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(tag[i]));
}

struct Encoding {
  const char* name;
  unsigned format;  // 1 PCM, 3 float
  unsigned bits;
  bool extensible;
  double tolerance;
};

// Stereo file with frames (0.5, -0.25), (-1, 0.75); a LIST chunk of odd size
// before "fmt " and a "fact" chunk before "data", as writers do.
std::vector<std::uint8_t> makeWav(const Encoding& e) {
  const float samples[] = {0.5f, -0.25f, -1.0f, 0.75f};
  std::vector<std::uint8_t> data;
  for (float s : samples) {
    if (e.format == 3) {
      std::uint32_t u;
      std::memcpy(&u, &s, 4);
      put32(data, u);
    } else {
      const double scale = std::ldexp(1.0, int(e.bits) - 1);
      const long long v = std::llround(std::max(-scale, std::min(scale - 1, s * scale)));
      for (unsigned i = 0; i < e.bits / 8; ++i)
        data.push_back(std::uint8_t(std::uint64_t(v) >> (8 * i)));
    }
  }
  std::vector<std::uint8_t> b;
  putTag(b, "RIFF");
  put32(b, 0);  // left 0, as streaming writers do
  putTag(b, "WAVE");
  putTag(b, "LIST");
  put32(b, 3);
  b.insert(b.end(), {'a', 'b', 'c', 0});  // odd body plus its pad byte
  putTag(b, "fmt ");
  put32(b, e.extensible ? 40 : 16);
  put16(b, e.extensible ? 0xFFFE : e.format);
  put16(b, 2);
  put32(b, kRate);
  put32(b, kRate * 2 * e.bits / 8);
  put16(b, 2 * e.bits / 8);
  put16(b, e.bits);
  if (e.extensible) {
    put16(b, 22);
    put16(b, e.bits);
    put32(b, 3);
    put16(b, e.format);
    b.insert(b.end(), 14, 0);
  }
  putTag(b, "fact");
  put32(b, 4);
  put32(b, 2);
  putTag(b, "data");
  put32(b, std::uint32_t(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(HostWav, ReadsTheEncodingsHostsWrite) {
  const Encoding encodings[] = {
      {"pcm16", 1, 16, false, 1.0 / 32768}, {"pcm24", 1, 24, false, 1.0 / 8388608},
      {"pcm32", 1, 32, false, 1e-9},        {"float", 3, 32, false, 0},
      {"extensible float", 3, 32, true, 0}, {"extensible pcm24", 1, 24, true, 1.0 / 8388608},
  };
  for (const Encoding& e : encodings) {
    SCOPED_TRACE(e.name);
    const auto file = makeWav(e);
    WavAudio audio;
    std::string error;
    ASSERT_TRUE(parseWav(file.data(), file.size(), audio, error)) << error;
    EXPECT_EQ(audio.sampleRate, kRate);
    ASSERT_EQ(audio.channels.size(), 2u);
    ASSERT_EQ(audio.frames(), 2u);
    EXPECT_NEAR(audio.channels[0][0], 0.5, e.tolerance);
    EXPECT_NEAR(audio.channels[1][0], -0.25, e.tolerance);
    EXPECT_NEAR(audio.channels[0][1], -1.0, e.tolerance);
    EXPECT_NEAR(audio.channels[1][1], 0.75, e.tolerance);
  }
}

TEST(HostWav, RefusesDamagedFilesWithoutReadingPastThem) {
  const auto good = makeWav({"float", 3, 32, false, 0});
  const std::size_t fmtAt = 12 + 8 + 4;  // after the LIST chunk and its pad
  struct Case {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
  } cases[] = {
      {"not RIFF", [](auto& b) { b[0] = 'X'; }},
      {"ADPCM", [&](auto& b) { b[fmtAt + 8] = 2; }},
      {"no channels", [&](auto& b) { b[fmtAt + 10] = 0; }},
      {"block alignment", [&](auto& b) { b[fmtAt + 20] = 3; }},
      {"data chunk larger than the file", [](auto& b) { b[b.size() - 16 - 4] = 0xFF; }},
      {"no data chunk", [](auto& b) { b.resize(b.size() - 16 - 8); }},
      {"data before fmt", [&](auto& b) { std::memcpy(&b[fmtAt], "junk", 4); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bad = good;
    c.damage(bad);
    WavAudio audio;
    std::string error;
    EXPECT_FALSE(parseWav(bad.data(), bad.size(), audio, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(audio.channels.empty());
  }
  // Every truncation of a good file is refused; each copy is exactly as long
  // as the prefix, so a read past it would trip the sanitizers.
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::vector<std::uint8_t> prefix(good.begin(), good.begin() + long(n));
    WavAudio audio;
    std::string error;
    EXPECT_FALSE(parseWav(prefix.data(), prefix.size(), audio, error)) << "prefix " << n;
  }
}

// ---------------------------------------------------------------- plans

const char* kPlan =
    "rate 48000\nlength 144000\nparam Wave 0\nparam Gain 0.5\n"
    "note 69 100 24000 48000\nnote 76 100 72000 96000\n";

TEST(HostPlan, ReadsTheSessionScriptsPlan) {
  RenderPlan plan;
  std::string error;
  ASSERT_TRUE(parseRenderPlan(kPlan, plan, error)) << error;
  EXPECT_EQ(plan.sampleRate, 48000);
  EXPECT_EQ(plan.length, 144000);
  EXPECT_EQ(plan.params.at("Gain"), 0.5);
  ASSERT_EQ(plan.notes.size(), 2u);
  EXPECT_EQ(plan.notes[1].key, 76);
  EXPECT_EQ(plan.notes[1].start, 72000);
  EXPECT_EQ(plan.notes[1].end, 96000);
}

TEST(HostPlan, RefusesPlansItCannotJudge) {
  const char* bad[] = {
      "length 10\nnote 69 100 0 5\n",                                   // no rate
      "rate 48000\nlength 10\n",                                        // no notes
      "rate 48000\nlength 100\nnote 69 100 0 200\n",                    // note past the end
      "rate 48000\nlength 100\nnote 69 100 0 50\nnote 70 100 40 60\n",  // overlap
      "rate 48000\nlength 100\nnote 69 0 0 50\n",                       // velocity 0 is a note off
      "rate 48000\nlength 100\nnote 69 100 0 50\ntempo 120\n",          // unknown entry
      "rate 48000 1\nlength 100\nnote 69 100 0 50\n",                   // trailing text
  };
  for (const char* text : bad) {
    RenderPlan plan;
    std::string error;
    EXPECT_FALSE(parseRenderPlan(text, plan, error)) << text;
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(plan.notes.empty());
  }
}

// ---------------------------------------------------------------- renders

// A render that sounds the way Mirel plays the plan: a sine per note with a
// 10 ms attack to the sustain level and a 0.3 s exponential release.
struct Voice {
  double semitones = 0;  // transposition
  bool saw = false;
  double gain = 0.5;
  double delay = 0;  // s, late start
  bool released = true;
};

WavAudio synthesize(const RenderPlan& plan, const Voice& v) {
  WavAudio out;
  out.sampleRate = plan.sampleRate;
  out.channels.assign(2, std::vector<float>(std::size_t(plan.length), 0.0f));
  for (std::size_t n = 0; n < plan.notes.size(); ++n) {
    const RenderNote& note = plan.notes[n];
    const double hz = 440.0 * std::pow(2.0, (note.key + v.semitones - 69) / 12.0);
    const double peak = expectedSustainPeak(note, v.gain);
    const long start = long(note.start + v.delay * plan.sampleRate);
    const long stop = n + 1 < plan.notes.size() ? long(plan.notes[n + 1].start) : long(plan.length);
    for (long i = start; i < stop; ++i) {
      const double t = double(i - start) / plan.sampleRate;
      double env = std::min(1.0, t / 0.01);
      if (v.released && i >= note.end)
        env *= std::exp(-double(i - note.end) / (0.3 / 4.6 * plan.sampleRate));
      const double phase = std::fmod(hz * t, 1.0);
      const double wave = v.saw ? 2 * phase - 1 : std::sin(2 * kPi * phase);
      out.channels[0][std::size_t(i)] = out.channels[1][std::size_t(i)] = float(peak * env * wave);
    }
  }
  return out;
}

// The render moved by `frames` as a whole (positive: later), as Ardour's
// exports of one session sometimes are.
WavAudio shifted(WavAudio w, long frames) {
  for (auto& c : w.channels) {
    std::vector<float> moved(c.size(), 0.0f);
    for (long i = 0; i < long(c.size()); ++i)
      if (i + frames >= 0 && i + frames < long(c.size()))
        moved[std::size_t(i + frames)] = c[std::size_t(i)];
    c = moved;
  }
  return w;
}

class HostRender : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(parseRenderPlan(kPlan, plan, error)) << error;
  }
  RenderPlan plan;
};

TEST_F(HostRender, FaithfulRenderPassesAndMeasuresRight) {
  const WavAudio good = synthesize(plan, Voice{});
  const auto problems = checkRender(plan, good);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_NEAR(estimatePitch(good.channels[0], 36000, 47000, kRate), 440.0, 0.05);
  EXPECT_LT(harmonicRatio(good.channels[0], 36000, 47000, kRate, 440.0), 0.001);
  EXPECT_TRUE(compareRenders(good, good).empty());
}

TEST_F(HostRender, CatchesEachWayARenderGoesWrong) {
  using VoiceChange = std::function<void(Voice&)>;
  using FileChange = std::function<void(WavAudio&)>;
  struct Case {
    const char* name;
    VoiceChange voice;
    FileChange file;
    const char* expect;  // part of the problem line
  } cases[] = {
      {"saw instead of sine", [](Voice& v) { v.saw = true; }, nullptr, "not a sine"},
      {"a semitone sharp", [](Voice& v) { v.semitones = 1; }, nullptr, "pitch"},
      {"gain left at default", [](Voice& v) { v.gain = 0.8; }, nullptr, "level"},
      {"notes 20 ms late", [](Voice& v) { v.delay = 0.02; }, nullptr, "starts late"},
      {"note off lost", [](Voice& v) { v.released = false; }, nullptr, "still sounds"},
      {"click before the first note", nullptr, [](WavAudio& w) { w.channels[1][100] = 0.01f; },
       "not silent"},
      {"right channel missing", nullptr,
       [](WavAudio& w) { std::fill(w.channels[1].begin(), w.channels[1].end(), 0.f); },
       "right channel"},
      {"mono", nullptr, [](WavAudio& w) { w.channels.pop_back(); }, "channels"},
      {"cut short", nullptr,
       [](WavAudio& w) {
         for (auto& c : w.channels) c.resize(100000);
       },
       "frames long"},
      {"other rate", nullptr, [](WavAudio& w) { w.sampleRate = 44100; }, "Hz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Voice voice;
    if (c.voice) c.voice(voice);
    WavAudio render = synthesize(plan, voice);
    if (c.file) c.file(render);
    const auto problems = checkRender(plan, render);
    ASSERT_FALSE(problems.empty());
    bool named = false;
    for (const auto& p : problems) named = named || p.find(c.expect) != std::string::npos;
    EXPECT_TRUE(named) << "first problem: " << problems.front();
  }
}

// Two exports of one session in Ardour once came out 16 samples apart: the
// second note's first samples then fell into the first note's release window,
// which read as a note held past its note-off.
TEST_F(HostRender, RenderMovedByAFewSamplesIsJudgedWhereItStarts) {
  const WavAudio good = synthesize(plan, Voice{});
  for (long frames : {-16L, 16L, -200L, 200L}) {
    SCOPED_TRACE(frames);
    const WavAudio moved = shifted(good, frames);
    const auto problems = checkRender(plan, moved);
    EXPECT_TRUE(problems.empty()) << problems.front();
    long lag = 0;
    const auto differences = compareRenders(good, moved, &lag);
    EXPECT_TRUE(differences.empty()) << differences.front();
    EXPECT_EQ(lag, frames);
  }
  // Beyond the onset tolerance (5 ms) it is a fault again, and a note held
  // past its note-off is caught in a moved render as well.
  EXPECT_FALSE(compareRenders(good, shifted(good, 480)).empty());
  Voice held;
  held.released = false;
  EXPECT_FALSE(checkRender(plan, shifted(synthesize(plan, held), -16)).empty());
}

TEST_F(HostRender, ReopenedRenderMustSoundTheSame) {
  const WavAudio first = synthesize(plan, Voice{});
  Voice quieter;
  quieter.gain = 0.45;
  EXPECT_FALSE(compareRenders(first, synthesize(plan, quieter)).empty());
  WavAudio shorter = first;
  for (auto& c : shorter.channels) c.pop_back();
  EXPECT_FALSE(compareRenders(first, shorter).empty());
  WavAudio dropout = first;
  std::fill(dropout.channels[0].begin() + 30000, dropout.channels[0].begin() + 31000, 0.0f);
  EXPECT_FALSE(compareRenders(first, dropout).empty());
}

}  // namespace
}  // namespace orbel
