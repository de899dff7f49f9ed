#pragma once
// Makes a JSON text safe to send as one line or as JavaScript source. The
// writers copy control bytes inside strings as they are (the stored formats
// keep them), so a name holding a line feed would break a line-framed channel
// and a script literal. Here every such byte inside a string becomes a \u00XX
// escape, and U+2028/U+2029 (line terminators to JavaScript) become \u2028 and
// \u2029: JSON.parse and the script engine read them back as the very same
// characters. Between tokens, where JSON allows only insignificant
// whitespace, a control byte becomes a space. Nothing else changes, so a text
// without such bytes comes out byte for byte the same.
#include <string>
#include <string_view>

namespace orbel {

void appendLineSafeJson(std::string& out, std::string_view json);
std::string lineSafeJson(std::string_view json);

}  // namespace orbel
