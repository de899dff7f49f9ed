// Fixed WAV assets that the sound pack fuzzer places beside the manifest it
// fuzzes (the seed manifests carry their sizes and digests).
#pragma once
#include <cstdint>
#include <vector>

namespace orbel::fuzz {

// a.wav: mono 16-bit, 44100 Hz, frames 0, 1000, -1000, 32767.
inline const std::vector<uint8_t> kMono16 = {
    'R', 'I', 'F', 'F', 44, 0, 0,    0,    'W', 'A', 'V',  'E',  'f',  'm',  't',  ' ', 16, 0,
    0,   0,   1,   0,   1,  0, 0x44, 0xAC, 0,   0,   0x88, 0x58, 1,    0,    2,    0,   16, 0,
    'd', 'a', 't', 'a', 8,  0, 0,    0,    0,   0,   0xE8, 0x03, 0x18, 0xFC, 0xFF, 0x7F};
// b.wav: stereo 24-bit, 48000 Hz, two frames.
inline const std::vector<uint8_t> kStereo24 = {
    'R',  'I',  'F',  'F', 48,   0, 0,  0,    'W',  'A',  'V',  'E',  'f', 'm',
    't',  ' ',  16,   0,   0,    0, 1,  0,    2,    0,    0x80, 0xBB, 0,   0,
    0x00, 0x65, 0x04, 0,   6,    0, 24, 0,    'd',  'a',  't',  'a',  12,  0,
    0,    0,    0,    0,   0x40, 0, 0,  0xC0, 0xFF, 0xFF, 0x7F, 0,    0,   0};

}  // namespace orbel::fuzz
