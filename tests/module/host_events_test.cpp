// Host situations that used to leave notes stuck or changes unheard, driven
// through the built bundle as hosts drive it: parameter flushes while the
// transport stands, note events outside the block, a panic flood of
// note-offs, overlapping notes of one pitch with note ids, and more tracks
// than the kernel has instances, some of them disabled.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tests/module/module_fixture.h"

namespace orbel::testhost {
namespace {

constexpr ParamID kRelease = 9, kGain = 10;
constexpr int32 kBlock = 512;

double rms(const Block& b) {
  double sum = 0;
  for (float v : b.left) sum += double(v) * v;
  return std::sqrt(sum / double(b.left.size()));
}

// A processor started at 48 kHz with a release of 0 s, so a released note is
// silent within a block.
struct Instrument {
  Processor p;
  Instrument() {
    EXPECT_TRUE(p.ok() && p.start(48000.0, kBlock));
    Block b(kBlock);
    b.params.add(kRelease, 0, 0.0);
    EXPECT_EQ(p.audio->process(b.data), kResultOk);
  }
  // Renders `b` (which must report success) and returns its level.
  double play(Block& b) {
    EXPECT_EQ(p.audio->process(b.data), kResultOk);
    return rms(b);
  }
  double playEmpty(int blocks = 1) {
    double level = 0;
    for (int i = 0; i < blocks; ++i) {
      Block b(kBlock);
      level = play(b);
    }
    return level;
  }
  void flush(Block& f) {
    f.data.numOutputs = 0;
    f.data.outputs = nullptr;
    EXPECT_EQ(p.audio->process(f.data), kResultOk);
  }
};

TEST(HostEvents, ChangesOfEveryFlushInARowAreHeard) {
  Instrument synth;
  Block first(0), second(0);
  first.params.add(kGain, 0, 0.0);
  second.params.add(kRelease, 0, 0.2);
  synth.flush(first);
  synth.flush(second);
  Block b(kBlock);
  b.events.noteOn(60, 1.0f, 0);
  EXPECT_EQ(synth.play(b), 0.0);  // at the flushed gain of 0 from the first frame
  Block louder(kBlock);
  louder.params.add(kGain, 0, 0.8);
  EXPECT_GT(synth.play(louder), 0.01);  // the note was there all along
}

TEST(HostEvents, NoteEventsOutsideTheBlockOrInAFlushAreNeverLost) {
  struct Case {
    const char* name;
    int32 onOffset;   // of the note-on in the first block
    bool offInFlush;  // the note-off comes in a flush before the second block
    int32 offOffset;
  };
  const Case cases[] = {
      {"note-on one past the block", kBlock, false, 100},
      {"note-on before the block", -1, false, 100},
      {"note-off one past the block", 0, false, kBlock},
      {"note-off before the block", 0, false, -1},
      {"note-off in a flush", 0, true, 0},
      {"note-off far past a flush", 0, true, 4000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instrument synth;
    Block on(kBlock);
    on.events.noteOn(60, 1.0f, c.onOffset);
    synth.play(on);
    EXPECT_GT(synth.playEmpty(), 0.01);  // held

    Block off(kBlock), flush(0);
    (c.offInFlush ? flush : off).events.noteOff(60, c.offOffset);
    if (c.offInFlush) synth.flush(flush);
    synth.play(off);
    EXPECT_EQ(synth.playEmpty(2), 0.0);
  }
}

TEST(HostEvents, PanicFloodOfNoteOffsReleasesEveryNote) {
  for (int32 offset : {0, kBlock - 1, kBlock}) {
    SCOPED_TRACE(offset);
    Instrument synth;
    Block on(kBlock);
    on.events.noteOn(100, 1.0f, 0);  // its note-off is the 101st of the flood
    EXPECT_GT(synth.play(on), 0.01);
    Block panic(kBlock);
    for (int pitch = 0; pitch < 128; ++pitch) panic.events.noteOff(pitch, offset);
    synth.play(panic);
    EXPECT_EQ(synth.playEmpty(2), 0.0);
  }
}

TEST(HostEvents, NoteOffOfAnEarlierNoteLeavesTheNewerOneOfThatPitchSounding) {
  Instrument synth;
  Block b(kBlock);
  b.events.noteOn(60, 1.0f, 0, 0, 0, 1);
  b.events.noteOn(60, 1.0f, 100, 0, 0, 2);
  b.events.noteOff(60, 200, 0, 0, 1);
  synth.play(b);
  EXPECT_GT(synth.playEmpty(3), 0.01);  // the second note holds

  Block off(kBlock);
  off.events.noteOff(60, 0, 0, 0, 2);
  synth.play(off);
  EXPECT_EQ(synth.playEmpty(2), 0.0);
}

// The kernel holds 32 instances per process; a disabled track must not keep
// one from the tracks that play.
TEST(HostEvents, FortiethInstanceSoundsAfterThirtyNineWereDeactivated) {
  std::vector<std::unique_ptr<Processor>> tracks;
  for (int i = 0; i < 39; ++i) {
    tracks.push_back(std::make_unique<Processor>());
    ASSERT_TRUE(tracks.back()->ok() && tracks.back()->start()) << i;
    ASSERT_EQ(tracks.back()->component->setActive(false), kResultOk) << i;
  }
  Instrument fortieth;
  Block b(kBlock);
  b.events.noteOn(69, 1.0f, 0);
  EXPECT_GT(fortieth.play(b), 0.01);

  // And the disabled ones play again when enabled (31 more fit).
  for (int i = 0; i < 31; ++i)
    ASSERT_EQ(tracks[size_t(i)]->component->setActive(true), kResultOk) << i;
  EXPECT_EQ(tracks[31]->component->setActive(true), kResultFalse);
}

}  // namespace
}  // namespace orbel::testhost
