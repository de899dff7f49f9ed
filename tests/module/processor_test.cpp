// The audio processor, created through the built bundle's factory and driven
// as a host drives it.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/module/module_fixture.h"

namespace orbel::testhost {
namespace {

constexpr ParamID kOscType = 0, kRelease = 9, kGain = 10;

double rms(const std::vector<float>& v, size_t from = 0) {
  double sum = 0;
  for (size_t i = from; i < v.size(); ++i) sum += double(v[i]) * v[i];
  return v.size() > from ? std::sqrt(sum / double(v.size() - from)) : 0.0;
}

class ProcessorTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(sharedModule().ok()) << sharedModule().error;
    ASSERT_TRUE(p.ok());
  }
  Processor p;
};

TEST_F(ProcessorTest, HasOneStereoOutputAndOneEventInput) {
  EXPECT_EQ(p.component->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(p.component->getBusCount(kAudio, kInput), 0);
  EXPECT_EQ(p.component->getBusCount(kEvent, kInput), 1);
  EXPECT_EQ(p.component->getBusCount(kEvent, kOutput), 0);
  BusInfo info{};
  ASSERT_EQ(p.component->getBusInfo(kAudio, kOutput, 0, info), kResultOk);
  EXPECT_EQ(info.channelCount, 2);
  EXPECT_EQ(info.busType, kMain);
  EXPECT_EQ(info.flags & BusInfo::kDefaultActive, uint32(BusInfo::kDefaultActive));
  ASSERT_EQ(p.component->getBusInfo(kEvent, kInput, 0, info), kResultOk);
  EXPECT_EQ(info.channelCount, 1);
}

TEST_F(ProcessorTest, AcceptsOnlyNoInputsAndOneStereoOutput) {
  SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
  SpeakerArrangement two[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
  EXPECT_EQ(p.audio->setBusArrangements(nullptr, 0, &mono, 1), kResultFalse);
  EXPECT_EQ(p.audio->setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse);
  EXPECT_EQ(p.audio->setBusArrangements(nullptr, 0, two, 2), kResultFalse);
  EXPECT_EQ(p.audio->setBusArrangements(nullptr, 0, nullptr, 1), kResultFalse);
  EXPECT_EQ(p.audio->setBusArrangements(nullptr, 0, nullptr, 0), kResultFalse);
  EXPECT_EQ(p.audio->setBusArrangements(nullptr, 0, &stereo, 1), kResultTrue);
  SpeakerArrangement arr = 0;
  EXPECT_EQ(p.audio->getBusArrangement(kOutput, 0, arr), kResultTrue);
  EXPECT_EQ(arr, SpeakerArr::kStereo);
}

TEST_F(ProcessorTest, Refuses64BitProcessing) {
  EXPECT_EQ(p.audio->canProcessSampleSize(kSample32), kResultTrue);
  EXPECT_EQ(p.audio->canProcessSampleSize(kSample64), kResultFalse);
  // A 64-bit set-up is refused as well, so the host does not start blocks
  // that could only fail.
  ProcessSetup setup64{kRealtime, kSample64, 512, 48000.0};
  EXPECT_EQ(p.audio->setupProcessing(setup64), kResultFalse);
  ASSERT_TRUE(p.start());

  // A 64-bit block is refused without queueing its note.
  Block b64(256);
  b64.data.symbolicSampleSize = kSample64;
  b64.events.noteOn(69, 1.0f, 0);
  EXPECT_EQ(p.audio->process(b64.data), kResultFalse);

  Block b(256);
  EXPECT_EQ(p.audio->process(b.data), kResultOk);
  EXPECT_EQ(rms(b.left), 0.0);
  EXPECT_EQ(b.out.silenceFlags, 3u);
}

TEST_F(ProcessorTest, SilenceFlagsFollowTheOutput) {
  ASSERT_TRUE(p.start());
  Block b(256, 1.0f);  // stale host data must be overwritten
  EXPECT_EQ(p.audio->process(b.data), kResultOk);
  EXPECT_EQ(b.out.silenceFlags, 3u);
  b.events.noteOn(60, 0.9f, 0);
  EXPECT_EQ(p.audio->process(b.data), kResultOk);
  EXPECT_EQ(b.out.silenceFlags, 0u);
  EXPECT_GT(rms(b.left), 0.0);
  EXPECT_EQ(b.left, b.right);
}

TEST_F(ProcessorTest, NoteOnWithVelocityZeroReleasesTheNote) {
  // A short release: a note-off leaves a brief tail, while a note-on of
  // velocity 0 taken literally would restart the voice in silence at once.
  ASSERT_TRUE(p.start());
  Block b(512);
  b.params.add(kRelease, 0, 0.02);  // 0.1 s
  b.events.noteOn(57, 1.0f, 0);
  ASSERT_EQ(p.audio->process(b.data), kResultOk);
  ASSERT_GT(rms(b.left), 0.01);

  b.params.clear();
  b.events.clear();
  b.events.noteOn(57, 0.0f, 0);
  ASSERT_EQ(p.audio->process(b.data), kResultOk);
  EXPECT_GT(rms(b.left), 0.01);  // release tail
  b.events.clear();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p.audio->process(b.data), kResultOk);
  EXPECT_LT(rms(b.left), 1e-4);
}

TEST_F(ProcessorTest, IgnoresParameterIdsAboveTen) {
  Processor plain;
  ASSERT_TRUE(plain.ok());
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(plain.start());
  Block a(512), b(512);
  for (Block* blk : {&a, &b}) blk->events.noteOn(64, 0.8f, 0);
  a.params.add(11, 0, 1.0);
  a.params.add(12, 100, 0.0);
  a.params.add(0x7FFFFFFF, 10, 0.5);
  EXPECT_EQ(p.audio->process(a.data), kResultOk);
  EXPECT_EQ(plain.audio->process(b.data), kResultOk);
  EXPECT_EQ(a.left, b.left);
}

TEST_F(ProcessorTest, FlushBlockReachesTheKernelWithTheNextBlock) {
  ASSERT_TRUE(p.start());
  Block first(512);  // the kernel is up to date after this block
  ASSERT_EQ(p.audio->process(first.data), kResultOk);
  Block flush(0);
  flush.data.numOutputs = 0;
  flush.data.outputs = nullptr;
  flush.params.add(kGain, 0, 0.0);
  EXPECT_EQ(p.audio->process(flush.data), kResultOk);

  Block b(512);
  b.events.noteOn(69, 1.0f, 0);
  EXPECT_EQ(p.audio->process(b.data), kResultOk);
  EXPECT_EQ(rms(b.left), 0.0);  // gain 0 from the first frame
}

TEST_F(ProcessorTest, FailedSetupGivesSilentFailedBlocksUntilASetupSucceeds) {
  ProcessSetup bad{kRealtime, kSample32, 512, 0.0};
  EXPECT_EQ(p.audio->setupProcessing(bad), kResultFalse);
  Block b(256, 0.5f);
  b.events.noteOn(69, 1.0f, 0);
  EXPECT_EQ(p.audio->process(b.data), kResultFalse);
  EXPECT_EQ(rms(b.left), 0.0);
  EXPECT_EQ(rms(b.right), 0.0);
  EXPECT_EQ(b.out.silenceFlags, 3u);

  ProcessSetup tooLarge{kRealtime, kSample32, 16385, 48000.0};
  EXPECT_EQ(p.audio->setupProcessing(tooLarge), kResultFalse);
  ASSERT_TRUE(p.start());
  b.refill(0.5f);
  EXPECT_EQ(p.audio->process(b.data), kResultOk);
  EXPECT_GT(rms(b.left), 0.0);
}

TEST_F(ProcessorTest, RefusesBlocksWithoutOutputs) {
  ASSERT_TRUE(p.start());
  Block b(128);
  b.data.numOutputs = 0;
  EXPECT_EQ(p.audio->process(b.data), kResultFalse);
  b.data.numOutputs = 1;
  b.out.numChannels = 0;
  EXPECT_EQ(p.audio->process(b.data), kResultFalse);
  b.out.numChannels = 2;
  b.out.channelBuffers32 = nullptr;
  EXPECT_EQ(p.audio->process(b.data), kResultFalse);
}

TEST_F(ProcessorTest, ReportsNoLatencyWhenTheKernelRunsAtTheHostRate) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    ASSERT_TRUE(p.start(rate, 512)) << rate;
    EXPECT_EQ(p.audio->getLatencySamples(), 0u) << rate;
    p.component->setActive(false);
  }
}

TEST_F(ProcessorTest, ListParameterSwitchesWaveform) {
  // Two processors differing only in the waveform render different audio.
  Processor saw;
  ASSERT_TRUE(saw.ok());
  ASSERT_TRUE(p.start());
  ASSERT_TRUE(saw.start());
  Block a(512), b(512);
  a.params.add(kOscType, 0, 0.0);
  b.params.add(kOscType, 0, 1.0 / 3.0);
  a.events.noteOn(60, 1.0f, 0);
  b.events.noteOn(60, 1.0f, 0);
  p.audio->process(a.data);
  saw.audio->process(b.data);
  EXPECT_NE(a.left, b.left);
}

}  // namespace
}  // namespace orbel::testhost
