// What a sounding note does when the host reconfigures the processor under
// it, the way DAWs do around an export, a rate change or a transport jump:
// a held note never outlives its note-off, a reactivated processor starts
// from silence, and the tail the processor reports covers its release.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "tests/module/module_fixture.h"

namespace orbel::testhost {
namespace {

constexpr ParamID kSustain = 8, kRelease = 9;
constexpr int32 kBlock = 256;

double peak(const Block& b) {
  double p = 0;
  for (size_t i = 0; i < b.left.size(); ++i)
    p = std::max({p, double(std::fabs(b.left[i])), double(std::fabs(b.right[i]))});
  return p;
}

struct Synth {
  Processor p;
  double rate;
  ProcessContext context{};

  explicit Synth(double r = 48000.0) : rate(r) {
    EXPECT_TRUE(p.ok() && p.start(rate, kBlock));
    context.sampleRate = rate;
    context.state = ProcessContext::kPlaying;
  }
  // Renders one block (which must report success) and returns its peak.
  double play(Block& b) {
    b.data.processContext = &context;
    EXPECT_EQ(p.audio->process(b.data), kResultOk);
    context.projectTimeSamples += b.data.numSamples;
    return peak(b);
  }
  double playEmpty(int blocks = 1) {
    double level = 0;
    for (int i = 0; i < blocks; ++i) {
      Block b(kBlock, 0.5f);  // garbage in the buffers: the processor must overwrite it
      level = std::max(level, play(b));
    }
    return level;
  }
  void setUp(double newRate, int32 maxBlock) {
    ProcessSetup setup{kRealtime, kSample32, maxBlock, newRate};
    EXPECT_EQ(p.audio->setupProcessing(setup), kResultOk);
    rate = newRate;
    context.sampleRate = newRate;
  }
};

// A release of 0.1 s: a released note is silent well within 0.25 s.
constexpr double kReleaseSeconds = 0.1;
int blocksFor(double seconds, double rate) { return int(std::ceil(seconds * rate / kBlock)); }

TEST(Lifecycle, SoundingNoteNeverOutlivesItsNoteOffWhateverTheHostDoesMeanwhile) {
  struct Case {
    const char* name;
    std::function<void(Synth&)> meanwhile;  // while note 60 sounds
    bool silentAfter;                       // the note is gone at once
  };
  const Case cases[] = {
      {"deactivated and reactivated",
       [](Synth& s) {
         s.p.audio->setProcessing(false);
         EXPECT_EQ(s.p.component->setActive(false), kResultOk);
         EXPECT_EQ(s.p.component->setActive(true), kResultOk);
         s.p.audio->setProcessing(true);
       },
       true},
      {"set up again at another rate and block size while inactive",
       [](Synth& s) {
         EXPECT_EQ(s.p.component->setActive(false), kResultOk);
         s.setUp(44100.0, 4096);
         EXPECT_EQ(s.p.component->setActive(true), kResultOk);
       },
       true},
      {"set up again while active", [](Synth& s) { s.setUp(48000.0, kBlock); }, true},
      {"transport stops and jumps back to the start",
       [](Synth& s) {
         s.context.state = 0;
         s.context.projectTimeSamples = 0;
         s.playEmpty();
         s.context.state = ProcessContext::kPlaying;
       },
       false},
      {"processing switched off and on",
       [](Synth& s) {
         s.p.audio->setProcessing(false);
         s.p.audio->setProcessing(true);
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Synth synth;
    Block settings(0);
    settings.params.add(kRelease, 0, kReleaseSeconds / 5.0);
    settings.data.numOutputs = 0;
    EXPECT_EQ(synth.p.audio->process(settings.data), kResultOk);
    Block on(kBlock);
    on.events.noteOn(60, 1.0f, 0);
    EXPECT_GT(synth.play(on), 0.05);

    c.meanwhile(synth);
    const double next = synth.playEmpty();
    if (c.silentAfter)
      EXPECT_EQ(next, 0.0) << "a reactivated or rebuilt processor starts from silence";
    else
      EXPECT_GT(next, 0.05) << "the note holds until its note-off";

    // The note-off the host sends for the note it started: nothing sounds a
    // release time later, and the next note plays as usual.
    Block off(kBlock);
    off.events.noteOff(60, 10);
    synth.play(off);
    synth.playEmpty(blocksFor(0.25, synth.rate));
    EXPECT_EQ(synth.playEmpty(), 0.0);
    Block again(kBlock);
    again.events.noteOn(64, 1.0f, 0);
    EXPECT_GT(synth.play(again), 0.05);
  }
}

// The tail a host may rely on before it stops processing an instrument: the
// release at its current setting, from full level to exact silence, plus one
// 128-frame quantum.
TEST(Lifecycle, TailSamplesCoverTheReleaseAtEveryRate) {
  for (double rate : {44100.0, 96000.0}) {
    for (double release : {0.0, 0.3, 2.0}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, release " << release << " s");
      Synth synth(rate);
      Block settings(kBlock);
      settings.params.add(kSustain, 0, 1.0);
      settings.params.add(kRelease, 0, release / 5.0);
      settings.events.noteOn(69, 1.0f, 0);
      synth.play(settings);
      synth.playEmpty(blocksFor(0.5, rate));  // at full level
      const uint32 tail = synth.p.audio->getTailSamples();

      // Frames counted from the note-off on.
      long lastSound = -1;
      for (long frame = 0; frame < long(tail) + 4 * kBlock; frame += kBlock) {
        Block b(kBlock);
        if (frame == 0) b.events.noteOff(69, 0);
        synth.play(b);
        for (int32 i = 0; i < kBlock; ++i)
          if (b.left[size_t(i)] != 0.0f) lastSound = frame + i;
      }
      ASSERT_GE(lastSound, 0);
      EXPECT_GT(long(tail), lastSound) << "the host would cut the release";
      EXPECT_LT(long(tail), lastSound + 3 * 128) << "the reported tail is longer than the sound";
    }
  }
}

}  // namespace
}  // namespace orbel::testhost
