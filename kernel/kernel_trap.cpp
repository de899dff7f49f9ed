#include "kernel/kernel_trap.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orbel {
namespace {

struct TrapClass {
  std::string_view start;
  std::string_view code;
};

constexpr TrapClass TRAP_CLASSES[] = {
    {"Uncaught ", "TC4013"},
    {"tallowc: RangeError: ", "TC4014"},
    {"tallowc: TypeError: ", "TC4015"},
    {"tallowc: SyntaxError: ", "TC4016"},
    {"tallowc: out of memory", "TC4017"},
    {"tallowc: internal error: ", "TC4018"},
    {"tallowc: library callback ", "TC4025"},
    {"tallowc: library entry ", "TC4026"},
};
constexpr std::string_view TRAP_UNCLASSIFIED = "TC4019";

// Calls are serialised by the host, but two plug-in instances may well render
// their own kernel instances on two audio threads; the flags every entry
// touches are therefore relaxed atomics (plain loads and stores on x86-64).
// The record is static so that a trap needs neither the heap (it may be
// reporting that memory ran out) nor a large stack frame.
orbel_kernel_panic_sink g_sink = nullptr;
void* g_sinkContext = nullptr;
std::atomic<bool> g_poisoned{false};
std::atomic<bool> g_inSink{false};
std::atomic<const char*> g_entry{""};
KernelTrapRecord g_record;

// "TC4013" → 4013; anything else → 0.
uint64_t classificationNumber(std::string_view code) {
  if (code.size() < 3 || code.substr(0, 2) != "TC") return 0;
  uint64_t n = 0;
  for (char c : code.substr(2)) {
    if (c < '0' || c > '9' || n > 100000000) return 0;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  return n;
}

// The classification field of a record composed elsewhere, if it has one.
uint64_t recordClassification(const uint8_t* bytes, size_t length) {
  const auto* begin =
      static_cast<const uint8_t*>(std::memchr(bytes, KERNEL_TRAP_SEPARATOR, length));
  if (begin == nullptr) return 0;
  ++begin;
  const size_t rest = length - static_cast<size_t>(begin - bytes);
  const auto* end = static_cast<const uint8_t*>(std::memchr(begin, KERNEL_TRAP_SEPARATOR, rest));
  const size_t fieldLength = end ? static_cast<size_t>(end - begin) : rest;
  return classificationNumber(std::string_view(reinterpret_cast<const char*>(begin), fieldLength));
}

void writeAll(const void* data, size_t length) {
  const auto* p = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = ::write(STDERR_FILENO, p, length);
    if (n <= 0) return;
    p += n;
    length -= static_cast<size_t>(n);
  }
}

// Without a sink the record still reaches a developer before the abort.
void writeTrapLine(const KernelTrapRecord& record) {
  static constexpr char prefix[] = "orbel-plugin-shell: tallowc trap: ";
  writeAll(prefix, sizeof prefix - 1);
  writeAll(record.bytes, record.length);
  writeAll("\n", 1);
}

}  // namespace

std::string_view kernelTrapClassification(std::string_view message) {
  for (const TrapClass& c : TRAP_CLASSES) {
    if (message.substr(0, c.start.size()) == c.start) return c.code;
  }
  return TRAP_UNCLASSIFIED;
}

void composeKernelTrapRecord(std::string_view message, std::string_view entry,
                             KernelTrapRecord& record) {
  if (!message.empty() && static_cast<uint8_t>(message[0]) == KERNEL_TRAP_START) {
    record.length = std::min(message.size(), KERNEL_TRAP_RECORD_MAX);
    std::memcpy(record.bytes, message.data(), record.length);
    record.code = recordClassification(record.bytes, record.length);
    return;
  }

  const std::string_view code = kernelTrapClassification(message);
  const size_t framing = 3 + code.size();  // 0x01, 0x1F, code, 0x1F
  entry = entry.substr(0, KERNEL_TRAP_RECORD_MAX - framing);
  const size_t room = KERNEL_TRAP_RECORD_MAX - framing - entry.size();
  size_t keep = std::min(message.size(), room);
  if (keep < message.size()) {
    // Do not cut a UTF-8 sequence in half.
    for (int back = 0; back < 3 && keep > 0 && (static_cast<uint8_t>(message[keep]) & 0xC0) == 0x80;
         ++back) {
      --keep;
    }
  }

  size_t n = 0;
  record.bytes[n++] = KERNEL_TRAP_START;
  for (size_t i = 0; i < keep; ++i) {
    const auto b = static_cast<uint8_t>(message[i]);
    record.bytes[n++] = (b == KERNEL_TRAP_START || b == KERNEL_TRAP_SEPARATOR) ? uint8_t{' '} : b;
  }
  record.bytes[n++] = KERNEL_TRAP_SEPARATOR;
  std::memcpy(record.bytes + n, code.data(), code.size());
  n += code.size();
  record.bytes[n++] = KERNEL_TRAP_SEPARATOR;
  std::memcpy(record.bytes + n, entry.data(), entry.size());
  n += entry.size();
  record.length = n;
  record.code = classificationNumber(code);
}

void setKernelPanicSink(orbel_kernel_panic_sink sink, void* context) {
  g_sink = sink;
  g_sinkContext = context;
}

void enterKernel(const char* entry) {
  const bool inSink = g_inSink.load(std::memory_order_relaxed);
  if (g_poisoned.load(std::memory_order_relaxed) || inSink) [[unlikely]] {
    if (inSink) {
      // The sink called back into the kernel. The kernel is already poisoned
      // and the sink is busy, so the record goes to standard error instead.
      char message[200];
      std::snprintf(message, sizeof message,
                    "tallowc: library entry '%s' invoked from a host callback\n", entry);
      composeKernelTrapRecord(message, entry, g_record);
      writeTrapLine(g_record);
    }
    std::abort();
  }
  g_entry.store(entry, std::memory_order_relaxed);
}

const char* currentKernelEntry() { return g_entry.load(std::memory_order_relaxed); }

bool kernelPoisoned() { return g_poisoned.load(std::memory_order_relaxed); }

void kernelTrap(std::string_view message) {
  composeKernelTrapRecord(message, currentKernelEntry(), g_record);
  // Poisoned before the sink runs, so that a sink that never returns (or
  // calls back in) still leaves a kernel that refuses every later entry.
  g_poisoned.store(true, std::memory_order_relaxed);
  if (g_sink != nullptr) {
    g_inSink.store(true, std::memory_order_relaxed);
    g_sink(g_sinkContext, g_record.bytes, g_record.length, g_record.code);
    g_inSink.store(false, std::memory_order_relaxed);
  } else {
    writeTrapLine(g_record);
  }
  std::abort();
}

void kernelTrapOutOfMemory() { kernelTrap(KERNEL_TRAP_OUT_OF_MEMORY); }

void kernelTrapIndex(uint64_t index, uint64_t length) {
  char message[160];
  std::snprintf(message, sizeof message,
                "tallowc: RangeError: typed array index %llu out of bounds (length %llu)\n",
                static_cast<unsigned long long>(index), static_cast<unsigned long long>(length));
  kernelTrap(message);
}

}  // namespace orbel
