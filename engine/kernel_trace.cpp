#include "engine/kernel_trace.h"

#include <atomic>
#include <cstdlib>

namespace orbel::kernel_trace {
namespace {
std::atomic<uint64_t> blockCounter{0};

std::FILE* openTrace() {
  const char* path = std::getenv("ORBEL_KERNEL_TRACE");
  if (path == nullptr || path[0] == '\0') return nullptr;
  return std::fopen(path, "a");
}
}  // namespace

std::FILE* stream() {
  static std::FILE* const file = openTrace();
  return file;
}

uint64_t beginBlock() { return blockCounter.fetch_add(1, std::memory_order_relaxed) + 1; }

uint64_t currentBlock() { return blockCounter.load(std::memory_order_relaxed); }

}  // namespace orbel::kernel_trace
