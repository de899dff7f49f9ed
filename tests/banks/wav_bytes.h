// Builders for WAV files in tests: RIFF chunks, format bodies and sample data.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace orbel::test {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

// A chunk as it stands in the file; `declaredSize` overrides the size field
// (for chunks that claim more than they hold). Odd bodies get their pad byte.
inline Bytes chunk(const char* id, const Bytes& body, int64_t declaredSize = -1) {
  Bytes b(id, id + 4);
  put32(b, declaredSize >= 0 ? uint32_t(declaredSize) : uint32_t(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (declaredSize < 0 && body.size() % 2) b.push_back(0);
  return b;
}

inline Bytes riff(std::initializer_list<Bytes> chunks) {
  Bytes body{'W', 'A', 'V', 'E'};
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b{'R', 'I', 'F', 'F'};
  put32(b, uint32_t(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// "fmt " body; a non-negative `subFormat` writes the 40-byte extensible form
// (tag 0xFFFE) whose sub-format GUID begins with that tag.
inline Bytes fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                     int subFormat = -1) {
  Bytes b;
  put16(b, subFormat >= 0 ? 0xFFFE : tag);
  put16(b, channels);
  put32(b, rate);
  put32(b, rate * channels * (bits / 8u));
  put16(b, channels * (bits / 8u));
  put16(b, bits);
  if (subFormat >= 0) {
    put16(b, 22);                     // extension size
    put16(b, bits);                   // valid bits
    put32(b, channels == 2 ? 3 : 4);  // channel mask
    put16(b, uint16_t(subFormat));
    static const uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), kGuidTail, kGuidTail + 14);
  }
  return b;
}

inline Bytes pcm16(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values) put16(b, uint32_t(uint16_t(int16_t(v))));
  return b;
}
inline Bytes pcm24(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values) {
    const uint32_t u = uint32_t(v) & 0xFFFFFF;
    b.push_back(uint8_t(u));
    b.push_back(uint8_t(u >> 8));
    b.push_back(uint8_t(u >> 16));
  }
  return b;
}
inline Bytes f32(std::initializer_list<float> values) {
  Bytes b;
  for (float v : values) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    put32(b, u);
  }
  return b;
}

// The common case: one format chunk and one data chunk.
inline Bytes simpleWav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                       const Bytes& data) {
  return riff({chunk("fmt ", fmtBody(tag, channels, rate, bits)), chunk("data", data)});
}

// A mono 16-bit file of `frames` frames counting up from 0.
inline Bytes rampWav(uint32_t frames, uint32_t rate = 44100) {
  Bytes data;
  for (uint32_t i = 0; i < frames; ++i) put16(data, i);
  return simpleWav(1, 1, rate, 16, data);
}

}  // namespace orbel::test
