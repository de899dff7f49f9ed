// Runs the built orbel-probe against real bundles: the Mirel module and a
// fake module without an audio class. Checks what a user of the tool sees:
// listings, the rendered audio and its timing, state round trips and errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/probe/probe_runner.h"
#include "tests/probe/wav_reader.h"

namespace orbel::test {
namespace {

double rms(const WavData& w, double from, double to) {
  const std::size_t a = static_cast<std::size_t>(from * w.sampleRate);
  const std::size_t b = std::min(w.frames(), static_cast<std::size_t>(to * w.sampleRate));
  double sum = 0;
  for (std::size_t i = a; i < b; ++i) sum += double(w.at(i, 0)) * w.at(i, 0);
  return b > a ? std::sqrt(sum / double(b - a)) : 0.0;
}

TEST_F(ProbeWithMirel, InfoListsFactoryAndClasses) {
  const RunResult r = runProbe({"info", bundle_});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* text :
       {"vendor: Orbel Music", "[0] Mirel", "category: Audio Module Class",
        "sub-categories: Instrument|Synth", "class id: 62F4031063F404A364F4063665F407C9",
        "[1] Mirel Controller", "category: Component Controller Class", "VST 3.8.1"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
}

TEST_F(ProbeWithMirel, ParamsListsPathsUnitsAndTexts) {
  const RunResult r = runProbe({"params", bundle_});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* text :
       {"parameters of Mirel: 11", "0 osc.type", "values: sine | saw | square | triangle",
        "3 filter.cutoff", "units: Hz", "default: 2000 (normalized", "range: 20 .. 20000",
        "10 master.gain", "flags: 1 (automate)", "default: 0.01 (normalized 0.005)"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
}

TEST_F(ProbeWithMirel, RenderPlacesNotesAtTheirSamples) {
  struct Format {
    int rate;
    int block;
  };
  for (const Format f : {Format{48000, 512}, Format{44100, 333}, Format{96000, 4096}}) {
    SCOPED_TRACE(std::to_string(f.rate) + " Hz, blocks of " + std::to_string(f.block));
    const WavData w =
        render({"--rate", std::to_string(f.rate), "--block", std::to_string(f.block), "--seconds",
                "2", "--set", "osc.type=Saw", "--set", "filter.cutoff=1200", "--set",
                "ampEnv.release=0.01", "--note", "57@0.25:0.3:0.9", "--note", "64@1.0:0.5"},
               "notes");
    ASSERT_EQ(w.channels, 2);
    ASSERT_EQ(w.format, 3);
    ASSERT_EQ(w.sampleRate, static_cast<uint32_t>(f.rate));
    ASSERT_EQ(w.frames(), static_cast<std::size_t>(2 * f.rate));
    // Exact silence until the first note's sample, sound within its first 64 samples.
    const std::size_t noteOn = f.rate / 4;
    std::size_t first = 0;
    while (first < w.frames() && w.at(first, 0) == 0.0f) ++first;
    EXPECT_GE(first, noteOn);
    EXPECT_LT(first, noteOn + 64);
    for (std::size_t i = 0; i < w.frames(); ++i)
      ASSERT_EQ(w.at(i, 0), w.at(i, 1)) << "stereo frame " << i;
    EXPECT_GT(rms(w, 0.3, 0.55), 0.05);
    EXPECT_LT(rms(w, 0.8, 1.0), 1e-4);  // released between the notes
    EXPECT_GT(rms(w, 1.02, 1.5), 0.05);
    std::size_t second = static_cast<std::size_t>(f.rate);
    while (second < w.frames() && w.at(second, 0) == 0.0f) ++second;
    EXPECT_LT(second, static_cast<std::size_t>(f.rate) + 64);
  }
}

TEST_F(ProbeWithMirel, AutomationLandsOnItsExactSample) {
  // 0.75 s = frame 36000, inside the 4096-frame block starting at 32768.
  const WavData w = render({"--block", "4096", "--seconds", "1", "--note", "60@0.1:0.85", "--auto",
                            "master.gain@0.75=0"},
                           "automation");
  ASSERT_EQ(w.frames(), 48000u);
  EXPECT_GT(rms(w, 0.70, 0.75), 0.05);
  EXPECT_NE(w.at(35999, 0), 0.0f);
  for (std::size_t i = 36000; i < 40000; ++i) ASSERT_EQ(w.at(i, 0), 0.0f) << "frame " << i;
}

TEST_F(ProbeWithMirel, ListValuesTakeOptionTextOrIndex) {
  const WavData byText =
      render({"--seconds", "0.5", "--set", "osc.type=SQUARE", "--note", "60@0:0.3"}, "sq_text");
  const WavData byIndex =
      render({"--seconds", "0.5", "--set", "osc.type=2", "--note", "60@0:0.3"}, "sq_index");
  const WavData sine =
      render({"--seconds", "0.5", "--set", "osc.type=sine", "--note", "60@0:0.3"}, "sine");
  EXPECT_EQ(byText.rawData, byIndex.rawData);
  EXPECT_NE(byText.rawData, sine.rawData);
}

TEST_F(ProbeWithMirel, Pcm24MatchesFloatRendering) {
  const std::vector<std::string> phrase = {"--seconds", "0.5", "--note", "60@0.1:0.2"};
  std::vector<std::string> asPcm = phrase;
  asPcm.insert(asPcm.end(), {"--format", "pcm24"});
  const WavData f = render(phrase, "f32");
  const WavData p = render(asPcm, "s24");
  ASSERT_EQ(p.format, 1);
  ASSERT_EQ(p.bitsPerSample, 24);
  ASSERT_EQ(p.samples.size(), f.samples.size());
  for (std::size_t i = 0; i < f.samples.size(); ++i)
    ASSERT_NEAR(p.samples[i], std::clamp(f.samples[i], -1.0f, 1.0f), 1.0 / 8388607) << i;
}

TEST_F(ProbeWithMirel, SavedStateRendersTheSamePhraseBitForBit) {
  const std::string state = scratch("state.json");
  std::remove(state.c_str());
  const std::vector<std::string> phrase = {"--seconds",      "1.2",    "--note",
                                           "57@0.1:0.4:0.9", "--note", "64@0.6:0.4"};
  std::vector<std::string> first = {"--set",        "osc.type=Square",
                                    "--set",        "filter.cutoff=700",
                                    "--set",        "filter.resonance=6",
                                    "--set",        "osc.detune=-30",
                                    "--save-state", state};
  first.insert(first.end(), phrase.begin(), phrase.end());
  const WavData a = render(first, "state_a");
  ASSERT_TRUE(exists(state));

  std::vector<std::string> second = {"--load-state", state};
  second.insert(second.end(), phrase.begin(), phrase.end());
  const WavData b = render(second, "state_b");
  const WavData plain = render(phrase, "state_plain");
  ASSERT_FALSE(a.rawData.empty());
  EXPECT_EQ(a.rawData, b.rawData) << "a restored state must render the same samples";
  EXPECT_NE(a.rawData, plain.rawData) << "the settings must have changed the sound";
}

TEST_F(ProbeWithMirel, MidiFileNotesPlayAtTheirTimes) {
  // One track, 96 ticks per quarter at the default 120 bpm: a note from
  // tick 48 (0.25 s) to tick 96 (0.5 s).
  const std::string mid = scratch("phrase.mid");
  const unsigned char bytes[] = {'M', 'T', 'h', 'd',  0,   0,   0, 6,    0,    0,  0,  1,
                                 0,   96,  'M', 'T',  'r', 'k', 0, 0,    0,    12, 48, 0x90,
                                 60,  100, 48,  0x80, 60,  0,   0, 0xFF, 0x2F, 0};
  std::ofstream(mid, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  const WavData w = render({"--midi", mid, "--seconds", "1"}, "midi");
  std::size_t first = 0;
  while (first < w.frames() && w.at(first, 0) == 0.0f) ++first;
  EXPECT_GE(first, 12000u);
  EXPECT_LT(first, 12064u);
  EXPECT_GT(rms(w, 0.3, 0.5), 0.05);
}

struct ErrorCase {
  const char* what;
  std::vector<std::string>
      args;  // "@B" is the Mirel bundle, "@N" the fake one, "@O" an output path
  int exitCode;
  const char* message;
};

TEST_F(ProbeWithMirel, ErrorsAreReportedAndExitNonZero) {
  const std::string out = scratch("error.wav");
  const ErrorCase cases[] = {
      {"missing bundle",
       {"info", "/nonexistent/Nothing.vst3"},
       1,
       "no VST 3 bundle at '/nonexistent/Nothing.vst3'"},
      {"missing bundle (render)",
       {"render", "/nonexistent/Nothing.vst3", "--out", "@O"},
       1,
       "no VST 3 bundle"},
      {"folder without a module binary", {"info", scratch("")}, 1, "has no module binary"},
      {"no audio module class", {"info", "@N"}, 1, "has no audio module class"},
      {"no audio module class (render)",
       {"render", "@N", "--out", "@O"},
       1,
       "has no audio module class"},
      {"unknown parameter path",
       {"render", "@B", "--out", "@O", "--set", "filter.nope=3"},
       2,
       "unknown parameter path 'filter.nope'"},
      {"unknown automation path",
       {"render", "@B", "--out", "@O", "--auto", "nope@0.1=1"},
       2,
       "unknown parameter path 'nope'"},
      {"bad option text",
       {"render", "@B", "--out", "@O", "--set", "osc.type=Sawtooth"},
       2,
       "bad value 'Sawtooth' for osc.type (expected one of: sine, saw, square, triangle"},
      {"bad number",
       {"render", "@B", "--out", "@O", "--set", "filter.cutoff=loud"},
       2,
       "bad value 'loud' for filter.cutoff"},
      {"refused sample rate",
       {"render", "@B", "--out", "@O", "--rate", "5000000"},
       1,
       "refused the processing setup (sample rate 5000000 Hz, block size 512 frames)"},
      {"refused block size",
       {"render", "@B", "--out", "@O", "--block", "16385"},
       1,
       "refused the processing setup (sample rate 48000 Hz, block size 16385 frames)"},
      {"unreadable state",
       {"render", "@B", "--out", "@O", "--load-state", "/nonexistent/state"},
       1,
       "cannot open '/nonexistent/state'"},
      {"bad note", {"render", "@B", "--out", "@O", "--note", "60@0.5"}, 2, "bad --note '60@0.5'"},
      {"velocity in neither form",
       {"render", "@B", "--out", "@O", "--note", "60@0:0.5:1.5"},
       2,
       "or a MIDI velocity written v=1..v=127"},
      {"infinite value",
       {"render", "@B", "--out", "@O", "--set", "filter.cutoff=inf"},
       2,
       "bad value 'inf' for filter.cutoff: not a finite number"},
      {"list value between options",
       {"render", "@B", "--out", "@O", "--set", "osc.type=1.5"},
       2,
       "bad value '1.5' for osc.type: it takes whole steps (an index 0..3"},
      {"stepped value between steps",
       {"render", "@B", "--out", "@O", "--auto", "osc.octave@0.1=0.5"},
       2,
       "bad value '0.5' for osc.octave: it takes whole steps of 1 from -2 to 2"},
      {"state into a missing folder, found before rendering",
       {"render", "@B", "--out", "@O", "--note", "60@0:0.5", "--save-state",
        "/nonexistent/dir/x.state"},
       1,
       "cannot write '/nonexistent/dir/x.state': the folder '/nonexistent/dir' does not exist"},
      {"WAV into a folder",
       {"render", "@B", "--out", "/tmp", "--note", "60@0:0.5"},
       1,
       "cannot write '/tmp': it is a folder"},
      {"unknown command", {"play", "@B"}, 2, "unknown command 'play'"},
  };
  for (const ErrorCase& c : cases) {
    std::vector<std::string> args;
    for (const std::string& a : c.args)
      args.push_back(a == "@B"   ? bundle_
                     : a == "@N" ? std::string(ORBEL_FAKE_BUNDLE)
                     : a == "@O" ? out
                                 : a);
    std::remove(out.c_str());
    const RunResult r = runProbe(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find("orbel-probe: error: "), std::string::npos) << c.what;
    EXPECT_FALSE(exists(out)) << c.what << ": no WAV file after an error";
  }
}

TEST_F(ProbeWithMirel, RefusedStateIsExplainedAndLeavesNoOutput) {
  const struct {
    const char* text;
    const char* why;
  } cases[] = {
      {"", "the file is empty"},
      {"{\"params\":[1,2", "it is not JSON: the text ends inside the object"},
      {"{\"params\":{\"osc.type\":1,}}", "it is not JSON: it breaks off at line 1, column 25"},
      {"\n[1,2]", "it is JSON, but not an object"},
      {"{\"params\":[1,2]}", "the plug-in cannot read its member \"params\" ([1,2])"},
      {"{\"params\":{\"osc.type\":1},\n \"variation\":\"x\"}",
       "the plug-in cannot read its member \"variation\" (\"x\")"},
  };
  const std::string bad = scratch("bad_state.json");
  const std::string out = scratch("bad_state.wav");
  for (const auto& c : cases) {
    std::ofstream(bad, std::ios::trunc) << c.text;
    std::remove(out.c_str());
    const RunResult r = runProbe({"render", bundle_, "--out", out, "--load-state", bad});
    EXPECT_EQ(r.exitCode, 1) << c.text;
    EXPECT_NE(r.err.find("refused the state file '" + bad +
                         "' (setState returned kResultFalse (1)): " + c.why),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(exists(out));
  }
}

// The WAV file appears only when complete: Ctrl-C during a long rendering
// leaves neither it nor its temporary file.
TEST_F(ProbeWithMirel, InterruptedRenderLeavesNoFile) {
  const std::string folder = scratch("interrupted/");
  std::filesystem::create_directories(folder);
  const std::string out = folder + "long.wav";
  const std::string exe = ORBEL_PROBE_EXE;
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl(exe.c_str(), exe.c_str(), "render", bundle_.c_str(), "--out", out.c_str(), "--seconds",
          "3600", "--note", "60@0:3600", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  // Wait until the rendering runs (its temporary file grows), then interrupt.
  for (int i = 0; i < 500 && std::filesystem::is_empty(folder); ++i) ::usleep(10000);
  ::usleep(200000);
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_TRUE(std::filesystem::is_empty(folder)) << "a file was left behind";
}

// Without --seconds the rendering lasts until the release has died away,
// and no longer.
TEST_F(ProbeWithMirel, DefaultLengthRunsUntilTheTailIsSilent) {
  const std::string out = scratch("tail.wav");
  const RunResult r = runProbe(
      {"render", bundle_, "--out", out, "--set", "ampEnv.release=2", "--note", "60@0:0.5:1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  WavData wav;
  std::string error;
  ASSERT_TRUE(readWav(out, wav, error)) << error;
  const std::size_t frames = wav.samples.size() / wav.channels;
  long lastSound = -1;
  for (std::size_t i = 0; i < frames; ++i)
    if (std::fabs(wav.samples[i * wav.channels]) > 1e-6f) lastSound = long(i);
  // A 2 s release sounds for about 3.3 s after the note-off at 0.5 s.
  EXPECT_GT(lastSound, long(3.5 * 48000)) << "the release was cut";
  EXPECT_LE(long(frames), lastSound + long(0.05 * 48000) + 1024)
      << "rendered long after the silence";
}

TEST_F(ProbeWithMirel, PcmFormatsWarnWhenSamplesClip) {
  for (const char* format : {"pcm24", "pcm16"}) {
    const std::string out = scratch(std::string("clip-") + format + ".wav");
    const RunResult loud = runProbe({"render", bundle_, "--out", out, "--format", format, "--set",
                                     "master.gain=1", "--set", "osc.type=square", "--set",
                                     "filter.resonance=10", "--note", "40@0:0.5:1"});
    ASSERT_EQ(loud.exitCode, 0) << loud.err;
    EXPECT_NE(loud.err.find("were clipped in '" + out + "' (" + format + ")"), std::string::npos)
        << loud.err;
    const RunResult quiet =
        runProbe({"render", bundle_, "--out", out, "--format", format, "--note", "60@0:0.5"});
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.err.find("clipped"), std::string::npos) << quiet.err;
  }
}

TEST(Probe, HelpDocumentsTheCommands) {
  const RunResult r = runProbe({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* text :
       {"orbel-probe info", "orbel-probe params", "orbel-probe render", "--note PITCH@START:DUR",
        "--set PATH=VALUE", "--auto PATH@SECONDS=VALUE", "--save-state", "--load-state",
        "orbel-probe bridge", "--send JSON", "--speed X", "--transport TEMPO"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace orbel::test
