// The eleven entry points: instance tables and handles, the status codes, the
// event queue and its frame groups, views, and what a musician would hear
// first (pitch, silence). Traps: the record and the abort.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "kernel/kernel_abi.h"
#include "kernel/kernel_runtime.h"
#include "kernel/kernel_trap.h"

namespace orbel {
namespace {

#define K(op) scpr_music_orbel_mirel_9ff6eb2b48a9_##op

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class KernelEntryTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(K(runtime_init)(), 0.0);
    handle = static_cast<uint32_t>(K(create)(128, 0, 1, 48000));
    ASSERT_EQ(handle, 1u);
  }

  double param(uint32_t index, double value, uint32_t frame = 0) {
    return K(push_event)(handle, ORBEL_KERNEL_EVENT_PARAMETER, frame, index, value);
  }
  double noteOn(uint32_t note, double velocity, uint32_t frame = 0) {
    return K(push_event)(handle, ORBEL_KERNEL_EVENT_NOTE_ON, frame, note, velocity);
  }

  // Renders whole 128-frame blocks and returns the samples.
  std::vector<float> render(size_t frames, uint32_t h = 0) {
    if (h == 0) h = handle;
    float* view = nullptr;
    uint64_t length = 0;
    K(output_view)(h, &view, &length);
    std::vector<float> out;
    while (out.size() < frames) {
      EXPECT_EQ(K(process)(h, 128), 0.0);
      out.insert(out.end(), view, view + 128);
    }
    out.resize(frames);
    return out;
  }

  // A plain sine through a wide-open filter, full sustain, immediate attack.
  void pureSine() {
    ASSERT_EQ(param(0, 0), 0.0);
    ASSERT_EQ(param(3, 20000), 0.0);
    ASSERT_EQ(param(6, 0), 0.0);
    ASSERT_EQ(param(8, 1), 0.0);
  }

  uint32_t handle = 0;
};

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Frequency from the rising zero crossings, interpolated between samples.
double measuredFrequency(const std::vector<float>& s, size_t from, double rate) {
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = from + 1; i < s.size(); ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) {
      const double at = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
      if (first < 0) first = at;
      last = at;
      ++crossings;
    }
  }
  return crossings < 2 ? 0 : (crossings - 1) * rate / (last - first);
}

TEST_F(KernelEntryTest, CreateAcceptsOnlyOneMonoOutputAt128Frames) {
  struct Case {
    uint32_t maxFrames, inputs, outputs;
    double rate;
  };
  const Case refused[] = {
      {64, 0, 1, 48000},  {0, 0, 1, 48000},   {129, 0, 1, 48000}, {128, 1, 1, 48000},
      {128, 0, 2, 48000}, {128, 0, 0, 48000}, {128, 0, 1, 0},     {128, 0, 1, -44100},
      {128, 0, 1, kNaN},  {128, 0, 1, kInf},  {128, 0, 1, 1e300},  // infinite at single precision
  };
  for (const Case& c : refused) {
    EXPECT_EQ(K(create)(c.maxFrames, c.inputs, c.outputs, c.rate), 0.0)
        << c.maxFrames << " " << c.inputs << " " << c.outputs << " " << c.rate;
  }
  // The 64-frame and the 1e300 requests got as far as taking slot 1, and
  // each used up one of its generations: the next handle there is generation 3.
  EXPECT_EQ(K(create)(128, 0, 1, 44100), 1.0 + 32 * 2 + 1);
}

TEST_F(KernelEntryTest, HandlesCarryTheirSlotsGeneration) {
  for (uint32_t n = 2; n <= 32; ++n) ASSERT_EQ(K(create)(128, 0, 1, 48000), n);
  EXPECT_EQ(K(create)(128, 0, 1, 48000), 0.0) << "33rd live instance";

  ASSERT_EQ(K(destroy)(1), 0.0);
  EXPECT_EQ(K(create)(128, 0, 1, 48000), 33.0) << "slot 0, generation 2";
  EXPECT_EQ(K(push_event)(1, ORBEL_KERNEL_EVENT_NOTE_ON, 0, 60, 1), 1.0);
  EXPECT_EQ(K(process)(1, 128), 1.0);
  EXPECT_EQ(K(reset)(1), 1.0);
  EXPECT_EQ(K(destroy)(1), 1.0);
  float* view = nullptr;
  uint64_t length = 99;
  K(output_view)(1, &view, &length);
  EXPECT_EQ(length, 0u);
  EXPECT_NE(view, nullptr);
  EXPECT_EQ(K(destroy)(33), 0.0);
  EXPECT_EQ(K(destroy)(33), 1.0);
  EXPECT_EQ(K(process)(0, 1), 1.0);
  EXPECT_EQ(K(process)(0xFFFFFFFFu, 1), 1.0);
}

TEST_F(KernelEntryTest, GenerationsWrapBeforeTheHandleOverflows) {
  KernelTables* tables = kernelTables();
  ASSERT_NE(tables, nullptr);
  tables->active[31] = 0;
  tables->generations[31] = KERNEL_MAX_GENERATION - 1;
  for (uint32_t n = 2; n <= 31; ++n) ASSERT_EQ(K(create)(128, 0, 1, 48000), n);
  const double last = K(create)(128, 0, 1, 48000);
  EXPECT_EQ(last, 31.0 + 32.0 * (KERNEL_MAX_GENERATION - 1) + 1);
  EXPECT_LE(last, 4294967295.0);
  ASSERT_EQ(K(process)(static_cast<uint32_t>(last), 128), 0.0);
  ASSERT_EQ(K(destroy)(static_cast<uint32_t>(last)), 0.0);
  EXPECT_EQ(K(create)(128, 0, 1, 48000), 32.0) << "generation 1 again";
}

TEST_F(KernelEntryTest, PushEventStatusCodes) {
  struct Case {
    uint32_t kind, frame, a;
    double value;
    double want;
  };
  const Case cases[] = {
      {ORBEL_KERNEL_EVENT_PARAMETER, 0, 10, 0.5, 0},
      {ORBEL_KERNEL_EVENT_PARAMETER, 0, 11, 0.5, 2},
      {ORBEL_KERNEL_EVENT_PARAMETER, 0, 3, kNaN, 3},
      {ORBEL_KERNEL_EVENT_PARAMETER, 0, 3, kInf, 3},
      {ORBEL_KERNEL_EVENT_PARAMETER, 0, 3, 1e300, 3},            // not finite once single precision
      {ORBEL_KERNEL_EVENT_PARAMETER, 0, 3, 0x1.ffffffp127, 3},   // rounds up to infinity
      {ORBEL_KERNEL_EVENT_PARAMETER, 0, 3, 0x1.fffffefp127, 0},  // rounds down to the largest float
      {ORBEL_KERNEL_EVENT_PARAMETER, 128, 3, 1000, 1},
      {ORBEL_KERNEL_EVENT_NOTE_ON, 1, 60, 1, 0},
      {ORBEL_KERNEL_EVENT_NOTE_ON, 1, 60, 0, 0},
      {ORBEL_KERNEL_EVENT_NOTE_ON, 1, 60, 2.5, 0},
      {ORBEL_KERNEL_EVENT_NOTE_ON, 1, 60, 1.5, 2},
      {ORBEL_KERNEL_EVENT_NOTE_ON, 1, 60, -0.1, 2},
      {ORBEL_KERNEL_EVENT_NOTE_ON, 1, 60, 3.5, 2},
      {ORBEL_KERNEL_EVENT_NOTE_ON, 1, 60, kNaN, 2},
      {ORBEL_KERNEL_EVENT_NOTE_ON, 1, 128, 1, 2},
      {ORBEL_KERNEL_EVENT_NOTE_OFF, 2, 60, 0, 0},
      {ORBEL_KERNEL_EVENT_NOTE_OFF, 2, 60, 0.5, 2},
      {ORBEL_KERNEL_EVENT_NOTE_OFF, 2, 128, 0, 2},
      {ORBEL_KERNEL_EVENT_CONTROL_CHANGE, 2, 127, 1, 0},
      {ORBEL_KERNEL_EVENT_CONTROL_CHANGE, 2, 128, 0.5, 2},
      {ORBEL_KERNEL_EVENT_CONTROL_CHANGE, 2, 1, 1.5, 2},
      {0, 2, 0, 0, 2},
      {5, 2, 0, 0, 2},
      {ORBEL_KERNEL_EVENT_PARAMETER, 1, 0, 1, 4},  // earlier than the last queued frame
  };
  for (const Case& c : cases) {
    EXPECT_EQ(K(push_event)(handle, c.kind, c.frame, c.a, c.value), c.want)
        << "kind " << c.kind << " frame " << c.frame << " a " << c.a << " value " << c.value;
  }
  EXPECT_EQ(K(push_event)(0, ORBEL_KERNEL_EVENT_PARAMETER, 0, 0, 1), 1.0);
}

TEST_F(KernelEntryTest, QueueTakes64EventsInFrameOrderUntilProcessed) {
  EXPECT_EQ(param(10, 0.5, 20), 0.0);
  EXPECT_EQ(param(10, 0.5, 20), 0.0) << "equal frames are fine";
  EXPECT_EQ(param(10, 0.5, 10), 4.0);
  for (int n = 2; n < 64; ++n) ASSERT_EQ(param(10, 0.5, 20 + n / 8), 0.0) << n;
  EXPECT_EQ(param(10, 0.5, 127), 3.0) << "65th event";
  ASSERT_EQ(K(process)(handle, 128), 0.0);
  EXPECT_EQ(param(10, 0.5, 0), 0.0) << "the queue is empty again";
  EXPECT_EQ(K(process)(handle, 129), 1.0);
  EXPECT_EQ(K(process)(handle, 0), 0.0);
}

TEST_F(KernelEntryTest, ParametersOfAFrameReachTheNoteAtThatFrame) {
  // The note is queued before the octave change at the same frame, yet it
  // starts at the new octave; pushing the change one frame later differs.
  auto phrase = [&](bool noteFirst, uint32_t paramFrame) {
    EXPECT_EQ(K(reset)(handle), 0.0);
    if (noteFirst) {
      EXPECT_EQ(noteOn(60, 1, 5), 0.0);
    }
    EXPECT_EQ(param(1, 1, paramFrame), 0.0);
    if (!noteFirst) {
      EXPECT_EQ(noteOn(60, 1, 5), 0.0);
    }
    return render(1024);
  };
  const auto noteThenParam = phrase(true, 5);
  const auto paramThenNote = phrase(false, 5);
  const auto paramBefore = phrase(false, 2);
  EXPECT_TRUE(sameBits(noteThenParam, paramThenNote));
  EXPECT_TRUE(sameBits(noteThenParam, paramBefore));
  EXPECT_EQ(K(reset)(handle), 0.0);
  ASSERT_EQ(noteOn(60, 1, 5), 0.0);
  ASSERT_EQ(param(1, 1, 6), 0.0);
  EXPECT_FALSE(sameBits(noteThenParam, render(1024)));
}

TEST_F(KernelEntryTest, EventsBeyondTheBlockAreDropped) {
  ASSERT_EQ(noteOn(60, 1, 100), 0.0);
  float* view = nullptr;
  uint64_t length = 0;
  K(output_view)(handle, &view, &length);
  std::fill(view, view + 128, 7.0f);
  ASSERT_EQ(K(process)(handle, 64), 0.0);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(view[i], 0.0f) << i;
  for (int i = 64; i < 128; ++i) ASSERT_EQ(view[i], 7.0f) << "not rendered " << i;
  for (float s : render(4096)) ASSERT_EQ(s, 0.0f) << "the dropped note never sounds";
}

TEST_F(KernelEntryTest, ViewsAndVersion) {
  float* data = nullptr;
  uint64_t length = 99;
  K(input_view)(0, &data, &length);
  EXPECT_NE(data, nullptr);
  EXPECT_EQ(length, 0u);
  K(output_view)(0, &data, &length);
  EXPECT_NE(data, nullptr);
  EXPECT_EQ(length, 0u);

  float* first = nullptr;
  K(output_view)(handle, &first, &length);
  EXPECT_EQ(length, 128u);
  const auto second = static_cast<uint32_t>(K(create)(128, 0, 1, 48000));
  K(output_view)(second, &data, &length);
  EXPECT_EQ(data, first + 128) << "slot 1 follows slot 0 in the shared table";
  K(output_view)(handle, nullptr, nullptr);  // tolerated

  EXPECT_EQ(K(abi_version)(), 2.0);
  EXPECT_EQ(K(collect)(), 0.0);
  K(output_view)(handle, &data, &length);
  EXPECT_EQ(data, first) << "views stay valid across collect";
  ASSERT_EQ(K(runtime_init)(), 0.0);
  EXPECT_EQ(K(process)(handle, 128), 1.0) << "a second runtime_init forgets every instance";
  EXPECT_EQ(K(create)(128, 0, 1, 48000), 1.0);
  K(output_view)(1, &data, &length);
  EXPECT_EQ(data, first) << "and keeps the output table where it was";
}

TEST_F(KernelEntryTest, ResetRestoresDefaultsEmptiesTheQueueAndOutput) {
  ASSERT_EQ(param(10, 0, 0), 0.0);  // gain 0
  ASSERT_EQ(noteOn(60, 1, 0), 0.0);
  for (float s : render(512)) ASSERT_EQ(s, 0.0f);
  ASSERT_EQ(noteOn(62, 1, 3), 0.0);  // still queued at the reset
  ASSERT_EQ(K(reset)(handle), 0.0);
  float* view = nullptr;
  uint64_t length = 0;
  K(output_view)(handle, &view, &length);
  for (int i = 0; i < 128; ++i) ASSERT_EQ(view[i], 0.0f);
  for (float s : render(512)) ASSERT_EQ(s, 0.0f) << "the queued note went with the reset";
  ASSERT_EQ(noteOn(60, 1, 0), 0.0);
  float loudest = 0;
  for (float s : render(4800)) loudest = std::max(loudest, std::fabs(s));
  EXPECT_GT(loudest, 0.1f) << "gain is back at its default";
}

// The voice knows no controllers: the block reports the refusal, but the
// other events of the block still play and the next block is fine again.
TEST_F(KernelEntryTest, ControlChangeIsReportedOnceWithoutBlockingLaterBlocks) {
  ASSERT_EQ(K(push_event)(handle, ORBEL_KERNEL_EVENT_CONTROL_CHANGE, 0, 1, 0.5), 0.0);
  ASSERT_EQ(noteOn(69, 1, 0), 0.0);
  EXPECT_EQ(K(process)(handle, 128), 2.0);
  float* view = nullptr;
  uint64_t length = 0;
  K(output_view)(handle, &view, &length);
  float loudest = 0;
  for (float s : render(4800)) loudest = std::max(loudest, std::fabs(s));
  EXPECT_GT(loudest, 0.1f);
}

TEST_F(KernelEntryTest, FreshInstanceIsSilentOnEveryWave) {
  for (uint32_t wave = 0; wave < 4; ++wave) {
    ASSERT_EQ(K(reset)(handle), 0.0);
    ASSERT_EQ(param(0, wave), 0.0);
    ASSERT_EQ(param(5, 8), 0.0);
    ASSERT_EQ(param(4, 18), 0.0);
    for (float s : render(48000)) ASSERT_EQ(s, 0.0f) << "wave " << wave;
  }
}

TEST_F(KernelEntryTest, Note69IsConcertA) {
  pureSine();
  ASSERT_EQ(noteOn(69, 1), 0.0);
  EXPECT_NEAR(measuredFrequency(render(48000), 2400, 48000), 440.0, 0.01);

  ASSERT_EQ(K(reset)(handle), 0.0);
  pureSine();
  ASSERT_EQ(param(1, 1), 0.0);
  ASSERT_EQ(noteOn(69, 1), 0.0);
  EXPECT_NEAR(measuredFrequency(render(48000), 2400, 48000), 880.0, 0.02);

  // The same at 44.1 kHz.
  const auto other = static_cast<uint32_t>(K(create)(128, 0, 1, 44100));
  ASSERT_EQ(K(push_event)(other, 1, 0, 0, 0), 0.0);
  ASSERT_EQ(K(push_event)(other, 1, 0, 3, 20000), 0.0);
  ASSERT_EQ(K(push_event)(other, 2, 0, 69, 1), 0.0);
  EXPECT_NEAR(measuredFrequency(render(44100, other), 2400, 44100), 440.0, 0.01);
}

TEST_F(KernelEntryTest, DetuneOf100CentsIsTheNextNote) {
  auto play = [&](uint32_t note, double detune) {
    EXPECT_EQ(K(reset)(handle), 0.0);
    EXPECT_EQ(param(2, detune), 0.0);
    EXPECT_EQ(noteOn(note, 0.9), 0.0);
    return render(4096);
  };
  EXPECT_TRUE(sameBits(play(69, 100), play(70, 0)));
  EXPECT_FALSE(sameBits(play(69, 99), play(70, 0)));
}

// Arbitrary calls with arbitrary arguments: statuses stay within each entry's
// set, nothing traps, and every rendered sample stays finite.
TEST_F(KernelEntryTest, ArbitraryCallsKeepStatusesAndOutputSane) {
  uint64_t seed = 0x2545F4914F6CDD1Dull;
  auto next = [&] {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  };
  const double values[] = {0,    1,    -1,    0.5,   2.5, 3,  127, 128,    1e9, -1e9, 1e300, 1e-300,
                           kNaN, kInf, -kInf, 20000, 18,  -8, 8,   0.0001, 5,   2,    0.7,   44100};
  auto value = [&] {
    return next() % 3 == 0 ? (static_cast<double>(next() % 20001) / 100.0 - 100.0)
                           : values[next() % std::size(values)];
  };
  std::vector<uint32_t> handles = {handle};
  int rendered = 0;
  for (int step = 0; step < 20000; ++step) {
    const size_t pick = next() % handles.size();
    const uint32_t h = next() % 16 == 0 ? static_cast<uint32_t>(next()) : handles[pick];
    const uint64_t op = next() % 32;
    switch (op < 2 ? 0 : op < 3 ? 1 : op < 4 ? 2 : op < 12 ? 3 : 4) {
      case 0: {
        const double rate =
            next() % 4 == 0 ? value() : 8000.0 * static_cast<double>(1 + next() % 48);
        const double got = K(create)(128, 0, 1, rate);
        ASSERT_GE(got, 0.0);
        if (got != 0) handles.push_back(static_cast<uint32_t>(got));
        break;
      }
      case 1: {
        const double st = K(destroy)(h);
        ASSERT_TRUE(st == 0 || st == 1) << st;
        if (st == 0 && handles.size() > 1 && h == handles[pick])
          handles.erase(handles.begin() + pick);
        break;
      }
      case 2: {
        const double st = K(reset)(h);
        ASSERT_TRUE(st == 0 || st == 1) << st;
        break;
      }
      case 3: {
        const double st = K(process)(h, static_cast<uint32_t>(next() % 140));
        ASSERT_TRUE(st == 0 || st == 1 || st == 2) << st;
        rendered += st != 1;
        float* view = nullptr;
        uint64_t length = 0;
        K(output_view)(h, &view, &length);
        ASSERT_NE(view, nullptr);
        for (uint64_t i = 0; i < length; ++i) ASSERT_TRUE(std::isfinite(view[i])) << view[i];
        break;
      }
      default: {
        const auto kind = static_cast<uint32_t>(next() % 6);
        const auto frame = static_cast<uint32_t>(next() % 130);
        const auto a = static_cast<uint32_t>(next() % 4 == 0 ? next() : next() % 130);
        const double st = K(push_event)(h, kind, frame, a, value());
        ASSERT_TRUE(st >= 0 && st <= 4 && st == std::floor(st)) << st;
        break;
      }
    }
  }
  EXPECT_GT(rendered, 1000) << "most calls should reach live instances";
}

// --- Traps ----------------------------------------------------------------

std::string bytes(const KernelTrapRecord& r) {
  return std::string(reinterpret_cast<const char*>(r.bytes), r.length);
}

TEST(KernelTrapRecord, ClassifiesByTheStartOfTheMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"Uncaught Error: x", "TC4013"},
      {"tallowc: RangeError: typed array index 9 out of bounds (length 4)\n", "TC4014"},
      {"tallowc: TypeError: x", "TC4015"},
      {"tallowc: SyntaxError: x", "TC4016"},
      {"tallowc: out of memory\n", "TC4017"},
      {"tallowc: internal error: x", "TC4018"},
      {"tallowc: library callback x", "TC4025"},
      {"tallowc: library entry 'x' invoked from a host callback\n", "TC4026"},
      {"something else", "TC4019"},
      {"", "TC4019"},
      {"uncaught x", "TC4019"},
      {"tallowc: RangeError", "TC4019"},
  };
  for (auto [message, code] : cases) {
    KernelTrapRecord r;
    composeKernelTrapRecord(message, "scpr_x_process", r);
    EXPECT_EQ(bytes(r), "\x01" + std::string(message) + "\x1F" + code + "\x1Fscpr_x_process");
    EXPECT_EQ(r.code, std::stoull(std::string(code).substr(2))) << message;
  }
}

TEST(KernelTrapRecord, SeparatorsAreBlankedAndTheRecordIsBounded) {
  KernelTrapRecord r;
  composeKernelTrapRecord(std::string_view("a\x01"
                                           "b\x1F"
                                           "c",
                                           5),
                          "create", r);
  EXPECT_EQ(bytes(r),
            "\x01"
            "a b c\x1F"
            "TC4019\x1F"
            "create");

  const std::string entry = "scpr_music_orbel_mirel_9ff6eb2b48a9_process";
  composeKernelTrapRecord("Uncaught " + std::string(5000, 'x'), entry, r);
  EXPECT_EQ(r.length, KERNEL_TRAP_RECORD_MAX);
  EXPECT_EQ(bytes(r).substr(r.length - entry.size() - 8), "\x1FTC4013\x1F" + entry);

  // A cut never splits a UTF-8 sequence: 2-byte characters keep an even count.
  std::string accents;
  for (int i = 0; i < 1500; ++i) accents += "\xC3\xA9";
  composeKernelTrapRecord(accents, "x", r);
  const size_t messageBytes = r.length - 1 - 1 - 6 - 1 - 1;
  EXPECT_LE(r.length, KERNEL_TRAP_RECORD_MAX);
  EXPECT_EQ(messageBytes % 2, 0u);

  // A finished record is passed on as it is.
  const std::string ready = std::string(
      "\x01"
      "done\x1F"
      "TC4017\x1F"
      "elsewhere");
  composeKernelTrapRecord(ready, "ignored", r);
  EXPECT_EQ(bytes(r), ready);
  EXPECT_EQ(r.code, 4017u);
}

// Death tests run in a child process; the sinks print what they receive with
// the control bytes made visible so the parent can match it.
void printingSink(void* context, const uint8_t* message, size_t length, uint64_t code) {
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(message[i]);
    text += c == '\x01'   ? std::string("<")
            : c == '\x1F' ? std::string("|")
            : c == '\n'   ? std::string("~")
                          : std::string(1, c);
  }
  std::fprintf(stderr, "sink[%s] code=%llu ctx=%s\n", text.c_str(),
               static_cast<unsigned long long>(code), static_cast<const char*>(context));
}

TEST(KernelTrapDeathTest, TrapHandsTheRecordToTheSinkAndAborts) {
  static char context[] = "mine";
  EXPECT_EXIT(
      {
        K(set_panic_sink)(printingSink, context);
        K(runtime_init)();
        enterKernel("scpr_music_orbel_mirel_9ff6eb2b48a9_process");
        kernelCheckedIndex(4096, 4096);
      },
      ::testing::KilledBySignal(SIGABRT),
      "sink\\[<tallowc: RangeError: typed array index 4096 out of bounds \\(length 4096\\)~"
      "\\|TC4014\\|scpr_music_orbel_mirel_9ff6eb2b48a9_process\\] code=4014 ctx=mine");
}

TEST(KernelTrapDeathTest, WithoutASinkTheRecordGoesToStandardError) {
  EXPECT_EXIT(
      {
        K(set_panic_sink)(nullptr, nullptr);
        enterKernel("scpr_music_orbel_mirel_9ff6eb2b48a9_runtime_init");
        kernelTrapOutOfMemory();
      },
      ::testing::KilledBySignal(SIGABRT),
      "orbel-plugin-shell: tallowc trap: .tallowc: out of memory");
}

void reenteringSink(void*, const uint8_t*, size_t, uint64_t) {
  static int calls = 0;
  if (++calls > 1) _exit(3);  // the sink must not be called again
  std::fprintf(stderr, "in sink\n");
  K(abi_version)();
  std::fprintf(stderr, "entry returned\n");
  _exit(4);
}

TEST(KernelTrapDeathTest, EntryFromInsideTheSinkAbortsAtOnce) {
  EXPECT_EXIT(
      {
        K(set_panic_sink)(reenteringSink, nullptr);
        enterKernel("scpr_music_orbel_mirel_9ff6eb2b48a9_create");
        kernelTrap("Uncaught boom");
      },
      ::testing::KilledBySignal(SIGABRT),
      "in sink\n.*library entry 'scpr_music_orbel_mirel_9ff6eb2b48a9_abi_version' invoked from a "
      "host callback");
}

std::jmp_buf escape;
void escapingSink(void*, const uint8_t*, size_t, uint64_t) { std::longjmp(escape, 1); }

TEST(KernelTrapDeathTest, APoisonedKernelRefusesEveryLaterEntry) {
  EXPECT_EXIT(
      {
        K(set_panic_sink)(escapingSink, nullptr);
        if (setjmp(escape) == 0) {
          enterKernel("scpr_music_orbel_mirel_9ff6eb2b48a9_process");
          kernelTrap("tallowc: internal error: x");
        }
        std::fprintf(stderr, "escaped poisoned=%d\n", kernelPoisoned() ? 1 : 0);
        K(create)(128, 0, 1, 48000);
        std::fprintf(stderr, "create returned\n");
      },
      ::testing::KilledBySignal(SIGABRT), "escaped poisoned=1\n");
}

}  // namespace
}  // namespace orbel
