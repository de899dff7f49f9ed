#include "tools/wav_writer.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace orbel {

namespace {

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A sample as a PCM integer of full scale `scale` (8388607 or 32767).
int32_t toPcm(float x, double scale, uint64_t& clipped) {
  if (std::isnan(x)) {
    ++clipped;
    return 0;
  }
  double v = static_cast<double>(x);
  if (v > 1.0 || v < -1.0) {
    ++clipped;
    v = v > 1.0 ? 1.0 : -1.0;
  }
  return static_cast<int32_t>(std::lrint(v * scale));
}

uint16_t bytesPerSample(WavFormat format) {
  return format == WavFormat::Float32 ? 4 : format == WavFormat::Pcm24 ? 3 : 2;
}

// RIFF(12) + fmt (8 + 18 float / 16 PCM) + fact (12, float only) + data header (8).
std::size_t headerBytes(WavFormat format) {
  return format == WavFormat::Float32 ? 12 + 26 + 12 + 8 : 12 + 24 + 8;
}

std::vector<uint8_t> header(uint16_t channels, uint32_t sampleRate, WavFormat format,
                            uint64_t frames) {
  const bool isFloat = format == WavFormat::Float32;
  const uint16_t bps = bytesPerSample(format);
  const uint64_t dataBytes = frames * channels * bps;
  std::vector<uint8_t> h(headerBytes(format));
  uint8_t* p = h.data();
  std::memcpy(p, "RIFF", 4);
  put32(p + 4, static_cast<uint32_t>(h.size() - 8 + dataBytes + (dataBytes & 1)));
  std::memcpy(p + 8, "WAVE", 4);
  std::memcpy(p + 12, "fmt ", 4);
  put32(p + 16, isFloat ? 18 : 16);
  put16(p + 20, isFloat ? 3 : 1);  // WAVE_FORMAT_IEEE_FLOAT / WAVE_FORMAT_PCM
  put16(p + 22, channels);
  put32(p + 24, sampleRate);
  put32(p + 28, static_cast<uint32_t>(uint64_t{sampleRate} * channels * bps));
  put16(p + 32, static_cast<uint16_t>(channels * bps));
  put16(p + 34, static_cast<uint16_t>(bps * 8));
  p += 36;
  if (isFloat) {
    put16(p, 0);  // cbSize
    std::memcpy(p + 2, "fact", 4);
    put32(p + 6, 4);
    put32(p + 10, static_cast<uint32_t>(frames));
    p += 14;
  }
  std::memcpy(p, "data", 4);
  put32(p + 4, static_cast<uint32_t>(dataBytes));
  return h;
}

}  // namespace

uint64_t wavMaxFrames(uint16_t channels, WavFormat format) {
  if (channels == 0) return 0;
  const uint64_t room = 0xFFFFFFFFull - (headerBytes(format) - 8) - 1;  // minus the pad byte
  return room / (uint64_t{channels} * bytesPerSample(format));
}

WavWriter::~WavWriter() { abandon(); }

bool WavWriter::open(const std::string& path, uint16_t channels, uint32_t sampleRate,
                     WavFormat format, std::string& error) {
  abandon();
  if (channels == 0 || sampleRate == 0) {
    error = "invalid WAV format (channels or sample rate is 0)";
    return false;
  }
  if (!out_.open(path, error)) return false;
  file_ = out_.stream();
  path_ = path;
  clipped_ = 0;
  channels_ = channels;
  sampleRate_ = sampleRate;
  format_ = format;
  frames_ = 0;
  // A provisional header; finish() rewrites it with the final sizes.
  const std::vector<uint8_t> h = header(channels, sampleRate, format, 0);
  if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
    abandon();
    error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

bool WavWriter::write(const float* interleaved, std::size_t frames, std::string& error) {
  if (file_ == nullptr) {
    error = "no WAV file open";
    return false;
  }
  if (frames > wavMaxFrames(channels_, format_) - frames_) {
    error = "the rendering is too long for a WAV file (4 GiB at most)";
    return false;
  }
  const std::size_t samples = frames * channels_;
  scratch_.resize(samples * bytesPerSample(format_));
  uint8_t* p = scratch_.data();
  for (std::size_t i = 0; i < samples; ++i) {
    if (format_ == WavFormat::Float32) {
      uint32_t bits;
      std::memcpy(&bits, &interleaved[i], 4);
      put32(p, bits);
      p += 4;
    } else if (format_ == WavFormat::Pcm24) {
      const auto v = static_cast<uint32_t>(toPcm(interleaved[i], 8388607.0, clipped_));
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      p += 3;
    } else {
      const auto v = static_cast<uint32_t>(toPcm(interleaved[i], 32767.0, clipped_));
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p += 2;
    }
  }
  if (std::fwrite(scratch_.data(), 1, scratch_.size(), file_) != scratch_.size()) {
    error = "cannot write '" + path_ + "' (disk full?)";
    return false;
  }
  frames_ += frames;
  return true;
}

bool WavWriter::finish(std::string& error) {
  if (file_ == nullptr) {
    error = "no WAV file open";
    return false;
  }
  const uint64_t dataBytes = frames_ * channels_ * bytesPerSample(format_);
  bool ok = true;
  if (dataBytes & 1) ok = std::fputc(0, file_) != EOF;  // RIFF chunks are word aligned
  const std::vector<uint8_t> h = header(channels_, sampleRate_, format_, frames_);
  ok = ok && std::fseek(file_, 0, SEEK_SET) == 0 &&
       std::fwrite(h.data(), 1, h.size(), file_) == h.size();
  file_ = nullptr;
  if (!ok) {
    out_.abandon();
    error = "cannot write '" + path_ + "' (disk full?)";
    return false;
  }
  return out_.commit(error);
}

void WavWriter::abandon() {
  file_ = nullptr;
  out_.abandon();
}

bool writeWav(const std::string& path, const std::vector<float>& interleaved, uint16_t channels,
              uint32_t sampleRate, WavFormat format, std::string& error) {
  WavWriter writer;
  if (!writer.open(path, channels, sampleRate, format, error)) return false;
  if (!writer.write(interleaved.data(), interleaved.size() / channels, error)) return false;
  return writer.finish(error);
}

}  // namespace orbel
