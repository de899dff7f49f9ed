// Manifest text of any kind: the scanner never reads past the text, always
// leaves a terminated value shorter than its capacity − 1, and finds a value
// only where the text holds that quoted key.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "editor/ui_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the end is caught.
  std::vector<char> text(data, data + size);
  const char* bytes = text.empty() ? "" : text.data();
  struct Key {
    const char* name;
    size_t capacity;
  };
  for (const Key key :
       {Key{"buildTime", 64}, Key{"sourceRevision", 64}, Key{"sha256", 80}, Key{"x", 2}}) {
    char out[96];
    std::memset(out, 0x7f, sizeof out);
    const bool found = orbel::uiManifestString(bytes, size, key.name, out, key.capacity);
    const void* end = std::memchr(out, 0, key.capacity);
    if (end == nullptr) std::abort();
    const size_t length = static_cast<size_t>(static_cast<const char*>(end) - out);
    if (length + 1 >= key.capacity && length != 0) std::abort();
    if (found != (length > 0) && !(found && length == 0)) std::abort();
    if (found &&
        std::string(bytes, size).find("\"" + std::string(key.name) + "\"") == std::string::npos)
      std::abort();
  }
  return 0;
}
