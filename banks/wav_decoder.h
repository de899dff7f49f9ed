#pragma once
// WAV decoding for sound pack assets: RIFF/WAVE with 16- or 24-bit integer
// PCM or 32-bit float, mono or stereo (plain or extensible format chunk),
// mixed to mono and quantised to 16-bit steps, one float per frame.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orbel {

struct WavAudio {
  std::vector<float> samples;   // one value per frame, -1 .. 32767/32768 in steps of 1/32768
  double sampleRate = 48000.0;  // frames per second
};

// Decodes a whole WAV file. On failure `out` is left untouched and `error`
// holds one line of text ("not a RIFF/WAVE file", "no data chunk", ...).
bool decodeWav(const std::vector<uint8_t>& bytes, WavAudio& out, std::string& error);
bool decodeWav(const uint8_t* bytes, size_t length, WavAudio& out, std::string& error);

}  // namespace orbel
