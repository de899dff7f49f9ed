// decodeWav on arbitrary bytes: never reads past the input, and what it
// decodes stays on the 16-bit grid with one frame per block of data.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "banks/wav_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orbel::WavAudio audio;
  std::string error;
  // The pointer form reads libFuzzer's exact-size buffer, so any overread is caught.
  if (!orbel::decodeWav(data, size, audio, error)) {
    if (error.empty() || !audio.samples.empty()) std::abort();
    return 0;
  }
  if (audio.samples.empty() || audio.samples.size() > size / 2 || !(audio.sampleRate > 0.0))
    std::abort();
  for (float s : audio.samples) {
    const float steps = s * 32768.0f;
    if (!(s >= -1.0f && s < 1.0f) || steps != std::round(steps)) std::abort();
  }
  return 0;
}
