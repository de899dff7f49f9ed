// Cost of one host block through the processor: parameter and note queueing,
// rendering and silence flags, with a sustained note and automation.
#include <benchmark/benchmark.h>

#include <vector>

#include "plugin/processor.h"
#include "tests/support/vst3_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

static void BM_ProcessorBlock(benchmark::State& state) {
  const int32 frames = static_cast<int32>(state.range(0));
  auto* p = new orbel::OrbelProcessor();
  p->initialize(nullptr);
  ProcessSetup setup{kRealtime, kSample32, frames, 48000.0};
  p->setupProcessing(setup);
  p->setActive(true);

  std::vector<float> left(frames), right(frames);
  float* channels[2] = {left.data(), right.data()};
  AudioBusBuffers out{};
  out.numChannels = 2;
  out.channelBuffers32 = channels;
  orbel::testhost::ParamChanges params;
  orbel::testhost::EventList events;
  for (int32 i = 0; i < 4; ++i) params.add(3, i * frames / 4, 0.1 + 0.2 * i);
  ProcessData data{};
  data.symbolicSampleSize = kSample32;
  data.numSamples = frames;
  data.numOutputs = 1;
  data.outputs = &out;
  data.inputParameterChanges = &params;
  data.inputEvents = &events;
  events.noteOn(60, 0.9f, 0);
  p->process(data);
  events.clear();

  for (auto _ : state) {
    p->process(data);
    benchmark::DoNotOptimize(left.data());
  }
  state.SetItemsProcessed(state.iterations() * frames);
  p->setActive(false);
  p->terminate();
  p->release();
}
BENCHMARK(BM_ProcessorBlock)->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK_MAIN();
