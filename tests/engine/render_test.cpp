// Direct rendering: 128-frame chunks, sample-accurate delivery, failures.
#include "tests/engine/engine_fixture.h"

namespace orbel::enginetest {
namespace {

class RenderTest : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(engine.setup(48000.0, 1024));
  }
  KernelEngine engine{testkernel::binding()};
};

TEST_F(RenderTest, BlockIsRenderedInChunksWithEventsAtTheirFrames) {
  StereoOut out(300);
  ASSERT_TRUE(engine.pushNoteOn(60, 0.75, 200, 0, 0));
  render(engine, out, 300);
  ASSERT_EQ(testkernel::processCallCount(), 3u);
  EXPECT_EQ(testkernel::processFrames(0), 128u);
  EXPECT_EQ(testkernel::processFrames(1), 128u);
  EXPECT_EQ(testkernel::processFrames(2), 44u);
  ASSERT_EQ(testkernel::acceptedCount(), 1u);
  EXPECT_EQ(testkernel::accepted(0).kind, uint32_t(ORBEL_KERNEL_EVENT_NOTE_ON));
  EXPECT_EQ(testkernel::accepted(0).frame, 72u);  // within the second chunk
  EXPECT_EQ(testkernel::accepted(0).kernelFrame, 200u);
  // The gate signal shows the note from host frame 200 on, on both channels.
  EXPECT_TRUE(allZero(out.left, 0, 200));
  EXPECT_EQ(out.left[200], 0.75f);
  EXPECT_EQ(out.left[299], 0.75f);
  EXPECT_EQ(out.left, out.right);
  EXPECT_FALSE(engine.lastBlockFailed());
  EXPECT_FALSE(engine.outputSilent());
  EXPECT_EQ(engine.queuedEventCount(), 0);
}

TEST_F(RenderTest, EventsAreSortedStablyByOffset) {
  StereoOut out(256);
  ASSERT_TRUE(engine.pushNoteOn(62, 0.5, 130, 0, 0));
  ASSERT_TRUE(engine.pushNoteOff(62, 40, 0, 0));
  ASSERT_TRUE(engine.pushNoteOn(64, 0.5, 40, 0, 0));
  ASSERT_TRUE(engine.pushParamNormalized(10, 0.0, 40));
  ASSERT_TRUE(engine.pushNoteOn(60, 0.5, 3, 0, 0));
  render(engine, out, 256);
  const uint32_t expectedKinds[] = {2, 3, 2, 1, 2};
  const uint64_t expectedFrames[] = {3, 40, 40, 40, 130};
  ASSERT_EQ(testkernel::acceptedCount(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(testkernel::accepted(i).kind, expectedKinds[i]) << i;
    EXPECT_EQ(testkernel::accepted(i).kernelFrame, expectedFrames[i]) << i;
  }
  EXPECT_EQ(testkernel::accepted(1).a, 62u);
  EXPECT_EQ(testkernel::accepted(2).a, 64u);
}

TEST_F(RenderTest, OffsetsOutsideTheBlockLandOnItsNearestFrame) {
  StereoOut out(256);
  ASSERT_TRUE(engine.pushNoteOn(61, 0.5, 256, 0, 0));
  ASSERT_TRUE(engine.pushNoteOn(60, 0.5, -5, 0, 0));
  ASSERT_TRUE(engine.pushNoteOff(62, 300, 0, 0));
  ASSERT_TRUE(engine.pushParamNormalized(10, 0.25, 400));
  render(engine, out, 256);
  // Ordered by the host's offsets first, then brought into the block.
  const uint32_t kinds[] = {2, 2, 3, 1};
  const uint32_t a[] = {60, 61, 62, 10};
  const uint64_t frames[] = {0, 255, 255, 255};
  ASSERT_EQ(testkernel::acceptedCount(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(testkernel::accepted(i).kind, kinds[i]) << i;
    EXPECT_EQ(testkernel::accepted(i).a, a[i]) << i;
    EXPECT_EQ(testkernel::accepted(i).kernelFrame, frames[i]) << i;
  }
  EXPECT_EQ(engine.queuedEventCount(), 0);
  EXPECT_FALSE(engine.lastBlockDroppedEvents());
}

TEST_F(RenderTest, FailingKernelChunkIsZeroedAndReported) {
  testkernel::config().signal = testkernel::Signal::kDc;
  testkernel::config().amplitude = 0.5f;
  testkernel::config().failProcessCall = 1;
  engine.setParamValue(10, 0.3);
  StereoOut out(300, 9.0f);
  render(engine, out, 300);
  EXPECT_TRUE(engine.lastBlockFailed());
  for (int i = 0; i < 128; ++i) ASSERT_EQ(out.left[i], 0.5f) << i;
  EXPECT_TRUE(allZero(out.left, 128, 256));
  EXPECT_TRUE(allZero(out.right, 128, 256));
  EXPECT_EQ(out.left[256], 0.5f);  // the remaining chunk still renders
  EXPECT_EQ(out.left[299], 0.5f);
  EXPECT_FALSE(engine.outputSilent());
  // The instance was started afresh and the parameter sent again.
  EXPECT_EQ(testkernel::resetCalls(), 1);
  ASSERT_EQ(testkernel::acceptedCount(), 2u);
  EXPECT_EQ(testkernel::accepted(1).a, 10u);
  EXPECT_EQ(testkernel::accepted(1).frame, 0u);  // first frame of the third chunk

  engine.drainRuntimeDiagnostics();
  ASSERT_EQ(engine.diagnostics().count, 1u);
  EXPECT_EQ(diag(engine, 0).code, 4u);
  EXPECT_EQ(diag(engine, 0).severity, 2);
  EXPECT_EQ(diag(engine, 0).phase, 7);
  EXPECT_STREQ(diag(engine, 0).message, "audio process callback failed; output was cleared");
  EXPECT_STREQ(diag(engine, 0).detail, "audio callback");

  render(engine, out, 300);
  EXPECT_FALSE(engine.lastBlockFailed());
}

TEST_F(RenderTest, FullKernelQueueEndsTheCallEarlyInsteadOfDroppingEvents) {
  // The kernel takes 64 events per call. 70 parameter points followed by a
  // note-off in one chunk: the call is split so that nothing is lost.
  for (int i = 0; i < 70; ++i) ASSERT_TRUE(engine.pushParamNormalized(10, i / 100.0, i));
  ASSERT_TRUE(engine.pushNoteOff(60, 100, 0, 0));
  StereoOut out(128);
  render(engine, out, 128);
  ASSERT_EQ(testkernel::processCallCount(), 2u);
  EXPECT_EQ(testkernel::processFrames(0), 64u);
  EXPECT_EQ(testkernel::processFrames(1), 64u);
  bool pointAt[70] = {};
  bool noteOff = false;
  for (size_t i = 0; i < testkernel::acceptedCount(); ++i) {
    const testkernel::LoggedEvent& e = testkernel::accepted(i);
    if (e.kind == ORBEL_KERNEL_EVENT_PARAMETER && e.kernelFrame < 70) {
      pointAt[e.kernelFrame] = e.value == e.kernelFrame / 100.0;
    }
    if (e.kind == ORBEL_KERNEL_EVENT_NOTE_OFF) noteOff = e.kernelFrame == 100;
  }
  for (int i = 0; i < 70; ++i) EXPECT_TRUE(pointAt[i]) << "point at frame " << i;
  EXPECT_TRUE(noteOff);
  EXPECT_EQ(engine.kernelParamValue(10), 0.69);
  engine.drainRuntimeDiagnostics();
  EXPECT_EQ(engine.diagnostics().count, 0u);
}

// The kernel fills up in the middle of a group of events at one frame: the
// call ends at that frame, so the group's events it already took would fall
// outside the call and be dropped. The whole group must open the next call.
TEST_F(RenderTest, FullKernelQueueNeverLosesTheEventsOfASplitFrame) {
  struct Case {
    const char* path;
    double rate;
  };
  for (const Case& c : {Case{"direct", 48000.0}, Case{"adapter", 44100.0}}) {
    SCOPED_TRACE(c.path);
    testkernel::resetAll();
    testkernel::config().only48k = c.rate != 48000.0;
    KernelEngine e(testkernel::binding());
    ASSERT_TRUE(e.setup(c.rate, 512));
    // 63 points at distinct frames, then a note-on and one more point at the
    // same frame: the note-on is the kernel's 64th event, the point the 65th.
    for (int i = 0; i < 63; ++i) ASSERT_TRUE(e.pushParamNormalized(10, i / 100.0, i));
    ASSERT_TRUE(e.pushNoteOn(60, 0.5, 63, 0, 0));
    ASSERT_TRUE(e.pushParamNormalized(10, 0.9, 63));
    StereoOut out(512);
    render(e, out, 512);
    EXPECT_NEAR(out.left[511], 0.5f, 1e-5) << "the note-on was lost";
    EXPECT_EQ(e.kernelParamValue(10), 0.9);
    EXPECT_EQ(e.queuedEventCount(), 0);
  }
}

// More events on one frame than the kernel takes in a call (panic: 128
// note-offs at once): each reaches the kernel once, in order, the overflow at
// the following frames; a flood on a block's last frame opens the next block.
TEST_F(RenderTest, FloodOnOneFrameReachesTheKernelInTurns) {
  struct Case {
    const char* name;
    double rate;
    int32_t offset;
  };
  const Case cases[] = {
      {"first frame", 48000.0, 0},           {"inside a chunk", 48000.0, 100},
      {"last frame", 48000.0, 255},          {"first frame, adapter", 44100.0, 0},
      {"last frame, adapter", 44100.0, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkernel::resetAll();
    testkernel::config().only48k = c.rate != 48000.0;
    KernelEngine e(testkernel::binding());
    ASSERT_TRUE(e.setup(c.rate, 256));
    e.setParamValue(10, 0.5);  // re-published at the first chunk: the kernel's queue fills sooner
    for (int pitch = 0; pitch < 128; ++pitch) ASSERT_TRUE(e.pushNoteOff(pitch, c.offset, 0, 0));
    StereoOut out(256);
    for (int block = 0; block < 3; ++block) {
      render(e, out, 256);
      EXPECT_FALSE(e.lastBlockFailed());
      EXPECT_FALSE(e.lastBlockDroppedEvents());
    }
    std::vector<uint32_t> pitches;
    uint64_t lastFrame = 0;
    for (size_t i = 0; i < testkernel::appliedCount(); ++i) {
      const testkernel::LoggedEvent& ev = testkernel::applied(i);
      if (ev.kind != ORBEL_KERNEL_EVENT_NOTE_OFF) continue;
      pitches.push_back(ev.a);
      EXPECT_GE(ev.kernelFrame, lastFrame);
      lastFrame = ev.kernelFrame;
    }
    ASSERT_EQ(pitches.size(), 128u);
    for (uint32_t p = 0; p < 128; ++p) EXPECT_EQ(pitches[p], p);
    EXPECT_EQ(e.queuedEventCount(), 0);
  }
}

TEST_F(RenderTest, NoteIdsKeepANewerNoteOfTheSamePitchSounding) {
  struct Case {
    const char* name;
    int32_t pitch, firstId, secondId, offId;
    bool released;
  };
  const Case cases[] = {
      {"off for the first note", 60, 1, 2, 1, false},
      {"off for the sounding note", 60, 1, 2, 2, true},
      {"off without an id", 60, 1, 2, -1, true},
      {"notes without ids", 60, -1, -1, 7, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkernel::resetAll();
    KernelEngine e(testkernel::binding());
    ASSERT_TRUE(e.setup(48000.0, 256));
    ASSERT_TRUE(e.pushNoteOn(c.pitch, 0.25, 0, 0, 0, c.firstId));
    ASSERT_TRUE(e.pushNoteOn(c.pitch, 0.5, 10, 0, 0, c.secondId));
    ASSERT_TRUE(e.pushNoteOff(c.pitch, 20, 0, 0, c.offId));
    StereoOut out(256);
    render(e, out, 256);
    EXPECT_EQ(out.left[255], c.released ? 0.0f : 0.5f);
    EXPECT_FALSE(e.lastBlockDroppedEvents());
  }
}

TEST_F(RenderTest, NoteOffBeyondTheMidiRangeIsDeliveredWithoutIdMatching) {
  // The test kernel takes note-offs of any pitch, as a kernel may.
  ASSERT_TRUE(engine.setup(48000.0, 128));
  ASSERT_TRUE(engine.pushNoteOff(129, 0, 0, 0, 5));
  ASSERT_TRUE(engine.pushNoteOff(-3, 0, 0, 0, 5));
  StereoOut out(128);
  render(engine, out, 128);
  EXPECT_FALSE(engine.lastBlockDroppedEvents());
}

TEST_F(RenderTest, RefusedNoteRaisesEventRejected) {
  testkernel::config().refuseNotes = true;
  StereoOut out(64);
  ASSERT_TRUE(engine.pushNoteOn(60, 0.5, 0, 0, 0));
  ASSERT_TRUE(engine.pushController(1, 10, 0, 0, 0));  // never delivered, never reported
  render(engine, out, 64);
  EXPECT_FALSE(engine.lastBlockFailed());
  EXPECT_TRUE(engine.lastBlockDroppedEvents());  // the note is lost: no success
  engine.drainRuntimeDiagnostics();
  ASSERT_EQ(engine.diagnostics().count, 1u);
  EXPECT_EQ(diag(engine, 0).code, 22u);
  EXPECT_EQ(diag(engine, 0).severity, 2);
  EXPECT_STREQ(diag(engine, 0).message, "runtime diagnostic observed on the audio callback");
  EXPECT_STREQ(diag(engine, 0).detail, "audio callback");
}

// Hosts send zero-frame blocks while the transport stands, often several in
// a row: each one's parameter values and notes must reach the next block.
TEST_F(RenderTest, FlushesHoldEverythingForTheNextBlock) {
  ASSERT_TRUE(engine.pushParamNormalized(3, 0.0, 5));
  ASSERT_TRUE(engine.pushParamNormalized(3, 1.0, 2));
  ASSERT_TRUE(engine.pushNoteOn(60, 0.5, 9, 0, 0));
  engine.processBlock(nullptr, 0, nullptr, 0, 0);
  EXPECT_EQ(engine.paramValue(3), 20.0);  // sorted: offset 5 comes last
  ASSERT_TRUE(engine.pushParamNormalized(9, 1.0, 0));
  ASSERT_TRUE(engine.pushNoteOff(60, -3, 0, 0));
  engine.processBlock(nullptr, 0, nullptr, 0, 0);
  EXPECT_EQ(testkernel::processCallCount(), 0u);
  EXPECT_EQ(testkernel::eventCount(), 0u);
  EXPECT_FALSE(engine.lastBlockFailed());

  // The next block: both values, then both notes in order, before the
  // block's own first-frame note.
  ASSERT_TRUE(engine.pushNoteOn(64, 0.5, 0, 0, 0));
  StereoOut out(64);
  render(engine, out, 64);
  ASSERT_EQ(testkernel::acceptedCount(), 5u);
  const uint32_t kinds[] = {1, 1, 2, 3, 2};
  const uint32_t a[] = {3, 9, 60, 60, 64};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(testkernel::accepted(i).kind, kinds[i]) << i;
    EXPECT_EQ(testkernel::accepted(i).a, a[i]) << i;
    EXPECT_EQ(testkernel::accepted(i).kernelFrame, 0u) << i;
  }
  EXPECT_EQ(engine.kernelParamValue(3), 20.0);
  EXPECT_EQ(engine.kernelParamValue(9), 5.0);
  EXPECT_EQ(engine.queuedEventCount(), 0);
}

TEST_F(RenderTest, UnusableBlocksAreClearedAndReported) {
  StereoOut big(1025, 1.0f);
  engine.processBlock(nullptr, 0, big.ptrs, 2, 1025);  // above the set-up maximum
  EXPECT_TRUE(engine.lastBlockFailed());
  EXPECT_TRUE(engine.outputSilent());
  EXPECT_TRUE(allZero(big.left, 0, 1025));

  engine.processBlock(nullptr, 0, nullptr, 2, 64);  // no output list
  EXPECT_TRUE(engine.lastBlockFailed());
  StereoOut out(64, 1.0f);
  engine.processBlock(nullptr, 0, out.ptrs, 0, 64);  // no output channel
  EXPECT_TRUE(engine.lastBlockFailed());
  EXPECT_EQ(out.left[0], 1.0f);  // a list with count 0 is not touched

  engine.drainRuntimeDiagnostics();
  ASSERT_EQ(engine.diagnostics().count, 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(diag(engine, i).code, 4u);
    EXPECT_EQ(diag(engine, i).severity, 2);
  }
  EXPECT_EQ(testkernel::processCallCount(), 0u);
}

TEST_F(RenderTest, NullChannelIsSkippedAndSilenceIsReported) {
  testkernel::config().signal = testkernel::Signal::kDc;
  testkernel::config().amplitude = 0.25f;
  StereoOut out(100);
  float* channels[3] = {nullptr, out.right.data(), out.left.data()};
  engine.processBlock(nullptr, 0, channels, 3, 100);
  EXPECT_EQ(out.right[99], 0.25f);
  EXPECT_EQ(out.left[0], 0.25f);
  EXPECT_FALSE(engine.outputSilent());

  testkernel::config().amplitude = 0.0f;
  engine.processBlock(nullptr, 0, channels, 3, 100);
  EXPECT_TRUE(engine.outputSilent());
  EXPECT_FALSE(engine.lastBlockFailed());
}

}  // namespace
}  // namespace orbel::enginetest
