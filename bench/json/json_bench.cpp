// State save/restore as the processor does it (params, variation, CC map,
// pads, bank), and the streaming skip over a large unknown member.
#include <benchmark/benchmark.h>

#include <string>

#include "json/json_read.h"
#include "state/state_document.h"

namespace {

struct Fixture {
  double params[orbel::kStateParamCount] = {1, 0, 12.5, 2000, 0.7, 2, 0.01, 0.2, 0.7, 0.3, 0.8};
  orbel::CcMap map;
  orbel::SamplerPadOverrides pads;
  orbel::BankStateRefOut bank;

  Fixture() {
    map.count = 16;
    for (uint32_t i = 0; i < map.count; ++i) {
      map.bindings[i].paramIndex = int32_t(i % orbel::ORBEL_PARAM_COUNT);
      map.bindings[i].cc = uint8_t(20 + i);
      map.bindings[i].curve = uint8_t(i % 4);
    }
    pads.resize(16);
    for (size_t i = 0; i < pads.size(); ++i) {
      pads[i].pad = "pad-" + std::to_string(i);
      pads[i].mask = 0x1f;
    }
    bank.id = "factory-drums";
    bank.bankVersion = "1.4.2";
    bank.sha256 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    bank.source = "hosted";
    bank.presetId = "tight";
  }

  std::string write() const {
    return orbel::writeStateJson(params, 2, &map, orbel::kSamplerAssetNone,
                                 orbel::kZoneLegacySingleZone, &bank, &pads, nullptr);
  }
};

void BM_WriteState(benchmark::State& state) {
  const Fixture f;
  for (auto _ : state) benchmark::DoNotOptimize(f.write());
}
BENCHMARK(BM_WriteState);

void BM_ParseState(benchmark::State& state) {
  const std::string text = Fixture().write();
  for (auto _ : state) {
    orbel::StateChunk chunk;
    benchmark::DoNotOptimize(orbel::parseStateJson(text.data(), text.size(), chunk));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ParseState);

void BM_SkipValue(benchmark::State& state) {
  std::string text = "[";
  for (int i = 0; i < 2000; ++i)
    text += "{\"k\":\"some text\",\"n\":-12.5e3,\"a\":[true,false,null]},";
  text += "0]";
  for (auto _ : state) {
    orbel::Reader reader(text.data(), text.size());
    benchmark::DoNotOptimize(orbel::skipValue(reader, 0));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_SkipValue);

}  // namespace

BENCHMARK_MAIN();
