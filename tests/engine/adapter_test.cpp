// The sample-rate adapter: a kernel that only runs at 48 kHz behind a host at
// another rate. Timing of events, the fixed delay, failures, and audio quality.
#include <cmath>
#include <cstdio>

#include "tests/engine/engine_fixture.h"

namespace orbel::enginetest {
namespace {

class AdapterTest : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    testkernel::config().only48k = true;
  }
  void start(double rate, int32_t maxBlock) {
    ASSERT_TRUE(engine.setup(rate, maxBlock));
    ASSERT_TRUE(engine.usesRateAdapter());
  }
  KernelEngine engine{testkernel::binding()};
};

// The first host frame that can carry kernel output: 16 host frames plus 20
// kernel frames of delay.
TEST_F(AdapterTest, FirstBlockStartsWithTheFixedDelayOfSilence) {
  struct Case {
    double rate;
    int firstSounding;
  };
  const Case cases[] = {{44100.0, 35}, {96000.0, 56}, {22050.0, 26}, {44100.5, 35}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    testkernel::resetAll();
    testkernel::config().only48k = true;
    testkernel::config().signal = testkernel::Signal::kDc;
    KernelEngine e(testkernel::binding());
    ASSERT_TRUE(e.setup(c.rate, 512));
    StereoOut out(512);
    render(e, out, 512);
    EXPECT_TRUE(allZero(out.left, 0, size_t(c.firstSounding)));
    EXPECT_NEAR(out.left[size_t(c.firstSounding)], 1.0f, 1e-6);
    EXPECT_NEAR(out.right[511], 1.0f, 1e-5);
    EXPECT_FALSE(e.lastBlockFailed());
  }
}

TEST_F(AdapterTest, OutputHasNoGapsWhateverTheBlockSizes) {
  testkernel::config().signal = testkernel::Signal::kDc;
  start(44100.0, 1000);
  const int sizes[] = {1, 7, 1000, 333, 128, 2, 999, 64};
  StereoOut out(1000);
  bool first = true;
  for (int round = 0; round < 40; ++round) {
    for (int frames : sizes) {
      render(engine, out, frames);
      ASSERT_FALSE(engine.lastBlockFailed());
      if (first) {
        first = false;
        continue;  // the fixed delay
      }
      for (int i = 0; i < frames; ++i) {
        if (round == 0 && i < 40) continue;
        ASSERT_NEAR(out.left[size_t(i)], 1.0f, 1e-5) << "round " << round << " frame " << i;
      }
    }
  }
}

TEST_F(AdapterTest, EventsReachTheirKernelFramesExactly) {
  start(44100.0, 512);
  StereoOut out(512);
  ASSERT_TRUE(engine.pushNoteOn(60, 0.5, 0, 0, 0));
  ASSERT_TRUE(engine.pushNoteOff(60, 441, 0, 0));
  ASSERT_TRUE(engine.pushNoteOn(62, 0.5, 441, 0, 0));
  ASSERT_TRUE(engine.pushNoteOn(64, 0.5, 500, 0, 0));  // kernel frame 544: after this call
  render(engine, out, 512);
  ASSERT_EQ(testkernel::acceptedCount(), 3u);
  EXPECT_EQ(testkernel::accepted(0).kernelFrame, 0u);
  EXPECT_EQ(testkernel::accepted(1).kernelFrame, 480u);
  EXPECT_EQ(testkernel::accepted(1).kind, uint32_t(ORBEL_KERNEL_EVENT_NOTE_OFF));
  EXPECT_EQ(testkernel::accepted(2).kernelFrame, 480u);
  EXPECT_EQ(testkernel::accepted(2).a, 62u);

  // The late record stays queued with its stamp and arrives in the next call.
  ASSERT_EQ(engine.queuedEventCount(), 1);
  EXPECT_TRUE(engine.queuedEvent(0).stamped);
  EXPECT_EQ(engine.queuedEvent(0).absoluteFrame, 500u);
  // A parameter flush between the blocks applies its value and keeps the late note.
  ASSERT_TRUE(engine.pushParamNormalized(10, 0.0, 0));
  engine.processBlock(nullptr, 0, nullptr, 0, 0);
  EXPECT_EQ(engine.paramValue(10), 0.0);
  ASSERT_EQ(engine.queuedEventCount(), 1);
  ASSERT_TRUE(engine.pushNoteOff(64, 100, 0, 0));  // host frame 612 -> kernel frame 666
  render(engine, out, 512);
  ASSERT_EQ(testkernel::acceptedCount(), 6u);
  // The flushed value reaches the kernel first, at the call's first frame.
  EXPECT_EQ(testkernel::accepted(3).kind, uint32_t(ORBEL_KERNEL_EVENT_PARAMETER));
  EXPECT_EQ(testkernel::accepted(3).a, 10u);
  EXPECT_EQ(testkernel::accepted(3).value, 0.0);
  EXPECT_EQ(testkernel::accepted(3).frame, 0u);
  EXPECT_EQ(testkernel::accepted(4).a, 64u);
  EXPECT_EQ(testkernel::accepted(4).kernelFrame, 544u);
  EXPECT_EQ(testkernel::accepted(5).kernelFrame, 666u);
  EXPECT_EQ(engine.queuedEventCount(), 0);
}

TEST_F(AdapterTest, FractionalHostRateMapsEventsExactly) {
  start(44100.5, 512);  // 88201 / 2
  StereoOut out(512);
  ASSERT_TRUE(engine.pushNoteOn(60, 0.5, 441, 0, 0));  // 441 * 96000 / 88201 = 479.995...
  render(engine, out, 512);
  ASSERT_TRUE(engine.pushNoteOn(61, 0.5, 1000 - 512, 0, 0));  // 1088.42...
  render(engine, out, 512);
  ASSERT_EQ(testkernel::acceptedCount(), 2u);
  EXPECT_EQ(testkernel::accepted(0).kernelFrame, 480u);
  EXPECT_EQ(testkernel::accepted(1).kernelFrame, 1088u);
}

TEST_F(AdapterTest, DenseEventsAreAllDeliveredAtTheirFrames) {
  start(44100.0, 512);
  StereoOut out(512);
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(engine.pushNoteOn(i, 0.5, i, 0, 0));
  render(engine, out, 512);
  ASSERT_EQ(testkernel::acceptedCount(), 100u);
  for (size_t i = 0; i < 100; ++i) {
    EXPECT_EQ(testkernel::accepted(i).kernelFrame, (i * 48000 + 22050) / 44100) << i;
  }
  EXPECT_EQ(engine.queuedEventCount(), 0);
}

TEST_F(AdapterTest, NoteAudioAppearsAfterTheFixedDelay) {
  // Host frame 1000 at 44.1 kHz is kernel frame 1088; it leaves the adapter at
  // host frame 1000 + 35 (the reported latency), give or take the filter.
  start(44100.0, 256);
  StereoOut out(256);
  std::vector<float> all;
  for (int b = 0; b < 8; ++b) {
    if (b == 3) {
      ASSERT_TRUE(engine.pushNoteOn(60, 1.0, 1000 - 768, 0, 0));
    }
    render(engine, out, 256);
    all.insert(all.end(), out.left.begin(), out.left.end());
  }
  EXPECT_TRUE(allZero(all, 0, 1000 + 35 - 16));
  // Kernel frames 1087 (0) and 1088 (1): the interpolated step passes 0.5 at
  // kernel time 1087.5, between host frames 1033 and 1034.
  EXPECT_LT(all[1033], 0.5f);
  EXPECT_GT(all[1034], 0.5f);
  EXPECT_NEAR(all[1000 + 35 + 16], 1.0f, 1e-3);
}

TEST_F(AdapterTest, FailureIsLatchedUntilTheNextSetup) {
  testkernel::config().signal = testkernel::Signal::kDc;
  testkernel::config().failProcessCall = 2;
  start(44100.0, 512);
  StereoOut out(512, 7.0f);
  ASSERT_TRUE(engine.pushNoteOn(60, 0.5, 10, 0, 0));
  ASSERT_TRUE(engine.pushParamNormalized(10, 0.5, 600 - 512));
  render(engine, out, 512);
  EXPECT_TRUE(engine.lastBlockFailed());
  EXPECT_TRUE(engine.outputSilent());
  EXPECT_TRUE(engine.adapterFailed());
  EXPECT_TRUE(allZero(out.left, 0, 512) && allZero(out.right, 0, 512));
  EXPECT_EQ(engine.queuedEventCount(), 0);
  EXPECT_EQ(engine.paramValue(10), 0.5);  // the undelivered value is kept

  // The kernel works again, but the adapter stays off.
  const size_t callsBefore = testkernel::processCallCount();
  for (int b = 0; b < 3; ++b) {
    out.left.assign(512, 7.0f);
    render(engine, out, 512);
    EXPECT_TRUE(engine.lastBlockFailed());
    EXPECT_TRUE(allZero(out.left, 0, 512));
  }
  EXPECT_EQ(testkernel::processCallCount(), callsBefore);
  engine.drainRuntimeDiagnostics();
  ASSERT_EQ(engine.diagnostics().count, 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(diag(engine, i).code, 2u);
    EXPECT_EQ(diag(engine, i).severity, 2);
    EXPECT_EQ(diag(engine, i).phase, 7);
    EXPECT_STREQ(diag(engine, i).message, "sample-rate adapter failed; output was cleared");
  }

  start(44100.0, 512);
  EXPECT_FALSE(engine.adapterFailed());
  render(engine, out, 512);
  render(engine, out, 512);
  EXPECT_FALSE(engine.lastBlockFailed());
  EXPECT_NEAR(out.left[100], 1.0f, 1e-5);
}

TEST_F(AdapterTest, HostInputIsConsumedWithoutDisturbingOutput) {
  testkernel::config().signal = testkernel::Signal::kDc;
  testkernel::config().inputViewLength = 128;  // so the input is resampled too
  start(96000.0, 300);
  std::vector<float> inL(300, 0.25f), inR(300, -0.25f);
  const float* inputs[2] = {inL.data(), inR.data()};
  StereoOut out(300);
  for (int b = 0; b < 50; ++b) {
    engine.processBlock(inputs, 2, out.ptrs, 2, b % 2 ? 300 : 17);
    ASSERT_FALSE(engine.lastBlockFailed());
  }
  EXPECT_NEAR(out.left[10], 1.0f, 1e-5);
}

// Least-squares fit of a sine of known frequency plus offset; returns the
// amplitude and the SNR of the fit in dB.
struct SineFit {
  double amplitude, snrDb;
};

SineFit fitSine(const std::vector<float>& x, double cyclesPerSample) {
  double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
  const double w = 2.0 * 3.14159265358979323846 * cyclesPerSample;
  for (size_t n = 0; n < x.size(); ++n) {
    const double s = std::sin(w * double(n)), c = std::cos(w * double(n));
    ss += s * s;
    cc += c * c;
    sc += s * c;
    xs += x[n] * s;
    xc += x[n] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (xs * cc - xc * sc) / det;
  const double b = (xc * ss - xs * sc) / det;
  double signal = 0, noise = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    const double y = a * std::sin(w * double(n)) + b * std::cos(w * double(n));
    signal += y * y;
    noise += (x[n] - y) * (x[n] - y);
  }
  return {std::sqrt(a * a + b * b), 10.0 * std::log10(signal / noise)};
}

// Frequency from the positive-going zero crossings, interpolated linearly.
double crossingFrequency(const std::vector<float>& x, double rate) {
  double first = -1, last = -1;
  int count = 0;
  for (size_t n = 1; n < x.size(); ++n) {
    if (x[n - 1] < 0.0f && x[n] >= 0.0f) {
      const double t = double(n - 1) + x[n - 1] / (x[n - 1] - x[n]);
      if (first < 0) first = t;
      last = t;
      ++count;
    }
  }
  return count > 1 ? (count - 1) * rate / (last - first) : 0.0;
}

TEST_F(AdapterTest, SineKeepsFrequencyAndLevelThroughTheAdapter) {
  struct Case {
    double hostRate, hz, minSnrDb;
  };
  const Case cases[] = {
      {44100.0, 1000.0, 70.0},
      {44100.0, 5000.0, 60.0},
      {96000.0, 1000.0, 70.0},
      {96000.0, 10000.0, 60.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hostRate << " Hz host, " << c.hz << " Hz sine");
    testkernel::resetAll();
    testkernel::config().only48k = true;
    testkernel::config().signal = testkernel::Signal::kSine;
    testkernel::config().sineHz = c.hz;
    testkernel::config().amplitude = 0.5f;
    KernelEngine e(testkernel::binding());
    ASSERT_TRUE(e.setup(c.hostRate, 512));
    StereoOut out(512);
    std::vector<float> all;
    for (int b = 0; b < int(c.hostRate) / 512; ++b) {
      render(e, out, 512);
      ASSERT_FALSE(e.lastBlockFailed());
      all.insert(all.end(), out.left.begin(), out.left.end());
    }
    all.erase(all.begin(), all.begin() + 2048);  // past the delay and the filter start
    const SineFit fit = fitSine(all, c.hz / c.hostRate);
    const double levelDb = 20.0 * std::log10(fit.amplitude / 0.5);
    const double hz = crossingFrequency(all, c.hostRate);
    std::printf("[ adapter ] host %.0f Hz, sine %.0f Hz: SNR %.1f dB, level %+.4f dB, %.4f Hz\n",
                c.hostRate, c.hz, fit.snrDb, levelDb, hz);
    EXPECT_NEAR(hz, c.hz, 0.01);
    EXPECT_LT(std::fabs(levelDb), 0.1);
    EXPECT_GT(fit.snrDb, c.minSnrDb);
  }
}

}  // namespace
}  // namespace orbel::enginetest
