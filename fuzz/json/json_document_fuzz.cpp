// parseJsonDocument and the streaming skipValue on the same bytes. The
// document reader is the stricter of the two, so whatever it accepts the
// streaming reader must skip as one value followed only by whitespace.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "json/json_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  orbel::JsonValue doc;
  const bool documentOk = orbel::parseJsonDocument(bytes, doc);
  if (documentOk && doc.isObject()) {
    for (const auto& member : doc.members) (void)doc.str(member.first.c_str(), "");
  }

  // libFuzzer's buffer has exactly `size` bytes: any read past it is caught.
  orbel::Reader reader(reinterpret_cast<const char*>(data), size);
  const bool skipOk = orbel::skipValue(reader, 0);
  if (skipOk) {
    orbel::skipWhitespace(reader);
  }
  if (documentOk && !(skipOk && reader.atEnd())) std::abort();

  orbel::Reader strings(reinterpret_cast<const char*>(data), size);
  std::string text;
  (void)orbel::parseString(strings, &text);
  orbel::Reader numbers(reinterpret_cast<const char*>(data), size);
  double value;
  (void)orbel::parseNumber(numbers, &value);
  return 0;
}
