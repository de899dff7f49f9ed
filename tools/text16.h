// UTF-16 <-> UTF-8 for the strings a VST 3 module hands over (String128,
// PClassInfoW fields). The module's buffers are outside data: every reader is
// bounded by the buffer's capacity and stops at the first NUL.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orbel {

// Decodes at most `capacity` UTF-16 code units (stopping at a NUL) into UTF-8.
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const char16_t* text, std::size_t capacity);

// Encodes UTF-8 into a NUL-terminated UTF-16 buffer of `capacity` units,
// truncating at a character boundary. Invalid bytes become U+FFFD.
void utf8ToUtf16(std::string_view text, char16_t* out, std::size_t capacity);

// A char8 field of a fixed-size record, which need not be NUL-terminated.
std::string boundedString(const char* text, std::size_t capacity);

}  // namespace orbel
