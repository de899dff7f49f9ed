// Event queue, parameter table and re-publication of changed parameters.
#include <cmath>
#include <cstring>

#include "tests/engine/engine_fixture.h"

namespace orbel::enginetest {
namespace {

class QueueTest : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(engine.setup(48000.0, 512));
  }
  KernelEngine engine{testkernel::binding()};
};

TEST_F(QueueTest, QueueHolds2048RecordsAndDropsTheNext) {
  for (int i = 0; i < 2048; ++i) ASSERT_TRUE(engine.pushNoteOn(60, 0.5, i % 512, 0, 0));
  EXPECT_FALSE(engine.pushNoteOn(61, 0.5, 0, 0, 0));
  EXPECT_FALSE(engine.pushNoteOff(61, 0, 0, 0));
  EXPECT_FALSE(engine.pushParamNormalized(3, 0.5, 0));
  EXPECT_FALSE(engine.pushController(1, 1, 0, 0, 0));
  EXPECT_EQ(engine.queuedEventCount(), 2048);
  StereoOut out(512);
  render(engine, out, 512);
  EXPECT_EQ(engine.queuedEventCount(), 0);
  for (size_t i = 0; i < testkernel::eventCount(); ++i) EXPECT_NE(testkernel::event(i).a, 61u);
  // The block that lost them does not pass for a success, and says why.
  EXPECT_TRUE(engine.lastBlockDroppedEvents());
  engine.drainRuntimeDiagnostics();
  ASSERT_EQ(engine.diagnostics().count, 1u);
  EXPECT_EQ(diag(engine, 0).code, 22u);
  render(engine, out, 512);
  EXPECT_FALSE(engine.lastBlockDroppedEvents());
}

TEST_F(QueueTest, PushesInitialiseEveryField) {
  ASSERT_TRUE(engine.pushNoteOn(64, 0.8, 7, 3, 0x1F, 42));
  ASSERT_TRUE(engine.pushNoteOff(64, 9, 2, 5));
  ASSERT_TRUE(engine.pushController(74, 127, 11, 1, 2));
  ASSERT_TRUE(engine.pushParamNormalized(10, 0.25, 13));
  const EngineEvent expected[] = {
      {EngineEvent::kNoteOn, 7, 0, 0.8, 64, 3, 0xF, 0, false, 42},  // velocity unchanged here
      {EngineEvent::kNoteOff, 9, 0, 0.0, 64, 2, 5, 0, false},
      {EngineEvent::kController, 11, 74, 127.0, 0, 1, 2, 0, false},
      {EngineEvent::kParameter, 13, 10, 0.25, 0, 0, 0, 0, false},
  };
  ASSERT_EQ(engine.queuedEventCount(), 4);
  for (int i = 0; i < 4; ++i) {
    const EngineEvent& e = engine.queuedEvent(i);
    EXPECT_EQ(e.kind, expected[i].kind);
    EXPECT_EQ(e.sampleOffset, expected[i].sampleOffset);
    EXPECT_EQ(e.index, expected[i].index);
    EXPECT_EQ(e.value, expected[i].value);
    EXPECT_EQ(e.pitch, expected[i].pitch);
    EXPECT_EQ(e.route, expected[i].route);
    EXPECT_EQ(e.channel, expected[i].channel);
    EXPECT_EQ(e.absoluteFrame, 0u);
    EXPECT_FALSE(e.stamped);
    EXPECT_EQ(e.noteId, expected[i].noteId);
  }
  EXPECT_FALSE(engine.pushController(128, 0, 0, 0, 0));
  EXPECT_FALSE(engine.pushController(0, 128, 0, 0, 0));
  EXPECT_FALSE(engine.pushParamNormalized(11, 0.5, 0));
  EXPECT_FALSE(engine.pushParamNormalized(3, std::nan(""), 0));
}

struct Conversion {
  uint32_t id;
  double normalized, plain;
};

TEST_F(QueueTest, NormalizedValuesBecomePlainByDescriptor) {
  const Conversion cases[] = {
      {0, 0.5, 2},     {0, 0.1, 0},   {0, 1.0, 3},     {0, -4.0, 0},  // list of 4
      {1, 0.6, 0},     {1, 0.9, 2},   {1, 0.63, 1},                   // stepped
      {3, 1.5, 20000}, {3, -1.0, 20}, {3, 0.5, 10010},                // continuous
      {8, 0.25, 0.25},
  };
  for (const Conversion& c : cases) {
    ASSERT_TRUE(engine.pushParamNormalized(c.id, c.normalized, 0));
    EXPECT_DOUBLE_EQ(engine.queuedEvent(engine.queuedEventCount() - 1).value, c.plain)
        << "id " << c.id << " normalized " << c.normalized;
  }
}

TEST_F(QueueTest, ParameterTableAndVariationClampAndRefuse) {
  engine.setParamValue(3, 5000.0);
  EXPECT_EQ(engine.paramValue(3), 5000.0);
  engine.setParamValue(11, 1.0);
  EXPECT_EQ(engine.paramValue(11), 0.0);
  engine.setParamValue(3, std::nan(""));  // a non-finite value keeps the last good one
  EXPECT_EQ(engine.paramValue(3), 5000.0);
  EXPECT_DOUBLE_EQ(engine.paramNormalized(3), (5000.0 - 20.0) / 19980.0);
  engine.setParamValue(0, 7.0);
  EXPECT_EQ(engine.paramValue(0), 3.0);
  EXPECT_EQ(engine.paramNormalized(0), 1.0);
  EXPECT_EQ(engine.paramNormalized(12), 0.0);
  // Out of range, as a damaged state document may hold them: clamped, so the
  // kernel takes them (it refused -1e308 at every chunk and kept the old gain).
  engine.setParamValue(10, -1e308);
  engine.setParamValue(3, 1e9);
  EXPECT_EQ(engine.paramValue(10), 0.0);
  EXPECT_EQ(engine.paramValue(3), 20000.0);
  ASSERT_TRUE(engine.setup(48000.0, 128));
  StereoOut out(128);
  engine.processBlock(nullptr, 0, out.ptrs, 2, 128);
  EXPECT_EQ(engine.kernelParamValue(10), 0.0);
  EXPECT_EQ(engine.kernelParamValue(3), 20000.0);
  engine.setVariation(25);
  EXPECT_EQ(engine.variation(), 19);
  engine.setVariation(-3);
  EXPECT_EQ(engine.variation(), 0);
}

TEST_F(QueueTest, ChangedTableValuesAreRepublishedUnlessQueuedOnFirstFrame) {
  StereoOut out(256);
  engine.setParamValue(3, 5000.0);
  engine.setParamValue(4, 2.0);
  ASSERT_TRUE(engine.pushParamNormalized(3, 1.0, 0));  // id 3 queued on the first frame
  render(engine, out, 256);
  ASSERT_EQ(testkernel::acceptedCount(), 2u);
  EXPECT_EQ(testkernel::accepted(0).a, 4u);  // republished at frame 0
  EXPECT_EQ(testkernel::accepted(0).value, 2.0);
  EXPECT_EQ(testkernel::accepted(1).a, 3u);  // the queued value, not the table's
  EXPECT_EQ(testkernel::accepted(1).value, 20000.0);
  EXPECT_EQ(engine.paramValue(3), 20000.0);

  // Nothing changed: nothing is sent again.
  testkernel::resetAll();
  render(engine, out, 256);
  EXPECT_EQ(testkernel::eventCount(), 0u);
}

TEST_F(QueueTest, RefusedParameterIsOfferedAgainAtTheNextChunk) {
  testkernel::config().refuseParameters = true;
  engine.setParamValue(7, 1.5);
  StereoOut out(256);
  render(engine, out, 256);  // two chunks, two refused offers
  ASSERT_EQ(testkernel::eventCount(), 2u);
  EXPECT_EQ(testkernel::event(1).a, 7u);
  EXPECT_EQ(testkernel::event(1).kernelFrame, 128u);
  EXPECT_EQ(engine.kernelParamValue(7), 0.2);

  testkernel::config().refuseParameters = false;
  render(engine, out, 256);
  EXPECT_EQ(testkernel::acceptedCount(), 1u);
  EXPECT_EQ(engine.kernelParamValue(7), 1.5);
}

TEST_F(QueueTest, ResetAndFlushOperations) {
  engine.setParamValue(2, 50.0);
  engine.setVariation(4);
  ASSERT_TRUE(engine.pushParamNormalized(1, 1.0, 3));
  ASSERT_TRUE(engine.pushNoteOn(60, 1.0, 0, 0, 0));
  engine.flushParameterEvents();
  EXPECT_EQ(engine.paramValue(1), 2.0);
  EXPECT_EQ(engine.queuedEventCount(), 0);

  engine.resetParams();
  EXPECT_EQ(engine.paramValue(1), 0.0);
  EXPECT_EQ(engine.paramValue(2), 0.0);
  EXPECT_EQ(engine.variation(), 16);
  EXPECT_EQ(testkernel::resetCalls(), 1);
}

TEST_F(QueueTest, HistoryRecordsThirteenBytesPerEvent) {
  ASSERT_TRUE(engine.pushParamNormalized(10, 0.5, -4));
  ASSERT_TRUE(engine.pushNoteOn(69, 0.75, 900, 0, 0));
  ASSERT_TRUE(engine.pushController(1, 64, 3, 0, 0));  // not recorded
  ASSERT_TRUE(engine.pushNoteOff(69, 20, 0, 0));
  engine.appendEventsToHistory(512);
  const uint8_t expected[] = {
      1, 0,    0, 0, 0, 10, 0, 0, 0, 0x50, 0xC3, 0,    0,  // 0.5 * 100000 = 50000
      2, 0xFF, 1, 0, 0, 69, 0, 0, 0, 0xF8, 0x24, 0x01, 0,  // frame 511, 75000
      3, 20,   0, 0, 0, 69, 0, 0, 0, 0,    0,    0,    0,
  };
  ASSERT_EQ(engine.eventHistory().size(), sizeof expected);
  EXPECT_EQ(std::memcmp(engine.eventHistory().data(), expected, sizeof expected), 0);
  EXPECT_EQ(engine.paramValue(10), 0.5);
}

}  // namespace
}  // namespace orbel::enginetest
