// base64Decode on arbitrary text with a bound taken from the first byte.
// Decoded bytes encode to a text that decodes to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "json/json_write.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t maxBytes = data[0] == 0xff ? SIZE_MAX : size_t(data[0]) * 4;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<uint8_t> out;
  if (!orbel::base64Decode(text, out, maxBytes)) return 0;
  if (out.size() > maxBytes || out.size() > text.size()) std::abort();
  std::string encoded;
  orbel::base64Append(encoded, out.data(), out.size());
  if (encoded.size() != text.size()) std::abort();
  std::vector<uint8_t> again;
  if (!orbel::base64Decode(encoded, again, out.size()) || again != out) std::abort();
  return 0;
}
