// Cost of one host block through the processor: parameter and note queueing,
// rendering and silence flags, with a sustained note and automation; and of
// saving and restoring the processor's state as a host does with a project.
#include <benchmark/benchmark.h>

#include <vector>

#include "params/param_table.h"
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

// An active processor with every parameter moved off its default, so the
// document holds real values.
static orbel::OrbelProcessor* activeProcessorWithEdits() {
  auto* p = new orbel::OrbelProcessor();
  p->initialize(nullptr);
  ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
  p->setupProcessing(setup);
  p->setActive(true);
  orbel::testhost::ParamChanges params;
  for (int32 id = 0; id < int32(orbel::ORBEL_PARAM_COUNT); ++id) params.add(id, 0, 0.37);
  ProcessData data{};
  data.symbolicSampleSize = kSample32;
  data.numSamples = 0;
  data.inputParameterChanges = &params;
  p->process(data);
  return p;
}

static void finish(orbel::OrbelProcessor* p) {
  p->setActive(false);
  p->terminate();
  p->release();
}

static void BM_ProcessorGetState(benchmark::State& state) {
  auto* p = activeProcessorWithEdits();
  size_t bytes = 0;
  for (auto _ : state) {
    orbel::testhost::ByteStream stream;
    p->getState(&stream);
    bytes = stream.data().size();
  }
  state.counters["bytes"] = double(bytes);
  finish(p);
}
BENCHMARK(BM_ProcessorGetState);

static void BM_ProcessorSetState(benchmark::State& state) {
  auto* p = activeProcessorWithEdits();
  orbel::testhost::ByteStream saved;
  p->getState(&saved);
  for (auto _ : state) {
    orbel::testhost::ByteStream stream(saved.data(), 4096);  // hosts hand over short reads
    if (p->setState(&stream) != kResultOk) state.SkipWithError("setState refused its own state");
  }
  finish(p);
}
BENCHMARK(BM_ProcessorSetState);
BENCHMARK_MAIN();
