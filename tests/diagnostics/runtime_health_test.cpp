#include "diagnostics/runtime_health.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace orbel {
namespace {

std::string report(const orbel_runtime_diagnostic_ring& ring, bool failed = false,
                   double sampleRate = 48000, int maxBlock = 512) {
  return writeRuntimeHealthJson(ring, "music.orbel.mirel", "0.0.0", sampleRate, maxBlock, failed);
}

TEST(RuntimeHealth, EmptyRingIsHealthy) {
  orbel_runtime_diagnostic_ring ring;
  EXPECT_EQ(report(ring),
            "{\"format\":\"orbel-runtime-health/v1\",\"schemaVersion\":1,\"instanceId\":\"vst3\","
            "\"lifecycle\":\"configured\",\"status\":\"healthy\",\"counters\":{\"diagnostics\":0,"
            "\"diagnostics.dropped\":0},\"diagnostics\":[]}");
}

TEST(RuntimeHealth, StatusRules) {
  struct Case {
    const char* name;
    int severity;  // -1: no record
    uint32_t dropped;
    bool failed;
    const char* status;
  } cases[] = {
      {"dropped only", -1, 3, false, "degraded"},
      {"info", ORBEL_DIAG_SEVERITY_INFO, 0, false, "healthy"},
      {"warning", ORBEL_DIAG_SEVERITY_WARNING, 0, false, "degraded"},
      {"error", ORBEL_DIAG_SEVERITY_ERROR, 0, false, "failed"},
      {"fatal", ORBEL_DIAG_SEVERITY_FATAL, 0, false, "failed"},
      {"unknown severity reads as error", 7, 0, false, "failed"},
      {"failed flag with nothing held", -1, 0, true, "failed"},
      {"failed flag with info", ORBEL_DIAG_SEVERITY_INFO, 0, true, "failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    orbel_runtime_diagnostic_ring ring;
    if (c.severity >= 0) {
      orbel_runtime_diagnostic_record(&ring, 22, static_cast<uint8_t>(c.severity), 7, "m", nullptr);
    }
    ring.dropped = c.dropped;
    const std::string json = report(ring, c.failed);
    EXPECT_NE(json.find(std::string("\"status\":\"") + c.status + "\""), std::string::npos) << json;
    EXPECT_NE(json.find(c.failed ? "\"lifecycle\":\"failed\"" : "\"lifecycle\":\"configured\""),
              std::string::npos);
  }
}

TEST(RuntimeHealth, RecordJsonMemberByMember) {
  orbel_runtime_diagnostic_ring ring;
  orbel_runtime_diagnostic_record(&ring, 25, ORBEL_DIAG_SEVERITY_WARNING, ORBEL_DIAG_PHASE_PROCESS,
                                  "audio diagnostic queue overflowed",
                                  "dropped=8; source=audio callback");
  std::string out;
  appendRuntimeDiagnosticJson(out, ring.records[0], "music.orbel.mirel", "0.0.0", 44100, 512);
  EXPECT_EQ(
      out,
      "{\"format\":\"orbel-plugin-runtime-diagnostic/v1\",\"schemaVersion\":1,\"sequence\":1,"
      "\"code\":\"runtime.diagnostics-overflow\",\"severity\":\"warning\",\"phase\":\"process\","
      "\"component\":\"shell\",\"message\":\"audio diagnostic queue overflowed\","
      "\"recoverable\":true,\"identity\":{\"moduleId\":\"music.orbel.mirel\",\"version\":\"0.0.0\","
      "\"target\":\"vst3\"},\"configuration\":{\"sampleRate\":44100,\"maxBlockFrames\":512},"
      "\"occurrence\":{\"count\":1},\"context\":{\"detail\":\"dropped=8; source=audio "
      "callback\"}}");

  // No detail: no context; unknown names; absent identity; odd rates.
  orbel_runtime_diagnostic odd = ring.records[0];
  odd.code = 4000000000u;
  odd.severity = 7;
  odd.phase = 12;
  odd.detail[0] = '\0';
  std::strcpy(odd.message, "say \"hi\"\\");
  struct Rate {
    double value;
    const char* text;
  } rates[] = {{std::numeric_limits<double>::quiet_NaN(), "null"},
               {std::numeric_limits<double>::infinity(), "null"},
               {96000.5, "96000.5"}};
  for (const Rate& rate : rates) {
    out.clear();
    appendRuntimeDiagnosticJson(out, odd, nullptr, nullptr, rate.value, -1);
    EXPECT_EQ(
        out, std::string(
                 "{\"format\":\"orbel-plugin-runtime-diagnostic/v1\",\"schemaVersion\":1,"
                 "\"sequence\":1,\"code\":\"runtime.unknown\",\"severity\":\"error\","
                 "\"phase\":\"process\",\"component\":\"shell\",\"message\":\"say \\\"hi\\\"\\\\\","
                 "\"recoverable\":false,\"identity\":{\"moduleId\":\"unknown\",\"version\":"
                 "\"unknown\",\"target\":\"vst3\"},\"configuration\":{\"sampleRate\":") +
                 rate.text + ",\"maxBlockFrames\":-1},\"occurrence\":{\"count\":1}}");
  }
  for (uint32_t code : {0u, 29u}) {
    odd.code = code;
    out.clear();
    appendRuntimeDiagnosticJson(out, odd, "m", "v", 48000, 64);
    EXPECT_NE(out.find("\"code\":\"runtime.unknown\""), std::string::npos);
  }
}

TEST(RuntimeHealth, DiagnosticsInOrderWithFirstErrorRepeated) {
  orbel_runtime_diagnostic_ring ring;
  orbel_runtime_diagnostic_record(&ring, 25, 1, 7, "first", nullptr);
  orbel_runtime_diagnostic_record(&ring, 1, 3, 5, "product kernel instance creation failed",
                                  nullptr);
  orbel_runtime_diagnostic_record(&ring, 14, 2, 5, "third", nullptr);
  const std::string json = report(ring);

  std::string second;
  appendRuntimeDiagnosticJson(second, ring.records[1], "music.orbel.mirel", "0.0.0", 48000, 512);
  std::string all = "[";
  for (uint32_t i = 0; i < 3; ++i) {
    if (i > 0) all += ",";
    appendRuntimeDiagnosticJson(all, ring.records[i], "music.orbel.mirel", "0.0.0", 48000, 512);
  }
  all += "]";
  EXPECT_EQ(json,
            "{\"format\":\"orbel-runtime-health/v1\",\"schemaVersion\":1,\"instanceId\":\"vst3\","
            "\"lifecycle\":\"configured\",\"status\":\"failed\",\"counters\":{\"diagnostics\":3,"
            "\"diagnostics.dropped\":0},\"diagnostics\":" +
                all + ",\"firstError\":" + second + "}");
}

TEST(RuntimeHealth, FirstErrorThatWasLostIsNotReported) {
  orbel_runtime_diagnostic_ring ring;
  for (int i = 0; i < 32; ++i) orbel_runtime_diagnostic_record(&ring, 22, 1, 7, "w", nullptr);
  orbel_runtime_diagnostic_record(&ring, 4, 3, 7, "lost", nullptr);
  // A writer that sets firstErrorSequence for a record it could not store.
  ring.firstErrorSequence = 33;
  const std::string json = report(ring);
  EXPECT_EQ(json.find("firstError"), std::string::npos);
  EXPECT_NE(json.find("\"status\":\"degraded\""), std::string::npos);
  EXPECT_NE(json.find("\"diagnostics\":32,\"diagnostics.dropped\":1"), std::string::npos);
}

TEST(RuntimeHealth, CorruptSnapshotIsReadWithinBounds) {
  orbel_runtime_diagnostic_ring ring;
  orbel_runtime_diagnostic_record(&ring, 8, 2, 9, "x", "y");
  // Texts without terminator and a count beyond capacity.
  std::memset(ring.records[0].message, 'm', sizeof ring.records[0].message);
  std::memset(ring.records[0].detail, 'd', sizeof ring.records[0].detail);
  ring.count = 1000;
  const std::string json = report(ring);
  EXPECT_NE(json.find("\"diagnostics\":32,"), std::string::npos);
  EXPECT_NE(json.find("\"message\":\"" + std::string(192, 'm') + "\""), std::string::npos);
  EXPECT_NE(json.find("\"detail\":\"" + std::string(128, 'd') + "\""), std::string::npos);
}

}  // namespace
}  // namespace orbel
