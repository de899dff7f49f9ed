// For fuzzers whose code under test writes a developer line to standard error
// for many inputs (the controller's "malformed bridge message"): unbuffered,
// every line was a system call, a fifth of such a target's time. Buffered,
// nothing is lost: libFuzzer flushes the stream after each message of its
// own, its report of a crash included, and the sanitizers write their
// reports past the stream.
#pragma once

#include <cstdio>

namespace orbel::fuzz {

inline void bufferStandardError() {
  static char buffer[1 << 16];
  std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
}

}  // namespace orbel::fuzz
