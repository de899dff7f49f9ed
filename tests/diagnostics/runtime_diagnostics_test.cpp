#include "diagnostics/runtime_diagnostics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace orbel {
namespace {

TEST(RuntimeDiagnosticRing, FreshRing) {
  orbel_runtime_diagnostic_ring ring;
  EXPECT_EQ(ring.version, 1u);
  EXPECT_EQ(ring.nextSequence, 1u);
  EXPECT_EQ(ring.dropped, 0u);
  EXPECT_EQ(ring.firstErrorSequence, 0u);
  EXPECT_EQ(ring.count, 0u);

  ring.count = 5;
  ring.nextSequence = 9;
  orbel_runtime_diagnostic_ring_init(&ring);
  EXPECT_EQ(ring.count, 0u);
  EXPECT_EQ(ring.nextSequence, 1u);
}

TEST(RuntimeDiagnosticRing, FullRingDropsWithoutOverwritingAndLeavesSequenceGap) {
  orbel_runtime_diagnostic_ring ring;
  for (uint32_t i = 0; i < 32; ++i) {
    EXPECT_TRUE(orbel_runtime_diagnostic_record(&ring, 22, ORBEL_DIAG_SEVERITY_WARNING,
                                                ORBEL_DIAG_PHASE_PROCESS, "m", nullptr));
  }
  // The 33rd is lost; the sequence still advances.
  EXPECT_FALSE(orbel_runtime_diagnostic_record(&ring, 4, ORBEL_DIAG_SEVERITY_FATAL,
                                               ORBEL_DIAG_PHASE_PROCESS, "lost", nullptr));
  EXPECT_EQ(ring.count, 32u);
  EXPECT_EQ(ring.dropped, 1u);
  EXPECT_EQ(ring.nextSequence, 34u);
  EXPECT_EQ(ring.firstErrorSequence, 0u) << "a lost record must not set the first error";
  EXPECT_EQ(ring.records[0].sequence, 1u);
  EXPECT_EQ(ring.records[31].sequence, 32u);
  EXPECT_EQ(ring.records[31].code, 22u);

  // Room again (a copy whose oldest records were consumed): the next sequence
  // continues after the gap.
  orbel_runtime_diagnostic_ring copy = ring;
  copy.count = 31;
  ASSERT_TRUE(orbel_runtime_diagnostic_record(&copy, 1, 3, 5, "again", ""));
  EXPECT_EQ(copy.records[31].sequence, 34u);
}

TEST(RuntimeDiagnosticRing, RecordFieldsAndFirstError) {
  orbel_runtime_diagnostic_ring ring;
  orbel_runtime_diagnostic_record(&ring, 25, ORBEL_DIAG_SEVERITY_WARNING, ORBEL_DIAG_PHASE_PROCESS,
                                  "audio diagnostic queue overflowed",
                                  "dropped=8; source=audio callback");
  orbel_runtime_diagnostic_record(&ring, 14, ORBEL_DIAG_SEVERITY_ERROR, ORBEL_DIAG_PHASE_CONFIGURE,
                                  nullptr, nullptr);
  orbel_runtime_diagnostic_record(&ring, 1, ORBEL_DIAG_SEVERITY_FATAL, ORBEL_DIAG_PHASE_CONFIGURE,
                                  "product kernel instance creation failed", nullptr);
  ASSERT_EQ(ring.count, 3u);
  EXPECT_EQ(ring.firstErrorSequence, 2u);
  const orbel_runtime_diagnostic& r0 = ring.records[0];
  EXPECT_EQ(r0.sequence, 1u);
  EXPECT_EQ(r0.code, 25u);
  EXPECT_EQ(r0.severity, 1);
  EXPECT_EQ(r0.phase, 7);
  EXPECT_EQ(r0.reserved[0], 0);
  EXPECT_EQ(r0.reserved[1], 0);
  EXPECT_STREQ(r0.message, "audio diagnostic queue overflowed");
  EXPECT_STREQ(r0.detail, "dropped=8; source=audio callback");
  EXPECT_STREQ(ring.records[1].message, "");
  EXPECT_STREQ(ring.records[1].detail, "");
}

TEST(RuntimeDiagnosticRing, TextsAreTruncatedAndTerminated) {
  orbel_runtime_diagnostic_ring ring;
  const std::string longMessage(500, 'm');
  const std::string longDetail(300, 'd');
  orbel_runtime_diagnostic_record(&ring, 8, 2, 9, longMessage.c_str(), longDetail.c_str());
  EXPECT_EQ(std::strlen(ring.records[0].message), 191u);
  EXPECT_EQ(std::strlen(ring.records[0].detail), 127u);

  // Exactly at the limit: kept whole.
  const std::string exact(191, 'x');
  orbel_runtime_diagnostic_record(&ring, 8, 2, 9, exact.c_str(), nullptr);
  EXPECT_EQ(std::string(ring.records[1].message), exact);
}

TEST(RuntimeDiagnosticRing, TruncationNeverSplitsUtf8) {
  char out[8];  // 7 bytes of text
  // "abcde" + U+00E9 (2 bytes) + "z": the cut at 7 would fall after the whole é.
  EXPECT_EQ(orbel_copy_truncated(out, sizeof out, "abcde\xC3\xA9z"), 7u);
  EXPECT_STREQ(out, "abcde\xC3\xA9");
  // "abcdef" + é: the cut at 7 would split é, so it goes.
  EXPECT_EQ(orbel_copy_truncated(out, sizeof out, "abcdef\xC3\xA9"), 6u);
  EXPECT_STREQ(out, "abcdef");
  // "abcd" + U+1F3B5 (4 bytes): split after 3 of its bytes, so it goes.
  EXPECT_EQ(orbel_copy_truncated(out, sizeof out, "abcd\xF0\x9F\x8E\xB5"), 4u);
  EXPECT_STREQ(out, "abcd");
  // Bytes that are not UTF-8 are cut at the byte limit.
  EXPECT_EQ(orbel_copy_truncated(out, sizeof out, "\x80\x80\x80\x80\x80\x80\x80\x80\x80"), 7u);
  EXPECT_EQ(orbel_copy_truncated(out, 1, "abc"), 0u);
  EXPECT_STREQ(out, "");
}

TEST(RuntimeDiagnosticNames, CodesSeveritiesPhases) {
  const char* codes[] = {"runtime.unknown",
                         "runtime.kernel-create-failed",
                         "runtime.rate-adapter-init-failed",
                         "runtime.unsupported-processing-configuration",
                         "runtime.process-failed",
                         "runtime.suspicious-silence",
                         "preset.bank-mismatch",
                         "preset.processor-apply-failed",
                         "state.decode-failed",
                         "state.restore-failed",
                         "editor.bundle-identity-mismatch",
                         "editor.bridge-timeout",
                         "install.artifact-stale",
                         "install.duplicate-scan-candidate",
                         "runtime.invalid-configuration",
                         "runtime.engine-unavailable",
                         "build.dependency-missing",
                         "build.artifact-missing",
                         "host.validator-missing",
                         "runtime.realtime-violation",
                         "runtime.nonfinite-audio",
                         "runtime.callback-missing",
                         "runtime.event-rejected",
                         "runtime.host-connection-failed",
                         "runtime.closed",
                         "runtime.diagnostics-overflow",
                         "runtime.unknown",
                         "bank.missing",
                         "bank.hash-mismatch",
                         "runtime.unknown"};
  for (uint32_t code = 0; code < sizeof codes / sizeof codes[0]; ++code) {
    EXPECT_STREQ(orbel_runtime_diagnostic_code_name(code), codes[code]) << code;
  }
  EXPECT_STREQ(orbel_runtime_diagnostic_code_name(0xFFFFFFFFu), "runtime.unknown");

  const char* severities[] = {"info", "warning", "error", "fatal", "error"};
  for (uint8_t s = 0; s < 5; ++s)
    EXPECT_STREQ(orbel_runtime_diagnostic_severity_name(s), severities[s]);
  EXPECT_STREQ(orbel_runtime_diagnostic_severity_name(255), "error");

  const char* phases[] = {"build",     "package",  "install", "scan",   "load",
                          "configure", "activate", "process", "preset", "state",
                          "editor",    "shutdown", "process"};
  for (uint8_t p = 0; p < 13; ++p) EXPECT_STREQ(orbel_runtime_diagnostic_phase_name(p), phases[p]);
  EXPECT_STREQ(orbel_runtime_diagnostic_phase_name(200), "process");
}

}  // namespace
}  // namespace orbel
