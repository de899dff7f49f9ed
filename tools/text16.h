// Fixed-size char8 fields of the records a VST 3 module hands over (PFactoryInfo,
// PClassInfo). They are outside data and need not be NUL-terminated. UTF-16
// fields are converted with sdk/missing/utf16.h.
#pragma once

#include <cstddef>
#include <string>

namespace orbel {

// A char8 field of a fixed-size record: at most `capacity` bytes, up to the
// first NUL.
std::string boundedString(const char* text, std::size_t capacity);

}  // namespace orbel
