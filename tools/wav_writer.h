// Writes interleaved float frames as a RIFF/WAVE file, either as 32-bit IEEE
// float or as 24- or 16-bit PCM (clipped to full scale, NaN as silence; the
// clipped samples are counted). Frames are streamed to a temporary file as
// they come and the header's sizes are filled in at the end; only a finished
// file takes the destination's name, so an interrupted rendering leaves
// nothing behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/output_file.h"

namespace orbel {

enum class WavFormat { Float32, Pcm24, Pcm16 };

// Largest number of frames a WAV file of this layout can hold (the RIFF size
// fields are 32-bit).
uint64_t wavMaxFrames(uint16_t channels, WavFormat format);

class WavWriter {
public:
  WavWriter() = default;
  ~WavWriter();  // an unfinished file is removed (the destination is not touched)
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool open(const std::string& path, uint16_t channels, uint32_t sampleRate, WavFormat format,
            std::string& error);
  // `interleaved` holds channels × frames samples.
  bool write(const float* interleaved, std::size_t frames, std::string& error);
  // Fills in the header, closes the file and gives it its name.
  bool finish(std::string& error);
  // Closes and removes the unfinished file.
  void abandon();
  // Samples beyond full scale that a PCM format had to clip (NaN counts too).
  uint64_t clippedSamples() const { return clipped_; }

private:
  OutputFile out_;
  std::FILE* file_ = nullptr;
  std::string path_;
  uint64_t clipped_ = 0;
  uint16_t channels_ = 0;
  uint32_t sampleRate_ = 0;
  WavFormat format_ = WavFormat::Float32;
  uint64_t frames_ = 0;
  std::vector<uint8_t> scratch_;
};

// One-shot form of WavWriter. On failure returns false with a one-line reason
// in `error` and leaves no file behind.
bool writeWav(const std::string& path, const std::vector<float>& interleaved, uint16_t channels,
              uint32_t sampleRate, WavFormat format, std::string& error);

}  // namespace orbel
