#include "banks/wav_decoder.h"

#include <cmath>
#include <cstring>

namespace orbel {

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
bool isId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

enum class Encoding { Pcm16, Pcm24, Float32 };

float channelValue(Encoding encoding, const uint8_t* p) {
  switch (encoding) {
    case Encoding::Pcm16:
      return float(int16_t(le16(p))) / 32768.0f;
    case Encoding::Pcm24: {
      // Sign-extend the 24-bit value through the top of a 32-bit word.
      const int32_t v =
          int32_t((uint32_t(p[0]) << 8) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 24)) >> 8;
      return float(v) / 8388608.0f;
    }
    case Encoding::Float32: {
      const uint32_t bits = le32(p);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
  }
  return 0.0f;
}

// Mono mix of one frame, quantised to a 16-bit step. A NaN frame (possible in
// float files) becomes silence rather than poisoning the sampler's output.
float quantise(double mixed) {
  double scaled = mixed * 32767.0;
  if (std::isnan(scaled)) return 0.0f;
  scaled = std::round(scaled);  // halves away from zero
  if (scaled < -32768.0) scaled = -32768.0;
  if (scaled > 32767.0) scaled = 32767.0;
  return float(scaled * (1.0 / 32768.0));
}

}  // namespace

bool decodeWav(const std::vector<uint8_t>& bytes, WavAudio& out, std::string& error) {
  return decodeWav(bytes.data(), bytes.size(), out, error);
}

bool decodeWav(const uint8_t* bytes, size_t length, WavAudio& out, std::string& error) {
  if (bytes == nullptr || length < 44 || !isId(bytes, "RIFF") || !isId(bytes + 8, "WAVE")) {
    error = "not a RIFF/WAVE file";
    return false;
  }

  uint16_t tag = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  const uint8_t* data = nullptr;
  size_t dataLength = 0;

  size_t pos = 12;
  while (length - pos >= 8) {
    const uint8_t* header = bytes + pos;
    const size_t bodySize = le32(header + 4);
    const size_t bodyStart = pos + 8;
    const size_t remaining = length - bodyStart;
    if (bodySize > remaining) {
      // A truncated file (or a streaming writer that never patched the size):
      // keep the audio that is there.
      if (isId(header, "data") && remaining > 0) {
        data = bytes + bodyStart;
        dataLength = remaining;
      }
      break;
    }
    const uint8_t* body = bytes + bodyStart;
    if (isId(header, "fmt ") && bodySize >= 16) {
      tag = le16(body);
      channels = le16(body + 2);
      rate = le32(body + 4);
      bits = le16(body + 14);
      if (tag == kTagExtensible && bodySize >= 40) tag = le16(body + 24);
    } else if (isId(header, "data")) {
      data = body;
      dataLength = bodySize;
    }
    const size_t advance = bodySize + (bodySize & 1u);
    if (advance >= remaining) break;
    pos = bodyStart + advance;
  }

  if (data == nullptr || dataLength == 0) {
    error = "no data chunk";
    return false;
  }
  if (channels != 1 && channels != 2) {
    error = "unsupported channel count " + std::to_string(channels);
    return false;
  }
  const size_t blockSize = size_t(channels) * (bits / 8u);
  if (bits < 8 || dataLength < blockSize) {
    error = "empty or unreadable data chunk";
    return false;
  }
  Encoding encoding;
  if (tag == kTagPcm && bits == 16)
    encoding = Encoding::Pcm16;
  else if (tag == kTagPcm && bits == 24)
    encoding = Encoding::Pcm24;
  else if (tag == kTagFloat && bits == 32)
    encoding = Encoding::Float32;
  else {
    error =
        "unsupported WAV format tag " + std::to_string(tag) + " / " + std::to_string(bits) + "-bit";
    return false;
  }

  const size_t frames = dataLength / blockSize;
  const size_t sampleBytes = bits / 8u;
  std::vector<float> samples(frames);
  for (size_t f = 0; f < frames; ++f) {
    const uint8_t* frame = data + f * blockSize;
    double sum = 0.0;
    for (uint16_t c = 0; c < channels; ++c)
      sum += double(channelValue(encoding, frame + c * sampleBytes));
    samples[f] = quantise(sum / channels);
  }
  out.samples = std::move(samples);
  out.sampleRate = rate == 0 ? 48000.0 : double(rate);
  return true;
}

}  // namespace orbel
