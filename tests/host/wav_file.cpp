#include "tests/host/wav_file.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace orbel {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 64;

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

bool fail(std::string& error, const char* why) {
  error = why;
  return false;
}

float decodeSample(const std::uint8_t* p, std::uint16_t format, int bits) {
  if (format == kFormatFloat) {
    float f;
    std::uint32_t u = le32(p);
    std::memcpy(&f, &u, sizeof f);
    return f;
  }
  switch (bits) {
    case 16:
      return float(std::int16_t(le16(p))) / 32768.0f;
    case 24: {
      std::int32_t v = std::int32_t(std::uint32_t(p[0]) << 8 | std::uint32_t(p[1]) << 16 |
                                    std::uint32_t(p[2]) << 24) >>
                       8;
      return float(v) / 8388608.0f;
    }
    default:
      return float(double(std::int32_t(le32(p))) / 2147483648.0);
  }
}

}  // namespace

bool parseWav(const std::uint8_t* data, std::size_t size, WavAudio& out, std::string& error) {
  out = WavAudio{};
  if (data == nullptr || size < 12) return fail(error, "too short for a RIFF header");
  if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
    return fail(error, "not a RIFF/WAVE file");

  bool haveFormat = false;
  std::uint16_t format = 0;
  int channels = 0, bits = 0;
  std::uint32_t rate = 0;
  std::size_t blockAlign = 0;

  // Chunks are walked by their own sizes, bounded by the file; the RIFF size
  // field is not trusted (streamed files often leave it 0).
  std::size_t pos = 12;
  while (size - pos >= 8) {
    const std::uint8_t* chunk = data + pos;
    const std::uint32_t chunkSize = le32(chunk + 4);
    const std::size_t bodyAt = pos + 8;
    const std::size_t available = size - bodyAt;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (chunkSize < 16 || chunkSize > available) return fail(error, "bad fmt chunk");
      const std::uint8_t* f = data + bodyAt;
      format = le16(f);
      channels = le16(f + 2);
      rate = le32(f + 4);
      blockAlign = le16(f + 12);
      bits = le16(f + 14);
      if (format == kFormatExtensible) {
        if (chunkSize < 40) return fail(error, "short WAVE_FORMAT_EXTENSIBLE header");
        format = le16(f + 24);  // first two bytes of the sub-format GUID
      }
      if (format != kFormatPcm && format != kFormatFloat)
        return fail(error, "unsupported sample format");
      if (format == kFormatFloat && bits != 32) return fail(error, "unsupported float width");
      if (format == kFormatPcm && bits != 16 && bits != 24 && bits != 32)
        return fail(error, "unsupported PCM width");
      if (channels < 1 || channels > kMaxChannels) return fail(error, "bad channel count");
      if (rate == 0) return fail(error, "zero sample rate");
      if (blockAlign != std::size_t(channels) * std::size_t(bits / 8))
        return fail(error, "bad block alignment");
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return fail(error, "data chunk before fmt chunk");
      if (chunkSize > available) return fail(error, "truncated data chunk");
      const std::size_t frames = chunkSize / blockAlign;
      const int bytes = bits / 8;
      out.sampleRate = int(rate);
      out.channels.assign(std::size_t(channels), std::vector<float>(frames));
      const std::uint8_t* p = data + bodyAt;
      for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c, p += bytes)
          out.channels[std::size_t(c)][i] = decodeSample(p, format, bits);
      return true;
    }
    if (chunkSize > available) break;
    pos = bodyAt + chunkSize + (chunkSize & 1u);
    if (pos > size) break;
  }
  return fail(error, haveFormat ? "no data chunk" : "no fmt chunk");
}

bool readWavFile(const std::string& path, WavAudio& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    out = WavAudio{};
    error = "cannot open " + path;
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  return parseWav(bytes.data(), bytes.size(), out, error);
}

}  // namespace orbel
