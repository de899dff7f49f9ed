#pragma once
// UTF-8 <-> UTF-16 conversion for the SDK's char16 strings (names, titles,
// host strings). Invalid input becomes U+FFFD; output is always terminated.
#include <cstddef>
#include <string>

namespace orbel {

// Converts UTF-8 text into a fixed UTF-16 buffer of `capacity` units
// (terminator included). Never splits a surrogate pair. Returns the number of
// units written, terminator excluded.
size_t utf8ToUtf16(const char* text, size_t length, char16_t* out, size_t capacity);
size_t utf8ToUtf16(const char* text, char16_t* out, size_t capacity);

std::u16string utf8ToUtf16(const std::string& text);

// Converts a terminated UTF-16 string (at most `maxUnits` units are read).
std::string utf16ToUtf8(const char16_t* text, size_t maxUnits = static_cast<size_t>(-1));

}  // namespace orbel
