#include "tools/text16.h"

#include <cstring>

namespace orbel {

std::string boundedString(const char* text, std::size_t capacity) {
  if (text == nullptr) return {};
  return std::string(text, strnlen(text, capacity));
}

}  // namespace orbel
