// Bank loading on the message thread: decoding one second of audio in each
// accepted format, hashing an asset, and loading a small pack from disk.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "banks/asset_verify.h"
#include "banks/sound_pack.h"
#include "banks/wav_decoder.h"
#include "tests/banks/temp_dir.h"
#include "tests/banks/wav_bytes.h"

namespace {

using namespace orbel::test;

Bytes oneSecond(uint16_t tag, uint16_t channels, uint16_t bits) {
  Bytes data(size_t(48000) * channels * (bits / 8));
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 37 + (i >> 7));
  if (tag == 3)  // keep float samples finite and in range
    for (size_t i = 3; i < data.size(); i += 4) data[i] = 0x3E;
  return simpleWav(tag, channels, 48000, bits, data);
}

void decode(benchmark::State& state, uint16_t tag, uint16_t channels, uint16_t bits) {
  const Bytes file = oneSecond(tag, channels, bits);
  orbel::WavAudio audio;
  std::string error;
  for (auto _ : state) {
    if (!orbel::decodeWav(file, audio, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(audio.samples.data());
  }
  state.SetItemsProcessed(state.iterations() * 48000);  // frames
  state.SetBytesProcessed(state.iterations() * int64_t(file.size()));
}
BENCHMARK_CAPTURE(decode, mono16, 1, 1, 16);
BENCHMARK_CAPTURE(decode, stereo16, 1, 2, 16);
BENCHMARK_CAPTURE(decode, stereo24, 1, 2, 24);
BENCHMARK_CAPTURE(decode, stereoFloat, 3, 2, 32);

void sha256OneMiB(benchmark::State& state) {
  const Bytes data(size_t(1) << 20, 0x5A);
  for (auto _ : state) benchmark::DoNotOptimize(orbel::sha256Hex(data.data(), data.size()));
  state.SetBytesProcessed(state.iterations() * int64_t(data.size()));
}
BENCHMARK(sha256OneMiB);

// Eight one-second stereo 16-bit assets, one instrument with a zone on each.
void loadPack(benchmark::State& state) {
  TempDir dir;
  std::string table, zones;
  for (int i = 0; i < 8; ++i) {
    const std::string name = "s" + std::to_string(i) + ".wav";
    const Bytes file = oneSecond(1, 2, 16);
    dir.write(name, file);
    table += std::string(i ? "," : "") + "{\"id\":\"" + name + "\",\"path\":\"" + name +
             "\",\"bytes\":" + std::to_string(file.size()) + ",\"sha256\":\"" +
             orbel::sha256Hex(file.data(), file.size()) + "\"}";
    zones += std::string(i ? "," : "") + "{\"assetId\":\"" + name +
             "\",\"lowKey\":" + std::to_string(36 + i) + "}";
  }
  dir.write("bank.json", "{\"format\":\"orbel-sound-pack/v1\",\"id\":\"b\",\"assetTable\":[" +
                             table + "],\"instruments\":[{\"id\":\"i\",\"document\":\"i.json\"}]}");
  dir.write("i.json", "{\"format\":\"orbel-sampler-instrument/v1\",\"zones\":[" + zones + "]}");
  for (auto _ : state) {
    orbel::RuntimeBankLoad load = orbel::loadRuntimeBank(dir.path(), 0, "");
    if (load.outcome != orbel::kRuntimeBankOk) state.SkipWithError(load.message.c_str());
    benchmark::DoNotOptimize(load.bank.samples.data());
  }
  state.SetItemsProcessed(state.iterations() * 8 * 48000);  // arena frames
}
BENCHMARK(loadPack)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
