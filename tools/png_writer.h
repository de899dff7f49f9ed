// Writes 8-bit RGB pictures as PNG files (the probe's editor screenshots).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orbel {

// `rgb` holds width × height pixels, three bytes each, rows top to bottom.
bool writePng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height,
              std::string& error);

}  // namespace orbel
