// The processor's process call allocates nothing and takes no lock, checked
// through the built bundle with the counting allocator hooks of the test
// executable (which the module's calls resolve to).
#include <gtest/gtest.h>

#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "tests/module/module_fixture.h"
#include "tests/support/alloc_guard.h"

namespace orbel::testhost {
namespace {

TEST(ProcessorRealtime, GuardSeesAllocationsInsideTheModule) {
  Processor p;
  ASSERT_TRUE(p.ok());
  ProcessSetup setup{kRealtime, kSample32, 512, 44100.0};
  uint64_t allocations = 0;
  {
    test::AllocGuard guard;
    p.audio->setupProcessing(setup);  // builds the engine's buffers
    guard.stop();
    allocations = guard.allocations();
  }
  EXPECT_GT(allocations, 0u);
}

TEST(ProcessorRealtime, ProcessAllocatesNothingAndTakesNoLock) {
  Processor p;
  ASSERT_TRUE(p.ok());
  ASSERT_TRUE(p.start(48000.0, 512));

  Block block(512), flush(0), silent(512), panic(512);
  // A playing host transport: the processor keeps a snapshot of it per block.
  ProcessContext context{};
  context.state =
      ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kTimeSigValid;
  context.tempo = 128.0;
  context.timeSigNumerator = 3;
  context.timeSigDenominator = 4;
  block.data.processContext = &context;
  silent.data.processContext = &context;
  flush.data.numOutputs = 0;
  flush.data.outputs = nullptr;
  flush.params.add(10, 0, 0.7);
  flush.events.noteOn(62, 0.5f, 0, 0, 0, 7);
  flush.events.noteOff(62, 0, 0, 0, 6);  // another note's id: held back
  for (int pitch = 0; pitch < 128; ++pitch) panic.events.noteOff(pitch, pitch < 32 ? 0 : 511);
  for (ParamID id = 0; id < 12; ++id) block.params.add(id, 17 * int32(id), 0.3);
  block.params.add(3, 400, 0.9);
  block.events.noteOn(60, 0.8f, 0);
  block.events.noteOn(64, 0.0f, 100);
  block.events.noteOff(60, 300);
  block.events.noteOn(67, 1.0f, 511);
  // Warm up once outside the guard.
  ASSERT_EQ(p.audio->process(block.data), kResultOk);

  uint64_t allocations = 0, locks = 0;
  tresult results[7] = {};
  {
    test::AllocGuard guard;
    results[0] = p.audio->process(flush.data);
    results[1] = p.audio->process(flush.data);
    results[2] = p.audio->process(block.data);   // the flushes' changes and notes first
    results[3] = p.audio->process(panic.data);   // 96 note-offs on the last frame
    results[4] = p.audio->process(silent.data);  // opens with the 32 left over
    results[5] = p.audio->process(silent.data);
    block.data.symbolicSampleSize = kSample64;
    results[6] = p.audio->process(block.data);
    guard.stop();
    allocations = guard.allocations();
    locks = guard.locks();
  }
  for (int i = 0; i < 6; ++i) EXPECT_EQ(results[i], kResultOk) << i;
  EXPECT_EQ(results[6], kResultFalse);
  EXPECT_EQ(allocations, 0u);
  EXPECT_EQ(locks, 0u);
}

}  // namespace
}  // namespace orbel::testhost
