// Fatal faults of the kernel. A trap composes a trap record, hands it to the
// panic sink, leaves the kernel poisoned and aborts the process. Internal to
// the kernel (the tests use it directly); the engine sees only the sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kernel/kernel_abi.h"

namespace orbel {

inline constexpr size_t KERNEL_TRAP_RECORD_MAX = 2048;
inline constexpr uint8_t KERNEL_TRAP_START = 0x01;
inline constexpr uint8_t KERNEL_TRAP_SEPARATOR = 0x1F;

inline constexpr std::string_view KERNEL_TRAP_OUT_OF_MEMORY = "tallowc: out of memory\n";

// The record as the panic sink receives it.
struct KernelTrapRecord {
  uint8_t bytes[KERNEL_TRAP_RECORD_MAX];
  size_t length = 0;
  uint64_t code = 0;  // the classification as a number (4013 for "TC4013"); 0 when not known
};

// "TC4013" … "TC4026" by the start of the message ("TC4019" when none fits).
std::string_view kernelTrapClassification(std::string_view message);

// 0x01, the message (0x01 and 0x1F turned into spaces, shortened so that the
// record fits 2048 bytes), 0x1F, the classification, 0x1F, the entry name.
// A message that already starts with 0x01 is a record and is passed on as it is.
void composeKernelTrapRecord(std::string_view message, std::string_view entry,
                             KernelTrapRecord& record);

void setKernelPanicSink(orbel_kernel_panic_sink sink, void* context);

// Called first by every entry point with its exported name: remembers which
// entry is running (for the trap record) and aborts at once when the kernel is
// poisoned or when the call comes from inside the panic sink.
void enterKernel(const char* entry);

// The exported name of the entry that is running ("" outside any entry).
const char* currentKernelEntry();

bool kernelPoisoned();

[[noreturn]] void kernelTrap(std::string_view message);
[[noreturn]] void kernelTrapOutOfMemory();
[[noreturn]] void kernelTrapIndex(uint64_t index, uint64_t length);

// Table access that traps instead of reading or writing out of bounds.
inline uint64_t kernelCheckedIndex(uint64_t index, uint64_t length) {
  if (index >= length) [[unlikely]]
    kernelTrapIndex(index, length);
  return index;
}

}  // namespace orbel
