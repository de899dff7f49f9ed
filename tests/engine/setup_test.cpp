// Engine set-up: host format validation, adapter sizing, kernel creation and
// binding, failure records and the developer lines on standard error.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "engine/kernel_trace.h"
#include "tests/engine/engine_fixture.h"

namespace orbel::enginetest {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class SetupTest : public EngineTest {};

struct AcceptedFormat {
  double rate;
  int32_t maxBlock;
  uint64_t numerator, denominator, capacity;
};

TEST_F(SetupTest, AcceptedFormatsHoldExactRatesAndAdapterCapacity) {
  const AcceptedFormat cases[] = {
      {44100.0, 512, 44100, 1, 1544},  // max(ceil(512*48000/44100)+64, 3*512+8)
      {44100.5, 512, 88201, 2, 1544},
      {48000.0, 16384, 48000, 1, 3 * 16384 + 8},
      {8000.0, 4096, 8000, 1, 4096 * 6 + 64},  // need dominates at low rates
      {0.5, 8, 1, 2, 768064},                  // ceil(8*2*48000) + 64
      {96000.0, 1, 96000, 1, 65},
  };
  for (const AcceptedFormat& c : cases) {
    SCOPED_TRACE(c.rate);
    KernelEngine engine(testkernel::binding());
    ASSERT_TRUE(engine.setup(c.rate, c.maxBlock));
    EXPECT_TRUE(engine.ready());
    EXPECT_EQ(engine.rateNumerator(), c.numerator);
    EXPECT_EQ(engine.rateDenominator(), c.denominator);
    EXPECT_EQ(engine.hostRate(), double(c.numerator) / double(c.denominator));
    EXPECT_EQ(engine.adapterCapacity(), c.capacity);
    EXPECT_EQ(engine.maxBlockFrames(), c.maxBlock);
    EXPECT_FALSE(engine.rateConverted());  // this kernel accepts every rate
    EXPECT_EQ(engine.diagnostics().count, 0u);
  }
}

struct RejectedFormat {
  double rate;
  int32_t maxBlock;
  const char* stderrText;
};

TEST_F(SetupTest, InvalidFormatsAreRejectedWithRecordAndStandardErrorLines) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const RejectedFormat cases[] = {
      {48000.0, 16385,
       "orbel-plugin-shell: rejected host format (sampleRate=48000, maxBlockFrames=16385)\n"
       "orbel-plugin-shell: maxBlockFrames exceeds the 16384-frame ceiling; render long fixtures "
       "as a LOOP of <=16384-frame blocks rather than declaring the whole fixture as one block\n"},
      {0.0, 512, "orbel-plugin-shell: rejected host format (sampleRate=0, maxBlockFrames=512)\n"},
      {nan, 512, "orbel-plugin-shell: rejected host format (sampleRate=nan, maxBlockFrames=512)\n"},
      {inf, 512, "orbel-plugin-shell: rejected host format (sampleRate=inf, maxBlockFrames=512)\n"},
      {-44100.0, 512,
       "orbel-plugin-shell: rejected host format (sampleRate=-44100, maxBlockFrames=512)\n"},
      {4000000.5, 64,
       "orbel-plugin-shell: rejected host format (sampleRate=4000000.5, maxBlockFrames=64)\n"},
      {0.0000009, 64,
       "orbel-plugin-shell: rejected host format (sampleRate=9e-07, maxBlockFrames=64)\n"},
      {48000.0, 0,
       "orbel-plugin-shell: rejected host format (sampleRate=48000, maxBlockFrames=0)\n"},
      {48000.0, -5,
       "orbel-plugin-shell: rejected host format (sampleRate=48000, maxBlockFrames=-5)\n"},
  };
  for (const RejectedFormat& c : cases) {
    SCOPED_TRACE(c.stderrText);
    KernelEngine engine(testkernel::binding());
    CaptureStderr();
    EXPECT_FALSE(engine.setup(c.rate, c.maxBlock));
    EXPECT_EQ(GetCapturedStderr(), c.stderrText);
    EXPECT_FALSE(engine.ready());
    ASSERT_EQ(engine.diagnostics().count, 1u);
    const orbel_runtime_diagnostic& d = diag(engine, 0);
    EXPECT_EQ(d.code, 14u);
    EXPECT_EQ(d.severity, 2);
    EXPECT_EQ(d.phase, 5);
    EXPECT_STREQ(d.message, "host processing configuration is invalid");
    EXPECT_STREQ(d.detail, "");
    EXPECT_EQ(engine.diagnostics().firstErrorSequence, 1u);
  }
}

TEST_F(SetupTest, AdapterCapacityLimitIsEnforcedWithoutStandardErrorLine) {
  KernelEngine engine(testkernel::binding());
  CaptureStderr();
  // 1 Hz with 16384 frames would need 786,432,064 frames per FIFO.
  EXPECT_FALSE(engine.setup(1.0, 16384));
  EXPECT_EQ(GetCapturedStderr(), "");
  ASSERT_EQ(engine.diagnostics().count, 1u);
  EXPECT_EQ(diag(engine, 0).code, 14u);
  EXPECT_EQ(diag(engine, 0).severity, 2);
  EXPECT_EQ(diag(engine, 0).phase, 5);
  EXPECT_STREQ(diag(engine, 0).message, "host rate requires unsupported SRC FIFO capacity");
  EXPECT_FALSE(engine.ready());
  EXPECT_EQ(testkernel::eventCount(), 0u);

  // At 750 Hz a frame spans 64 kernel frames: 16384 frames are one too many.
  EXPECT_FALSE(engine.setup(750.0, 16384));  // 1,048,576 + 64 > limit
  EXPECT_TRUE(engine.setup(750.0, 16383));   // 1,048,512 + 64 = 1,048,576
  EXPECT_EQ(engine.adapterCapacity(), 1048576u);
}

TEST_F(SetupTest, RejectedSetupKeepsPreviousFormatAndRendersSilenceWithFatalReport) {
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(44100.0, 256));
  CaptureStderr();
  EXPECT_FALSE(engine.setup(1.0, 16384));
  GetCapturedStderr();
  EXPECT_EQ(engine.hostRate(), 44100.0);
  EXPECT_EQ(engine.maxBlockFrames(), 256);

  StereoOut out(256);
  ASSERT_TRUE(engine.pushNoteOn(60, 0.9, 0, 0, 0));
  ASSERT_TRUE(engine.pushParamNormalized(3, 1.0, 10));
  render(engine, out, 256);
  EXPECT_TRUE(engine.lastBlockFailed());
  EXPECT_TRUE(engine.outputSilent());
  EXPECT_TRUE(allZero(out.left, 0, 256) && allZero(out.right, 0, 256));
  EXPECT_EQ(engine.queuedEventCount(), 0);
  // The parameter change is kept in the table, not lost with the block.
  EXPECT_EQ(engine.paramValue(3), 20000.0);
  engine.drainRuntimeDiagnostics();
  const auto& last = diag(engine, engine.diagnostics().count - 1);
  EXPECT_EQ(last.code, 4u);
  EXPECT_EQ(last.severity, 3);
  EXPECT_EQ(last.phase, 7);
  EXPECT_STREQ(last.message, "audio process callback failed; output was cleared");

  // A later valid set-up recovers, and the kept value reaches the new instance.
  ASSERT_TRUE(engine.setup(44100.0, 256));
  testkernel::resetAll();
  render(engine, out, 256);
  EXPECT_FALSE(engine.lastBlockFailed());
  ASSERT_EQ(testkernel::acceptedCount(), 1u);
  EXPECT_EQ(testkernel::accepted(0).a, 3u);
  EXPECT_EQ(testkernel::accepted(0).value, 20000.0);
}

TEST_F(SetupTest, KernelThatRefusesHostRateRunsAt48kBehindTheAdapter) {
  testkernel::config().only48k = true;
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(44100.0, 512));
  EXPECT_TRUE(engine.rateConverted());
  EXPECT_TRUE(engine.usesRateAdapter());
  EXPECT_EQ(testkernel::lastCreateRate(), 48000.0);

  ASSERT_TRUE(engine.setup(48000.0, 512));
  EXPECT_FALSE(engine.rateConverted());
  EXPECT_FALSE(engine.usesRateAdapter());
  EXPECT_EQ(testkernel::destroyCalls(), 1);  // the 44.1 kHz-host instance
}

TEST_F(SetupTest, KernelCreationFailureRecordsBothReasons) {
  testkernel::config().refuseCreate = true;
  KernelEngine engine(testkernel::binding());
  CaptureStderr();
  EXPECT_FALSE(engine.setup(44100.0, 512));
  EXPECT_EQ(GetCapturedStderr(), "orbel-plugin-shell: kernel setup failed at 44100 Hz\n");
  EXPECT_EQ(engine.instanceToken(), 0u);
  ASSERT_EQ(engine.diagnostics().count, 2u);
  EXPECT_EQ(diag(engine, 0).code, 1u);
  EXPECT_EQ(diag(engine, 0).severity, 3);
  EXPECT_EQ(diag(engine, 0).phase, 5);
  EXPECT_STREQ(diag(engine, 0).message, "product kernel instance creation failed");
  EXPECT_EQ(diag(engine, 1).code, 15u);
  EXPECT_EQ(diag(engine, 1).severity, 3);
  EXPECT_STREQ(diag(engine, 1).message, "kernel runtime is unavailable after setup");
}

TEST_F(SetupTest, ShortOutputViewLeavesEngineUnavailable) {
  testkernel::config().outputViewLength = 127;
  KernelEngine engine(testkernel::binding());
  CaptureStderr();
  EXPECT_FALSE(engine.setup(48000.0, 512));
  EXPECT_EQ(GetCapturedStderr(), "orbel-plugin-shell: kernel setup failed at 48000 Hz\n");
  ASSERT_EQ(engine.diagnostics().count, 1u);
  EXPECT_EQ(diag(engine, 0).code, 15u);
  EXPECT_NE(engine.instanceToken(), 0u);
}

TEST_F(SetupTest, RuntimeInitialisedOnceAndInstancesReplacedAndReleased) {
  {
    KernelEngine a(testkernel::binding());
    KernelEngine b(testkernel::binding());
    ASSERT_TRUE(a.setup(48000.0, 128));
    ASSERT_TRUE(b.setup(44100.0, 128));
    const uint32_t first = a.instanceToken();
    ASSERT_TRUE(a.setup(96000.0, 128));
    EXPECT_NE(a.instanceToken(), first);
    EXPECT_NE(a.instanceToken(), b.instanceToken());
    EXPECT_EQ(testkernel::destroyCalls(), 1);
  }
  EXPECT_EQ(testkernel::destroyCalls(), 3);  // both destructors released their instance
  EXPECT_EQ(testkernel::runtimeInitCalls(), 1);
}

// A deactivated plug-in gives its instance back; when none is free, the
// record says that the per-process limit is the reason.
TEST_F(SetupTest, InstancesAreHeldOnlyWhileBoundAndTheLimitIsNamed) {
  std::vector<std::unique_ptr<KernelEngine>> engines;
  for (int i = 0; i < 8; ++i) {
    engines.push_back(std::make_unique<KernelEngine>(testkernel::binding()));
    ASSERT_TRUE(engines.back()->setup(48000.0, 128)) << i;
  }
  KernelEngine late(testkernel::binding());
  ASSERT_TRUE(late.configure(48000.0, 128));  // the format alone takes no instance
  EXPECT_FALSE(late.ready());
  EXPECT_FALSE(late.hasKernelInstance());
  CaptureStderr();
  EXPECT_FALSE(late.bindKernel());
  GetCapturedStderr();
  ASSERT_EQ(late.diagnostics().count, 2u);
  EXPECT_EQ(diag(late, 0).code, 1u);
  EXPECT_EQ(diag(late, 0).severity, 3);
  EXPECT_STREQ(diag(late, 0).message,
               "kernel instance limit reached: at most 8 instances can be active in one process; "
               "deactivate another instance to free one");
  EXPECT_STREQ(diag(late, 0).detail, "{\"limit\":8,\"active\":8}");
  EXPECT_EQ(diag(late, 1).code, 15u);

  engines[3]->releaseKernel();
  EXPECT_FALSE(engines[3]->ready());
  EXPECT_FALSE(engines[3]->hasKernelInstance());
  EXPECT_TRUE(late.bindKernel());
  StereoOut out(128);
  ASSERT_TRUE(late.pushNoteOn(60, 0.5, 0, 0, 0));
  render(late, out, 128);
  EXPECT_EQ(out.left[127], 0.5f);
  CaptureStderr();
  EXPECT_FALSE(engines[3]->bindKernel());  // now it is the one left over
  GetCapturedStderr();
  engines[0]->releaseKernel();
  EXPECT_TRUE(engines[3]->setup(48000.0, 128));
}

TEST_F(SetupTest, TrapSinkSetsProcessWideFlagAndPrintsMessage) {
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(48000.0, 128));
  CaptureStderr();
  testkernel::trap(std::string("\x01RangeError: index 9 out of bounds", 34));
  EXPECT_EQ(
      GetCapturedStderr(),
      std::string("orbel-plugin-shell: tallowc trap: \x01RangeError: index 9 out of bounds\n"));
  EXPECT_TRUE(KernelEngine::kernelTrapped());
  EXPECT_TRUE(engine.ready());  // a trap does not stop the engine by itself
}

TEST_F(SetupTest, SecondSetupRepublishesChangedParametersToNewInstance) {
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(48000.0, 256));
  StereoOut out(256);
  render(engine, out, 256);  // first instance: everything at its defaults
  EXPECT_EQ(testkernel::eventCount(), 0u);

  engine.setParamValue(3, 5000.0);
  engine.setParamValue(10, 0.5);
  engine.setVariation(3);
  render(engine, out, 256);
  ASSERT_EQ(testkernel::acceptedCount(), 2u);

  ASSERT_TRUE(engine.setup(48000.0, 256));
  testkernel::resetAll();
  render(engine, out, 256);
  ASSERT_EQ(testkernel::acceptedCount(), 2u);
  EXPECT_EQ(testkernel::accepted(0).a, 3u);
  EXPECT_EQ(testkernel::accepted(0).value, 5000.0);
  EXPECT_EQ(testkernel::accepted(0).frame, 0u);
  EXPECT_EQ(testkernel::accepted(1).a, 10u);
  EXPECT_EQ(testkernel::accepted(1).value, 0.5);
  EXPECT_EQ(engine.variation(), 3);  // carried over
  EXPECT_EQ(engine.kernelParamValue(3), 5000.0);
}

TEST_F(SetupTest, NoTraceStreamWithoutTheEnvironmentVariable) {
  const char* path = std::getenv("ORBEL_KERNEL_TRACE");
  if (path != nullptr && path[0] != '\0') GTEST_SKIP() << "ORBEL_KERNEL_TRACE is set";
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(48000.0, 64));
  EXPECT_EQ(kernel_trace::stream(), nullptr);
}

}  // namespace
}  // namespace orbel::enginetest
