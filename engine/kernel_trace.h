// Optional developer trace of what the engine sends to the kernel. Named by the
// environment variable ORBEL_KERNEL_TRACE; off when it is unset or empty.
#pragma once

#include <cstdint>
#include <cstdio>

namespace orbel::kernel_trace {

// The trace stream, or null when tracing is off. Opened (for appending) the
// first time any engine asks; the decision holds for the life of the process.
std::FILE* stream();

// Advances the process-wide block counter and returns its new value.
uint64_t beginBlock();
uint64_t currentBlock();

}  // namespace orbel::kernel_trace
