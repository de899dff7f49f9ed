#include "diagnostics/lifecycle_log.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

namespace orbel {
namespace {

TEST(LifecycleKind, NamesRoundTrip) {
  int named = 0;
  for (int value = 0; value < 256; ++value) {
    const auto kind = static_cast<DiagnosticLifecycleKind>(value);
    const char* name = diagnosticLifecycleKindName(kind);
    if (value == 23 || value > 25) {
      EXPECT_EQ(name, nullptr) << value;
      continue;
    }
    ASSERT_NE(name, nullptr) << value;
    ++named;
    DiagnosticLifecycleKind back = DiagnosticLifecycleKind::Stimulus;
    EXPECT_TRUE(diagnosticLifecycleKindFromName(name, back));
    EXPECT_EQ(back, kind);
  }
  EXPECT_EQ(named, 25);
  EXPECT_STREQ(diagnosticLifecycleKindName(DiagnosticLifecycleKind::TimeSignatureChanged),
               "timeSignatureChanged");
  EXPECT_STREQ(diagnosticLifecycleKindName(DiagnosticLifecycleKind::CcMapChanged), "ccMapChanged");

  DiagnosticLifecycleKind kind = DiagnosticLifecycleKind::Reset;
  EXPECT_FALSE(diagnosticLifecycleKindFromName("Created", kind));
  EXPECT_FALSE(diagnosticLifecycleKindFromName("created ", kind));
  EXPECT_FALSE(diagnosticLifecycleKindFromName("", kind));
  EXPECT_FALSE(diagnosticLifecycleKindFromName(nullptr, kind));
  EXPECT_EQ(kind, DiagnosticLifecycleKind::Reset);
}

TEST(LifecycleLog, RecordsWithSequenceTimeAndDetails) {
  auto log = std::make_unique<DiagnosticLifecycleLog>();
  EXPECT_EQ(log->count, 0u);
  EXPECT_EQ(log->at(0).atFrame, -1);
  EXPECT_GE(log->nowMs(), 0.0);

  log->record(DiagnosticLifecycleKind::Created);
  DiagnosticLifecycleEvent& tempo = log->record(DiagnosticLifecycleKind::TempoChanged, 48000);
  tempo.addNumber("tempo", 128).addNumber("previous", 120);
  ASSERT_EQ(log->count, 2u);
  EXPECT_EQ(log->lastSeq, 2u);
  EXPECT_EQ(log->at(0).seq, 1u);
  EXPECT_EQ(log->at(1).seq, 2u);
  EXPECT_EQ(log->at(1).atFrame, 48000);
  EXPECT_GE(log->at(1).timeMs, log->at(0).timeMs);
  EXPECT_EQ(&log->newest(), &log->at(1));
  EXPECT_EQ(&log->at(2), &log->at(0)) << "an index at count gives the oldest";
  EXPECT_EQ(&log->at(1000), &log->at(0));
}

TEST(LifecycleLog, DetailSlotsCutAndCap) {
  DiagnosticLifecycleEvent event;
  event.addString("reason", std::string(100, 'r').c_str())
      .addString(nullptr, nullptr)
      .addBool("a-name-that-is-much-longer-than-23", true)
      .addNull("n")
      .addNumber("x", 1)
      .addNumber("y", 2)
      .addNumber("seventh", 7);
  ASSERT_EQ(event.detailCount, 6u);
  EXPECT_EQ(std::string(event.details[0].text), std::string(63, 'r'));
  EXPECT_STREQ(event.details[1].name, "");
  EXPECT_STREQ(event.details[1].text, "");
  EXPECT_EQ(std::string(event.details[2].name), "a-name-that-is-much-lon");
  EXPECT_EQ(event.details[5].number, 2);
}

TEST(LifecycleLog, EventJson) {
  DiagnosticLifecycleEvent event;
  event.seq = 7;
  event.timeMs = 12.5;
  event.kind = DiagnosticLifecycleKind::Created;
  std::string out;
  writeDiagnosticLifecycleEventJson(out, event);
  EXPECT_EQ(out, "{\"seq\":7,\"timeMs\":12.5,\"kind\":\"created\"}");

  event.atFrame = 0;
  event.kind = DiagnosticLifecycleKind::EditorError;
  event.timeMs = std::numeric_limits<double>::infinity();
  event.addString("reason", "bad \"bundle\"")
      .addNumber("nan", std::numeric_limits<double>::quiet_NaN())
      .addBool("ok", false)
      .addNull("none")
      .addNumber("n", 0.25);
  out.clear();
  writeDiagnosticLifecycleEventJson(out, event);
  EXPECT_EQ(
      out,
      "{\"seq\":7,\"timeMs\":null,\"atFrame\":0,\"kind\":\"editorError\",\"detail\":{"
      "\"reason\":\"bad \\\"bundle\\\"\",\"nan\":null,\"ok\":false,\"none\":null,\"n\":0.25}}");

  // A kind without a name is written as a runtime diagnostic.
  DiagnosticLifecycleEvent unnamed;
  unnamed.kind = static_cast<DiagnosticLifecycleKind>(23);
  out.clear();
  writeDiagnosticLifecycleEventJson(out, unnamed);
  EXPECT_EQ(out, "{\"seq\":0,\"timeMs\":0,\"kind\":\"runtimeDiagnostic\"}");
}

TEST(LifecycleLog, AnnouncementAndEmptyCases) {
  DiagnosticLifecycleEvent events[2];
  events[0].seq = 1;
  events[1].seq = 2;
  events[1].kind = DiagnosticLifecycleKind::Destroyed;
  std::string out = "x";
  EXPECT_FALSE(writeDiagnosticLifecycleJson(out, nullptr, 2, 0));
  EXPECT_FALSE(writeDiagnosticLifecycleJson(out, events, 0, 0));
  EXPECT_EQ(out, "x");
  out.clear();
  EXPECT_TRUE(writeDiagnosticLifecycleJson(out, events, 2, 0));
  EXPECT_EQ(
      out,
      "{\"type\":\"orbel.lifecycle\",\"events\":[{\"seq\":1,\"timeMs\":0,\"kind\":\"created\"},"
      "{\"seq\":2,\"timeMs\":0,\"kind\":\"destroyed\"}]}");
  out.clear();
  EXPECT_TRUE(writeDiagnosticLifecycleJson(out, events + 1, 1, 4));
  EXPECT_EQ(
      out,
      "{\"type\":\"orbel.lifecycle\",\"events\":[{\"seq\":2,\"timeMs\":0,\"kind\":\"destroyed\"}],"
      "\"dropped\":4}");

  auto log = std::make_unique<DiagnosticLifecycleLog>();
  out = "x";
  EXPECT_FALSE(writeDiagnosticLifecycleReplayJson(out, *log));
  EXPECT_EQ(out, "x");
}

TEST(LifecycleLog, The257thEventOverwritesTheOldest) {
  auto log = std::make_unique<DiagnosticLifecycleLog>();
  for (int i = 0; i < 256; ++i) {
    log->record(DiagnosticLifecycleKind::StateSaved)
        .addNumber("stateBytes", i)
        .addString("source", "ui");
  }
  EXPECT_EQ(log->head, 0);
  EXPECT_EQ(log->count, 256u);
  EXPECT_EQ(log->dropped, 0u);

  // The overwritten slot comes back cleared: no leftover details.
  DiagnosticLifecycleEvent& last = log->record(DiagnosticLifecycleKind::Stimulus);
  EXPECT_EQ(last.detailCount, 0u);
  EXPECT_STREQ(last.details[0].name, "");
  EXPECT_EQ(log->head, 1);
  EXPECT_EQ(log->count, 256u);
  EXPECT_EQ(log->dropped, 1u);
  EXPECT_EQ(log->lastSeq, 257u);
  EXPECT_EQ(log->at(0).seq, 2u);
  EXPECT_EQ(log->newest().seq, 257u);

  std::string replay;
  ASSERT_TRUE(writeDiagnosticLifecycleReplayJson(replay, *log));
  EXPECT_EQ(replay.rfind("{\"type\":\"orbel.lifecycle\",\"events\":[{\"seq\":2,", 0), 0u);
  EXPECT_NE(replay.find("{\"seq\":257,"), std::string::npos);
  EXPECT_EQ(replay.find("{\"seq\":1,"), std::string::npos);
  EXPECT_EQ(replay.substr(replay.size() - 14), "],\"dropped\":1}");

  // Keep going well past a second wrap of the 8-bit head.
  for (int i = 0; i < 600; ++i) log->record(DiagnosticLifecycleKind::Reset);
  EXPECT_EQ(log->count, 256u);
  EXPECT_EQ(log->dropped, 601u);
  EXPECT_EQ(log->at(0).seq, 857u - 255u);
  EXPECT_EQ(log->newest().seq, 857u);
}

}  // namespace
}  // namespace orbel
