// Drives a KernelEngine the way a host could: any format, events at any
// offsets (also floods on one frame, with or without note ids), blocks of any
// size (also above the set-up maximum and flushes), state recall, re-set-up
// and deactivation, with the test kernel at the host rate or only at 48 kHz (so the
// sample-rate adapter runs). Besides memory safety it checks what must hold for
// every input: a valid block never fails, and the output is finite and bounded.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/kernel_engine.h"
#include "tests/engine/test_kernel.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  uint8_t byte() { return pos < size ? data[pos++] : 0; }
  uint16_t u16() { return uint16_t(byte() | (byte() << 8)); }
  int16_t i16() { return int16_t(u16()); }
  double f64() {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t(byte()) << (8 * i);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  bool done() const { return pos >= size; }
};

const double kRates[] = {44100.0, 48000.0, 96000.0,  22050.0, 88200.0,  192000.0, 8000.0,
                         11025.0, 44100.5, 47999.99, 1000.0,  352800.0, 32000.0,  176400.0};

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  using orbel::testkernel::Signal;
  orbel::testkernel::resetAll();
  const uint8_t flags = in.byte();
  orbel::testkernel::config().only48k = flags & 1;
  orbel::testkernel::config().signal =
      (flags & 2) ? Signal::kDc : ((flags & 4) ? Signal::kSine : Signal::kGate);
  orbel::testkernel::config().sineHz = 20.0 + 100.0 * (flags >> 3);
  orbel::testkernel::config().inputViewLength = (flags & 0x80) ? 128 : 0;

  const uint8_t rateChoice = in.byte();
  const double rate =
      rateChoice < 200 ? kRates[rateChoice % (sizeof kRates / sizeof kRates[0])] : in.f64();
  const int32_t maxBlock = int32_t(in.u16() % 4097);

  orbel::KernelEngine engine(orbel::testkernel::binding());
  bool ready = engine.setup(rate, maxBlock);
  const int32_t limit = std::max(maxBlock, 1) + 2;
  const size_t bufferFrames = static_cast<size_t>(limit);
  std::vector<float> left(bufferFrames), right(bufferFrames), input(bufferFrames, 0.25f);
  float* outputs[2] = {left.data(), right.data()};
  const float* inputs[2] = {input.data(), nullptr};

  while (!in.done()) {
    switch (in.byte() % 12) {
      case 0:
        engine.pushNoteOn(in.byte() % 130, in.byte() / 255.0, in.i16(), 0, in.byte(),
                          int32_t(in.byte() % 4) - 1);
        break;
      case 1:
        engine.pushNoteOff(in.byte() % 130, in.i16(), 0, in.byte(), int32_t(in.byte() % 4) - 1);
        break;
      case 2:
        engine.pushParamNormalized(in.byte() % 12, in.byte() / 200.0 - 0.1, in.i16());
        break;
      case 3:
        engine.pushController(in.byte(), in.byte(), in.i16(), 0, 0);
        break;
      case 4:
      case 5: {
        const int32_t frames = int32_t(in.u16() % uint32_t(limit + 1)) - 1;  // -1 .. limit
        engine.processBlock(in.byte() & 1 ? inputs : nullptr, 2, outputs, 2, frames);
        if (ready && frames >= 1 && frames <= maxBlock) {
          check(!engine.lastBlockFailed());
          for (int32_t i = 0; i < frames; ++i) {
            check(std::isfinite(left[size_t(i)]) && std::fabs(left[size_t(i)]) <= 1.5f);
            check(left[size_t(i)] == right[size_t(i)]);
          }
        }
        break;
      }
      case 6:
        engine.setParamValue(in.byte() % 12, in.f64());
        break;
      case 7:
        ready = engine.setup(rate, maxBlock);
        break;
      case 8:
        engine.drainRuntimeDiagnostics();
        break;
      case 9: {
        // Many events on one frame (a panic), more than the kernel takes per call.
        const int32_t offset = in.i16();
        const int count = 1 + in.byte() % 160;
        for (int pitch = 0; pitch < count; ++pitch) engine.pushNoteOff(pitch % 128, offset, 0, 0);
        break;
      }
      case 10:
        engine.releaseKernel();
        ready = false;
        break;
      case 11:
        ready = engine.bindKernel();
        break;
    }
  }
  return 0;
}
