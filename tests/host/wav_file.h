#pragma once
// Reads the WAV files a host renders (PCM 16/24/32-bit, 32-bit float, plain
// or WAVE_FORMAT_EXTENSIBLE) into de-interleaved float channels.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orbel {

struct WavAudio {
  int sampleRate = 0;
  std::vector<std::vector<float>> channels;  // one vector per channel, all the same length

  std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// Parses a whole file image. On failure returns false, leaves `out` empty and
// says why in `error`.
bool parseWav(const std::uint8_t* data, std::size_t size, WavAudio& out, std::string& error);
bool readWavFile(const std::string& path, WavAudio& out, std::string& error);

}  // namespace orbel
