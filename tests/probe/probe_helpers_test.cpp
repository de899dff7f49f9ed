// The probe's host-side helpers and parsers, without a module.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "tests/probe/wav_reader.h"
#include "tools/host_application.h"
#include "tools/line_reader.h"
#include "tools/memory_stream.h"
#include "tools/midi_file.h"
#include "tools/module_loader.h"
#include "tools/parameter_changes.h"
#include "tools/probe_options.h"
#include "tools/probe_run_loop.h"
#include "sdk/missing/utf16.h"
#include "tools/text16.h"
#include "tools/wav_writer.h"

namespace orbel {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(ProbeOptions, NoteGrammar) {
  struct Case {
    const char* text;
    bool ok;
    int pitch = 0;
    double start = 0, duration = 0, velocity = 0;
  };
  const Case cases[] = {
      {"57@0.0:0.4:0.9", true, 57, 0.0, 0.4, 0.9},
      {"60@1.5:2", true, 60, 1.5, 2.0, 0.8},          // default velocity
      {"127@0:0.1:v=127", true, 127, 0.0, 0.1, 1.0},  // MIDI velocity, written so
      {"60@0:0.1:v=64", true, 60, 0.0, 0.1, 64 / 127.0},
      {"60@0:0.1:1", true, 60, 0.0, 0.1, 1.0},  // full velocity as a fraction
      {"60@0:0.5:1.5", false},                  // neither form: not MIDI 1.5 of 127
      {"60@0:0.5:64", false},
      {"60@0:0.5:v=0", false},
      {"60@0:0.5:v=128", false},
      {"60@0:0.5:v=100.5", false},
      {"60@0:0.5:v=", false},
      {"128@0:1", false},
      {"-1@0:1", false},
      {"60.5@0:1", false},
      {"60@-1:1", false},
      {"60@0:0", false},
      {"60@0:1:0", false},
      {"60@0:1:200", false},
      {"60@0:1:0.5:9", false},
      {"60@0", false},
      {"60", false},
      {"x@0:1", false},
      {"60@0:1s", false},
      {"60@nan:1", false},
  };
  for (const Case& c : cases) {
    NoteSpec note;
    std::string error;
    EXPECT_EQ(parseNote(c.text, note, error), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(note.pitch, c.pitch) << c.text;
      EXPECT_DOUBLE_EQ(note.startSeconds, c.start) << c.text;
      EXPECT_DOUBLE_EQ(note.durationSeconds, c.duration) << c.text;
      EXPECT_DOUBLE_EQ(note.velocity, c.velocity) << c.text;
    } else {
      EXPECT_NE(error.find(c.text), std::string::npos) << "error names the note: " << error;
    }
  }
}

TEST(ProbeOptions, ParsesTheRunScriptCommandLine) {
  const char* argv[] = {"orbel-probe",
                        "render",
                        "/x/Mirel.vst3",
                        "--out",
                        "o.wav",
                        "--rate",
                        "48000",
                        "--block",
                        "512",
                        "--set",
                        "osc.type=Saw",
                        "--set",
                        "filter.cutoff=1200",
                        "--set",
                        "filter.envAmount=-0.5",
                        "--note",
                        "57@0.0:0.4:0.9",
                        "--note",
                        "60@0.5:0.4:0.8",
                        "--auto",
                        "master.gain@1.25=0.5",
                        "--format",
                        "pcm24"};
  ProbeCommand cmd;
  std::string error;
  ASSERT_TRUE(parseCommandLine(static_cast<int>(std::size(argv)), argv, cmd, error)) << error;
  EXPECT_EQ(cmd.kind, ProbeCommandKind::Render);
  EXPECT_EQ(cmd.bundlePath, "/x/Mirel.vst3");
  EXPECT_EQ(cmd.render.outPath, "o.wav");
  EXPECT_EQ(cmd.render.blockSize, 512);
  ASSERT_EQ(cmd.render.settings.size(), 3u);
  EXPECT_EQ(cmd.render.settings[0].path, "osc.type");
  EXPECT_EQ(cmd.render.settings[0].value, "Saw");
  EXPECT_EQ(cmd.render.settings[2].value, "-0.5");
  ASSERT_EQ(cmd.render.notes.size(), 2u);
  ASSERT_EQ(cmd.render.automation.size(), 1u);
  EXPECT_EQ(cmd.render.automation[0].path, "master.gain");
  EXPECT_DOUBLE_EQ(cmd.render.automation[0].seconds, 1.25);
  EXPECT_EQ(cmd.render.automation[0].value, "0.5");
  EXPECT_EQ(cmd.render.format, WavFormat::Pcm24);
  EXPECT_FALSE(cmd.render.seconds.has_value());
}

TEST(ProbeOptions, RejectsBadCommandLines) {
  const std::vector<std::vector<const char*>> bad = {
      {"orbel-probe"},
      {"orbel-probe", "frobnicate", "b.vst3"},
      {"orbel-probe", "info"},
      {"orbel-probe", "render", "b.vst3"},  // no --out
      {"orbel-probe", "render", "b.vst3", "--out"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--rate", "0"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--rate", "fast"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--block", "0"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--block", "12.5"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--set", "cutoff"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--set", "=3"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--auto", "gain=3"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--auto", "gain@-1=3"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--format", "mp3"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--bogus"},
      {"orbel-probe", "info", "a.vst3", "b.vst3"},
      {"orbel-probe", "info", "a.vst3", "--out", "x"},
      {"orbel-probe", "render", "b.vst3", "--out", "o.wav", "--send", "{}"},  // bridge only
      {"orbel-probe", "bridge", "b.vst3", "--speed", "0.5"},
      {"orbel-probe", "bridge", "b.vst3", "--transport", "0"},
      {"orbel-probe", "bridge", "b.vst3", "--transport", "120:4"},
      {"orbel-probe", "bridge", "b.vst3", "--transport", "120:4/4:go"},
      {"orbel-probe", "bridge", "b.vst3", "--transport", "120:4/4:play:stop"},
      {"orbel-probe", "bridge", "b.vst3", "--transport", "120:0/4"},
  };
  for (const auto& args : bad) {
    ProbeCommand cmd;
    std::string error;
    EXPECT_FALSE(parseCommandLine(static_cast<int>(args.size()), args.data(), cmd, error))
        << args.back();
    EXPECT_FALSE(error.empty());
  }
  const char* help[] = {"orbel-probe", "--help"};
  ProbeCommand cmd;
  std::string error;
  ASSERT_TRUE(parseCommandLine(2, help, cmd, error));
  EXPECT_EQ(cmd.kind, ProbeCommandKind::Help);
  for (const char* word : {"info", "params", "render", "--note", "--set", "--auto", "--load-state",
                           "--save-state", "--rate", "--block"})
    EXPECT_NE(std::string(probeUsage()).find(word), std::string::npos) << word;
}

TEST(ProbeOptions, BridgeTakesMessagesSpeedTransportAndRenderOptions) {
  const char* argv[] = {"orbel-probe",
                        "bridge",
                        "/x/Mirel.vst3",
                        "--send",
                        "{\"type\":\"orbel.ready\"}",
                        "--send",
                        "{}",
                        "--speed",
                        "5",
                        "--transport",
                        "90:7/8:stop",
                        "--seconds",
                        "2",
                        "--note",
                        "60@0:1"};
  ProbeCommand cmd;
  std::string error;
  ASSERT_TRUE(parseCommandLine(static_cast<int>(std::size(argv)), argv, cmd, error)) << error;
  EXPECT_EQ(cmd.kind, ProbeCommandKind::Bridge);
  ASSERT_EQ(cmd.bridge.sends.size(), 2u);
  EXPECT_EQ(cmd.bridge.sends[0], "{\"type\":\"orbel.ready\"}");
  EXPECT_EQ(cmd.bridge.speed, 5.0);
  EXPECT_EQ(cmd.render.transport.tempo, 90.0);
  EXPECT_EQ(cmd.render.transport.numerator, 7);
  EXPECT_EQ(cmd.render.transport.denominator, 8);
  EXPECT_FALSE(cmd.render.transport.playing);
  EXPECT_EQ(cmd.render.seconds, 2.0);
  EXPECT_EQ(cmd.render.notes.size(), 1u);
  EXPECT_TRUE(cmd.render.outPath.empty());  // recording is optional here

  TransportSpec transport;
  ASSERT_TRUE(parseTransport("140", transport, error));
  EXPECT_EQ(transport.tempo, 140.0);
  EXPECT_EQ(transport.numerator, 4);
  EXPECT_TRUE(transport.playing);
}

TEST(ProbeInput, LinesArriveWhateverTheReadsCutThem) {
  struct Case {
    std::vector<std::string> pieces;
    std::vector<std::string> lines;  // "!" for a line reported as too long
  };
  const std::string big(40, 'x');
  const Case cases[] = {
      {{"a\nb\n"}, {"a", "b"}},
      {{"ab", "c\r\nd", "e\n"}, {"abc", "de"}},
      {{"last line without end"}, {"last line without end"}},
      {{"\n\n"}, {"", ""}},
      {{big, "\nshort\n"}, {"!", "short"}},
      {{"0123456789012345", "67890123456789012345\nok\n", big}, {"!", "ok", "!"}},
  };
  for (const Case& c : cases) {
    LineReader reader(32);
    std::vector<std::string> got;
    std::vector<size_t> numbers;
    const auto onLine = [&](const InputLine& line) {
      got.push_back(line.tooLong ? "!" : std::string(line.text));
      numbers.push_back(line.number);
    };
    for (const std::string& piece : c.pieces) reader.feed(piece.data(), piece.size(), onLine);
    reader.finish(onLine);
    EXPECT_EQ(got, c.lines) << c.pieces[0];
    for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], i + 1);
  }
}

// Counts its calls; may unregister itself from the loop when called.
class CountingTimer : public Linux::ITimerHandler {
public:
  int calls = 0;
  Linux::IRunLoop* removeFrom = nullptr;
  void PLUGIN_API onTimer() override {
    ++calls;
    if (removeFrom) removeFrom->unregisterTimer(this);
  }
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

class ReadingHandler : public Linux::IEventHandler {
public:
  std::string read;
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor fd) override {
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) read.append(buffer, static_cast<size_t>(n));
  }
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

TEST(ProbeRunLoop, TimersRepeatHandlersSeeTheirDescriptorAndBothCanLeave) {
  ProbeRunLoop loop;
  CountingTimer repeating, once;
  once.removeFrom = &loop;
  ASSERT_EQ(loop.registerTimer(&repeating, 5), kResultOk);
  ASSERT_EQ(loop.registerTimer(&once, 5), kResultOk);
  EXPECT_NE(loop.registerTimer(&repeating, 5), kResultOk);  // registered once only
  EXPECT_NE(loop.registerTimer(&repeating, 0), kResultOk);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ReadingHandler handler;
  ASSERT_EQ(loop.registerEventHandler(&handler, fds[0]), kResultOk);
  ASSERT_EQ(::write(fds[1], "hi", 2), 2);

  const auto end = ProbeRunLoop::Clock::now() + std::chrono::milliseconds(60);
  while (ProbeRunLoop::Clock::now() < end) loop.runOnce(end);
  EXPECT_GE(repeating.calls, 3);
  EXPECT_EQ(once.calls, 1);
  EXPECT_EQ(handler.read, "hi");
  EXPECT_EQ(loop.timerCount(), 1u);
  EXPECT_EQ(loop.unregisterEventHandler(&handler), kResultOk);
  EXPECT_EQ(loop.unregisterTimer(&repeating), kResultOk);
  EXPECT_EQ(loop.timerCount() + loop.handlerCount(), 0u);
  ::close(fds[0]);
  ::close(fds[1]);

  // The host context lends the loop only once it is given one.
  ProbeHostApplication host;
  void* offered = nullptr;
  EXPECT_NE(host.queryInterface(Linux::IRunLoop::iid, &offered), kResultOk);
  host.setRunLoop(&loop);
  ASSERT_EQ(host.queryInterface(Linux::IRunLoop::iid, &offered), kResultOk);
  EXPECT_EQ(offered, static_cast<Linux::IRunLoop*>(&loop));
  loop.release();
}

TEST(ProbeHost, HostNameAndBundleLayout) {
  ProbeHostApplication host;
  String128 name{};
  ASSERT_EQ(host.getName(name), kResultOk);
  EXPECT_NE(utf16ToUtf8(reinterpret_cast<const char16_t*>(name), 128).find("orbel-probe"),
            std::string::npos);
  EXPECT_EQ(bundleBinaryPath("/p/Mirel.vst3"), "/p/Mirel.vst3/Contents/x86_64-linux/Mirel.so");
  EXPECT_EQ(bundleBinaryPath("/p/Mirel.vst3//"), "/p/Mirel.vst3/Contents/x86_64-linux/Mirel.so");
}

TEST(ProbeHost, ParameterChangesKeepOneOrderedQueuePerParameter) {
  ParameterChanges changes;
  changes.add(3, 100, 0.5);
  changes.add(7, 0, 0.1);
  changes.add(3, 10, 0.25);
  changes.add(3, 100, 0.75);  // same offset: the later value wins
  ASSERT_EQ(changes.getParameterCount(), 2);
  IParamValueQueue* q = changes.getParameterData(0);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->getParameterId(), 3u);
  ASSERT_EQ(q->getPointCount(), 2);
  int32 offset = -1;
  ParamValue value = -1;
  ASSERT_EQ(q->getPoint(0, offset, value), kResultOk);
  EXPECT_EQ(offset, 10);
  EXPECT_EQ(value, 0.25);
  ASSERT_EQ(q->getPoint(1, offset, value), kResultOk);
  EXPECT_EQ(offset, 100);
  EXPECT_EQ(value, 0.75);
  EXPECT_NE(q->getPoint(2, offset, value), kResultOk);
  EXPECT_NE(q->getPoint(-1, offset, value), kResultOk);
  EXPECT_EQ(changes.getParameterData(2), nullptr);
  int32 index = -1;
  EXPECT_NE(q->addPoint(-5, 0.0, index), kResultOk);

  changes.clear();
  EXPECT_EQ(changes.getParameterCount(), 0);
  changes.add(9, 5, 1.0);  // a reused queue starts empty under its new id
  ASSERT_EQ(changes.getParameterCount(), 1);
  EXPECT_EQ(changes.getParameterData(0)->getParameterId(), 9u);
  EXPECT_EQ(changes.getParameterData(0)->getPointCount(), 1);
}

TEST(ProbeHost, MemoryStreamReadsWritesAndSeeks) {
  MemoryStream s;
  char text[] = "hello world";
  int32 n = 0;
  ASSERT_EQ(s.write(text, 11, &n), kResultOk);
  EXPECT_EQ(n, 11);
  int64 pos = -1;
  ASSERT_EQ(s.seek(6, IBStream::kIBSeekSet, &pos), kResultOk);
  char buf[16] = {};
  ASSERT_EQ(s.read(buf, 16, &n), kResultOk);
  EXPECT_EQ(n, 5);  // short read at the end
  EXPECT_EQ(std::string(buf, 5), "world");
  ASSERT_EQ(s.read(buf, 4, &n), kResultOk);
  EXPECT_EQ(n, 0);
  EXPECT_NE(s.seek(-1, IBStream::kIBSeekSet, &pos), kResultOk);
  EXPECT_NE(s.seek(std::numeric_limits<int64>::max(), IBStream::kIBSeekCur, &pos), kResultOk);
  EXPECT_NE(s.read(buf, -1, &n), kResultOk);
  ASSERT_EQ(s.seek(-5, IBStream::kIBSeekEnd, &pos), kResultOk);
  EXPECT_EQ(pos, 6);
  ASSERT_EQ(s.write(text, 5, &n), kResultOk);  // overwrite in place
  EXPECT_EQ(std::string(s.bytes().begin(), s.bytes().end()), "hello hello");
}

TEST(ProbeWav, FloatAndPcmRoundTrip) {
  const std::vector<float> frames = {0.0f,  -0.0f, 0.5f,  -0.5f, 1.0f,
                                     -1.0f, 1.5f,  -2.0f, NAN,   0.25f};
  const std::string dir = ::testing::TempDir();
  std::string error;
  test::WavData wav;

  ASSERT_TRUE(writeWav(dir + "probe_f32.wav", frames, 2, 44100, WavFormat::Float32, error))
      << error;
  ASSERT_TRUE(test::readWav(dir + "probe_f32.wav", wav, error)) << error;
  EXPECT_EQ(wav.format, 3);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.sampleRate, 44100u);
  EXPECT_EQ(wav.bitsPerSample, 32);
  ASSERT_EQ(wav.samples.size(), frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (std::isnan(frames[i]))
      EXPECT_TRUE(std::isnan(wav.samples[i]));
    else
      EXPECT_EQ(wav.samples[i], frames[i]) << i;  // stored bit for bit
  }

  const float expected[] = {0.0f,  0.0f, 0.5f,  -0.5f, 1.0f,
                            -1.0f, 1.0f, -1.0f, 0.0f,  0.25f};  // clipped, NaN silent
  for (const auto& [format, bits, name] : {std::tuple{WavFormat::Pcm24, 24, "probe_s24.wav"},
                                           std::tuple{WavFormat::Pcm16, 16, "probe_s16.wav"}}) {
    SCOPED_TRACE(name);
    WavWriter writer;
    ASSERT_TRUE(writer.open(dir + name, 2, 48000, format, error)) << error;
    ASSERT_TRUE(writer.write(frames.data(), frames.size() / 2, error)) << error;
    EXPECT_EQ(writer.clippedSamples(), 3u);  // 1.5, -2 and NaN
    EXPECT_FALSE(std::filesystem::exists(dir + name))
        << "the file takes its name only when finished";
    ASSERT_TRUE(writer.finish(error)) << error;
    ASSERT_TRUE(test::readWav(dir + name, wav, error)) << error;
    EXPECT_EQ(wav.format, 1);
    EXPECT_EQ(wav.bitsPerSample, bits);
    ASSERT_EQ(wav.samples.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i)
      EXPECT_NEAR(wav.samples[i], expected[i], 1.0 / ((1 << (bits - 1)) - 1)) << i;
  }

  // 5 samples of 3 bytes: odd data chunk, padded to keep the RIFF structure valid.
  ASSERT_TRUE(writeWav(dir + "probe_odd.wav", {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, 1, 8000,
                       WavFormat::Pcm24, error));
  ASSERT_TRUE(test::readWav(dir + "probe_odd.wav", wav, error)) << error;
  EXPECT_EQ(wav.samples.size(), 5u);

  EXPECT_FALSE(writeWav(dir + "no/such/dir/x.wav", frames, 2, 48000, WavFormat::Float32, error));
  EXPECT_NE(error.find("no/such/dir/x.wav"), std::string::npos);
  for (const char* name : {"probe_f32.wav", "probe_s24.wav", "probe_s16.wav", "probe_odd.wav"})
    std::remove((dir + name).c_str());
}

// A small SMF builder for the reader tests.
struct Smf {
  std::vector<uint8_t> bytes;
  void add(std::initializer_list<int> b) {
    for (int v : b) bytes.push_back(static_cast<uint8_t>(v));
  }
  static std::vector<uint8_t> file(int format, int division,
                                   const std::vector<std::vector<uint8_t>>& tracks) {
    Smf f;
    f.add({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, format, 0, static_cast<int>(tracks.size()),
           division >> 8, division & 0xFF});
    for (const auto& t : tracks) {
      const auto n = t.size();
      f.add({'M', 'T', 'r', 'k', static_cast<int>(n >> 24), static_cast<int>((n >> 16) & 0xFF),
             static_cast<int>((n >> 8) & 0xFF), static_cast<int>(n & 0xFF)});
      f.bytes.insert(f.bytes.end(), t.begin(), t.end());
    }
    return f.bytes;
  }
};

TEST(ProbeMidiFile, ReadsNotesThroughTheTempoMap) {
  // Format 1, 480 ticks per quarter. Track 0: tempo 120 bpm, then 60 bpm from
  // tick 960. Track 1: a note at tick 0 for one quarter; a second note at tick
  // 960 with running status and a zero-velocity note-on as its note-off; a
  // third note never released (ends with the track at tick 1920).
  const std::vector<uint8_t> tempo = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // 500000 us
                                      0x87, 0x40, 0xFF, 0x51, 0x03, 0x0F, 0x42,
                                      0x40,  // +960: 1000000 us
                                      0x00, 0xFF, 0x2F, 0x00};
  const std::vector<uint8_t> notes = {
      0x00, 0x90, 60,   100,          // on 60
      0x83, 0x60, 0x80, 60,   0,      // +480 off 60
      0x83, 0x60, 0x91, 64,   127,    // +480 (tick 960) on 64, channel 2
      0x83, 0x60, 64,   0,            // +480 running status: on vel 0 = off
      0x00, 67,   64,                 // on 67, running status
      0x83, 0x60, 0xFF, 0x2F, 0x00};  // +480 end of track
  MidiFileNotes out;
  std::string error;
  const auto file = Smf::file(1, 480, {tempo, notes});
  ASSERT_TRUE(readMidiFileNotes(file.data(), file.size(), out, error)) << error;
  EXPECT_EQ(out.format, 1);
  EXPECT_EQ(out.trackCount, 2);
  ASSERT_EQ(out.notes.size(), 3u);
  EXPECT_EQ(out.notes[0].pitch, 60);
  EXPECT_DOUBLE_EQ(out.notes[0].startSeconds, 0.0);
  EXPECT_DOUBLE_EQ(out.notes[0].durationSeconds, 0.5);
  EXPECT_DOUBLE_EQ(out.notes[0].velocity, 100 / 127.0);
  EXPECT_EQ(out.notes[1].pitch, 64);
  EXPECT_DOUBLE_EQ(out.notes[1].startSeconds, 1.0);
  EXPECT_DOUBLE_EQ(out.notes[1].durationSeconds, 1.0);  // a quarter at 60 bpm
  EXPECT_EQ(out.notes[2].pitch, 67);
  EXPECT_DOUBLE_EQ(out.notes[2].startSeconds, 2.0);
  EXPECT_DOUBLE_EQ(out.notes[2].durationSeconds, 1.0);
}

TEST(ProbeMidiFile, RejectsMalformedFiles) {
  const std::vector<uint8_t> okTrack = {0x00, 0x90, 60,   100,  0x10, 0x80,
                                        60,   0,    0x00, 0xFF, 0x2F, 0x00};
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"not midi", {'R', 'I', 'F', 'F', 0, 0, 0, 0}},
      {"short header", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}},
      {"format 2", Smf::file(2, 480, {okTrack})},
      {"division 0", Smf::file(0, 0, {okTrack})},
      {"data byte first", Smf::file(0, 480, {{0x00, 60, 100}})},
      {"truncated event", Smf::file(0, 480, {{0x00, 0x90, 60}})},
      {"endless delta", Smf::file(0, 480, {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}})},
      {"meta past the end", Smf::file(0, 480, {{0x00, 0xFF, 0x01, 0x40, 'a'}})},
      {"sysex past the end", Smf::file(0, 480, {{0x00, 0xF0, 0x05, 1, 2}})},
      {"system message", Smf::file(0, 480, {{0x00, 0xF2, 0, 0}})},
  };
  auto longChunk = Smf::file(0, 480, {okTrack});
  longChunk[longChunk.size() - okTrack.size() - 1] += 1;  // track length one past the end
  cases.push_back({"chunk past the end", longChunk});
  for (const Case& c : cases) {
    MidiFileNotes out;
    std::string error;
    EXPECT_FALSE(readMidiFileNotes(c.bytes.data(), c.bytes.size(), out, error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_TRUE(out.notes.empty()) << c.what;
  }
}

}  // namespace
}  // namespace orbel
