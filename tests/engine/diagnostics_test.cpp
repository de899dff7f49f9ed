// Engine diagnostics: the main-thread list and the realtime ring with its drain.
#include "tests/engine/engine_fixture.h"

namespace orbel::enginetest {
namespace {

class DiagnosticsTest : public EngineTest {
protected:
  KernelEngine engine{testkernel::binding()};
};

TEST_F(DiagnosticsTest, ListKeeps32RecordsAndCountsTheRest) {
  for (int i = 0; i < 33; ++i) engine.recordDiagnostic(5, i == 3 ? 2 : 1, 7, "m", nullptr);
  const orbel_runtime_diagnostic_ring& ring = engine.diagnostics();
  EXPECT_EQ(ring.count, 32u);
  EXPECT_EQ(ring.dropped, 1u);
  EXPECT_EQ(ring.nextSequence, 34u);
  EXPECT_EQ(ring.firstErrorSequence, 4u);
  EXPECT_EQ(ring.records[0].sequence, 1u);
  EXPECT_EQ(ring.records[31].sequence, 32u);
}

TEST_F(DiagnosticsTest, DrainGivesRealtimeEntriesTheirTexts) {
  engine.recordRealtimeDiagnostic(4, 3, 7);
  engine.recordRealtimeDiagnostic(2, 2, 7);
  engine.recordRealtimeDiagnostic(22, 2, 7);
  engine.recordRealtimeDiagnostic(19, 1, 7);
  EXPECT_EQ(engine.diagnostics().count, 0u);  // nothing reaches the list before a drain
  engine.drainRuntimeDiagnostics();
  const char* messages[] = {
      "audio process callback failed; output was cleared",
      "sample-rate adapter failed; output was cleared",
      "runtime diagnostic observed on the audio callback",
      "runtime diagnostic observed on the audio callback",
  };
  const uint32_t codes[] = {4, 2, 22, 19};
  const uint8_t severities[] = {3, 2, 2, 1};
  ASSERT_EQ(engine.diagnostics().count, 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(diag(engine, i).code, codes[i]);
    EXPECT_EQ(diag(engine, i).severity, severities[i]);
    EXPECT_EQ(diag(engine, i).phase, 7);
    EXPECT_STREQ(diag(engine, i).message, messages[i]);
    EXPECT_STREQ(diag(engine, i).detail, "audio callback");
  }
  EXPECT_EQ(engine.diagnostics().firstErrorSequence, 1u);

  // An empty ring with no overflow changes nothing.
  const orbel_runtime_diagnostic_ring before = engine.diagnostics();
  engine.drainRuntimeDiagnostics();
  EXPECT_EQ(engine.diagnostics().count, before.count);
  EXPECT_EQ(engine.diagnostics().nextSequence, before.nextSequence);
  EXPECT_EQ(engine.diagnostics().dropped, before.dropped);
}

TEST_F(DiagnosticsTest, RingOverflowIsReportedOnceAndKeepsItsSlot) {
  for (int i = 0; i < 40; ++i) engine.recordRealtimeDiagnostic(22, 2, 7);
  EXPECT_EQ(engine.pendingRealtimeDiagnostics(), 32u);
  engine.drainRuntimeDiagnostics();
  const orbel_runtime_diagnostic_ring& ring = engine.diagnostics();
  // 32 entries and the overflow report compete for 32 slots: the last entry
  // gives way so that the report of the loss is not itself lost.
  ASSERT_EQ(ring.count, 32u);
  EXPECT_EQ(ring.dropped, 1u);
  EXPECT_EQ(ring.nextSequence, 34u);
  const orbel_runtime_diagnostic& last = ring.records[31];
  EXPECT_EQ(last.code, 25u);
  EXPECT_EQ(last.severity, 1);
  EXPECT_EQ(last.phase, 7);
  EXPECT_EQ(last.sequence, 33u);
  EXPECT_STREQ(last.message, "audio diagnostic queue overflowed");
  EXPECT_STREQ(last.detail, "dropped=8; source=audio callback");
  EXPECT_EQ(engine.pendingRealtimeDiagnostics(), 0u);

  // The ring works on after the overflow; the overflow count was reset.
  engine.recordRealtimeDiagnostic(4, 2, 7);
  engine.drainRuntimeDiagnostics();
  EXPECT_EQ(engine.diagnostics().dropped, 2u);  // the list itself is full now
  EXPECT_EQ(engine.diagnostics().nextSequence, 35u);
}

}  // namespace
}  // namespace orbel::enginetest
