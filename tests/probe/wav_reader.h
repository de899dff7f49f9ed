// Reads back the WAV files the probe writes (32-bit float, 24- or 16-bit PCM),
// for the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orbel::test {

struct WavData {
  uint16_t format = 0;  // 1 PCM, 3 IEEE float
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint16_t bitsPerSample = 0;
  std::vector<float> samples;    // interleaved, PCM scaled to -1..1
  std::vector<uint8_t> rawData;  // the data chunk as stored

  std::size_t frames() const { return channels ? samples.size() / channels : 0; }
  float at(std::size_t frame, int channel) const { return samples[frame * channels + channel]; }
};

bool readWav(const std::string& path, WavData& out, std::string& error);

}  // namespace orbel::test
