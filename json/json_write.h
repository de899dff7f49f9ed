// JSON writers: every document this plug-in produces is built by appending
// fixed fragments and values to one std::string, in a fixed member order and
// without whitespace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orbel {

// Appends the shortest decimal text that reads back to the same double
// (std::to_chars without format), or `null` for NaN and the infinities.
void jsonAppendNumber(std::string& out, double value);

// Appends `text` (NUL-terminated; null counts as empty) in double quotes.
// Only the double quote and the backslash are escaped; every other byte,
// control bytes and UTF-8 sequences included, is copied as it is, and the
// readers of json_read.h accept exactly that back.
void jsonAppendQuoted(std::string& out, const char* text);
// The same for `length` bytes, which may include NUL bytes (keys read from
// outside text can hold them and must be written back whole).
void jsonAppendQuoted(std::string& out, const char* text, size_t length);

// Appends standard base64 (RFC 4648 alphabet, '=' padding, no line breaks).
void base64Append(std::string& out, const uint8_t* data, size_t length);

// The 6-bit value of a base64 digit of the standard alphabet, or -1.
int base64Digit(char c);

// Strict, bounded base64 decoding: no whitespace, no URL-safe alphabet,
// padding only at the very end. Fails (returning false) when the decoded size
// would exceed `maxBytes`. On failure `out` holds garbage.
bool base64Decode(const std::string& text, std::vector<uint8_t>& out, size_t maxBytes);

}  // namespace orbel
