// WAV decoding: every accepted format to its mono 16-bit-step frames, and
// every refusal with its message.
#include "banks/wav_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/banks/wav_bytes.h"

namespace orbel {
namespace {

using namespace orbel::test;

constexpr float q(int steps) { return float(steps) / 32768.0f; }

struct Decoded {
  const char* name;
  Bytes file;
  std::vector<float> frames;
  double rate;
};

TEST(WavDecoder, AcceptedFormatsDecodeToMonoFrames) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Decoded cases[] = {
      {"mono 16-bit",
       simpleWav(1, 1, 44100, 16, pcm16({0, 16384, -32768, 32767, 1})),
       {0, q(16384), q(-32767), q(32766), q(1)},
       44100},
      {"stereo 16-bit averages",
       simpleWav(1, 2, 48000, 16, pcm16({32767, 32767, 1000, -1000, -32768, -32768})),
       {q(32766), 0, q(-32767)},
       48000},
      {"mono 24-bit",
       simpleWav(1, 1, 96000, 24, pcm24({0x7FFFFF, -0x800000, 0x100, -0x100})),
       {q(32767), q(-32767), q(1), q(-1)},
       96000},
      {"stereo 24-bit", simpleWav(1, 2, 22050, 24, pcm24({0x400000, 0})), {q(8192)}, 22050},
      {"mono float clamps, nan is silence",
       simpleWav(3, 1, 48000, 32, f32({2.0f, -2.0f, 0.25f, nan, -1.0f})),
       {q(32767), -1.0f, q(8192), 0, q(-32767)},
       48000},
      {"stereo float",
       simpleWav(3, 2, 48000, 32, f32({0.5f, -0.5f, 1.0f, 1.0f})),
       {0, q(32767)},
       48000},
      {"extensible float",
       riff({chunk("fmt ", fmtBody(0, 1, 48000, 32, 3)), chunk("data", f32({0.5f}))}),
       {q(16384)},
       48000},
      {"extensible 16-bit stereo",
       riff({chunk("fmt ", fmtBody(0, 2, 44100, 16, 1)), chunk("data", pcm16({2, 4}))}),
       {q(3)},
       44100},
      {"sample rate 0 reads as 48000", simpleWav(1, 1, 0, 16, pcm16({5})), {q(5)}, 48000},
      {"LIST before fmt, odd chunk padded",
       riff({chunk("LIST", Bytes(5, 'x')), chunk("fmt ", fmtBody(1, 1, 8000, 16)),
             chunk("data", pcm16({7, 8}))}),
       {q(7), q(8)},
       8000},
      {"data before fmt",
       riff({chunk("data", pcm16({3})), chunk("fmt ", fmtBody(1, 1, 8000, 16))}),
       {q(3)},
       8000},
      {"later fmt and data override",
       riff({chunk("fmt ", fmtBody(3, 2, 1, 32)), chunk("data", pcm16({1, 1})),
             chunk("fmt ", fmtBody(1, 1, 32000, 16)), chunk("data", pcm16({9}))}),
       {q(9)},
       32000},
      {"data size past the end keeps what is there",
       riff({chunk("fmt ", fmtBody(1, 1, 8000, 16)), chunk("data", pcm16({1, 2, 3}), 1000)}),
       {q(1), q(2), q(3)},
       8000},
      {"trailing partial frame ignored",
       simpleWav(1, 2, 8000, 16, {0x10, 0, 0x10, 0, 0x55}),
       {q(16)},
       8000},
      {"short fmt chunk ignored",
       riff({chunk("fmt ", fmtBody(1, 1, 8000, 16)), chunk("fmt ", Bytes(12, 0)),
             chunk("data", pcm16({4}))}),
       {q(4)},
       8000},
  };
  for (const Decoded& c : cases) {
    SCOPED_TRACE(c.name);
    WavAudio audio;
    std::string error;
    ASSERT_TRUE(decodeWav(c.file, audio, error)) << error;
    EXPECT_EQ(audio.samples, c.frames);
    EXPECT_EQ(audio.sampleRate, c.rate);
  }
}

struct Refused {
  const char* name;
  Bytes file;
  const char* error;
};

TEST(WavDecoder, RefusalsLeaveTheOutputUntouched) {
  Bytes notWave = simpleWav(1, 1, 8000, 16, pcm16({1, 2}));
  notWave[8] = 'A';
  Bytes rifx = simpleWav(1, 1, 8000, 16, pcm16({1, 2}));
  rifx[3] = 'X';
  const Refused cases[] = {
      {"empty", {}, "not a RIFF/WAVE file"},
      {"43 bytes",
       [] {
         Bytes b = simpleWav(1, 1, 8000, 16, {});
         b.pop_back();
         return b;
       }(),
       "not a RIFF/WAVE file"},
      {"RIFX", rifx, "not a RIFF/WAVE file"},
      {"not WAVE", notWave, "not a RIFF/WAVE file"},
      {"44 bytes with empty data", simpleWav(1, 1, 8000, 16, {}), "no data chunk"},
      {"no data chunk", riff({chunk("fmt ", fmtBody(1, 1, 8000, 16)), chunk("LIST", Bytes(8, 0))}),
       "no data chunk"},
      {"data overridden by an empty one",
       riff({chunk("fmt ", fmtBody(1, 1, 8000, 16)), chunk("data", pcm16({1})), chunk("data", {})}),
       "no data chunk"},
      {"three channels", simpleWav(1, 3, 8000, 16, pcm16({1, 2, 3})),
       "unsupported channel count 3"},
      {"no fmt chunk", riff({chunk("LIST", Bytes(16, 0)), chunk("data", pcm16({1, 2}))}),
       "unsupported channel count 0"},
      {"8-bit PCM", simpleWav(1, 1, 8000, 8, {1, 2, 3, 4}), "unsupported WAV format tag 1 / 8-bit"},
      {"32-bit integer PCM", simpleWav(1, 1, 8000, 32, pcm16({1, 2})),
       "unsupported WAV format tag 1 / 32-bit"},
      {"64-bit float", simpleWav(3, 1, 8000, 64, Bytes(8, 0)),
       "unsupported WAV format tag 3 / 64-bit"},
      {"16-bit float", simpleWav(3, 1, 8000, 16, pcm16({1})),
       "unsupported WAV format tag 3 / 16-bit"},
      {"extensible with a short body",
       riff({chunk("fmt ",
                   [] {
                     Bytes b = fmtBody(1, 1, 8000, 16);
                     b[0] = 0xFE;
                     b[1] = 0xFF;
                     return b;
                   }()),
             chunk("data", pcm16({1}))}),
       "unsupported WAV format tag 65534 / 16-bit"},
      {"4-bit ADPCM", simpleWav(2, 1, 8000, 4, {1, 2}), "empty or unreadable data chunk"},
      {"data shorter than one frame", simpleWav(1, 2, 8000, 24, {1, 2, 3, 4, 5}),
       "empty or unreadable data chunk"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.name);
    WavAudio audio;
    audio.samples = {0.125f};
    audio.sampleRate = 1234;
    std::string error;
    EXPECT_FALSE(decodeWav(c.file, audio, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(audio.samples, std::vector<float>{0.125f});
    EXPECT_EQ(audio.sampleRate, 1234);
  }
}

// Chunk sizes near 2^32 must not wrap the walk into reading out of bounds
// (the sanitizer tree runs this too).
TEST(WavDecoder, HugeChunkSizesStopTheWalk) {
  for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFF7u, 0x80000000u}) {
    Bytes file = riff({chunk("fmt ", fmtBody(1, 1, 8000, 16)), chunk("JUNK", Bytes(8, 0), size),
                       chunk("data", pcm16({1}))});
    WavAudio audio;
    std::string error;
    EXPECT_FALSE(decodeWav(file, audio, error));
    EXPECT_EQ(error, "no data chunk");
  }
}

}  // namespace
}  // namespace orbel
