#include "tests/probe/wav_reader.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace orbel::test {

namespace {
uint32_t le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
}  // namespace

bool readWav(const std::string& path, WavData& out, std::string& error) {
  out = WavData{};
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  const std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
  if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) != 0 ||
      std::memcmp(d.data() + 8, "WAVE", 4) != 0) {
    error = "not a RIFF/WAVE file";
    return false;
  }
  if (le32(d.data() + 4) != d.size() - 8) {
    error = "RIFF size does not match the file size";
    return false;
  }
  bool haveFmt = false;
  std::size_t pos = 12;
  while (pos + 8 <= d.size()) {
    const uint32_t length = le32(d.data() + pos + 4);
    const uint8_t* body = d.data() + pos + 8;
    if (length > d.size() - pos - 8) {
      error = "chunk runs past the end";
      return false;
    }
    if (std::memcmp(d.data() + pos, "fmt ", 4) == 0 && length >= 16) {
      out.format = le16(body);
      out.channels = le16(body + 2);
      out.sampleRate = le32(body + 4);
      out.bitsPerSample = le16(body + 14);
      haveFmt = true;
    } else if (std::memcmp(d.data() + pos, "data", 4) == 0) {
      if (!haveFmt) {
        error = "data before fmt";
        return false;
      }
      out.rawData.assign(body, body + length);
      if (out.format == 3 && out.bitsPerSample == 32) {
        out.samples.resize(length / 4);
        std::memcpy(out.samples.data(), body, out.samples.size() * 4);
      } else if (out.format == 1 && out.bitsPerSample == 24) {
        for (uint32_t i = 0; i + 3 <= length; i += 3) {
          int32_t v = body[i] | (body[i + 1] << 8) | (body[i + 2] << 16);
          if (v & 0x800000) v -= 0x1000000;
          out.samples.push_back(static_cast<float>(v / 8388607.0));
        }
      } else if (out.format == 1 && out.bitsPerSample == 16) {
        for (uint32_t i = 0; i + 2 <= length; i += 2) {
          const auto v = static_cast<int16_t>(body[i] | (body[i + 1] << 8));
          out.samples.push_back(static_cast<float>(v / 32767.0));
        }
      } else {
        error = "unsupported sample format";
        return false;
      }
      return true;
    }
    pos += 8 + length + (length & 1);
  }
  error = "no data chunk";
  return false;
}

}  // namespace orbel::test
