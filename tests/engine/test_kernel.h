// A scriptable kernel for engine tests, bound through KernelBinding. It keeps
// the product kernel's calling rules (128-frame blocks, 64 events per call,
// ordered frames, status codes) and logs what the engine sends, with the
// absolute kernel frame of every event. It allocates nothing after start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/kernel_binding.h"

namespace orbel::testkernel {

enum class Signal {
  kGate,  // output = velocity of the sounding note (set and cleared by note events)
  kDc,    // output = amplitude from the first frame on
  kSine,  // output = amplitude * sin(2 pi sineHz n / rate), n the instance's frame
};

struct Config {
  bool only48k = false;       // create refuses every rate but 48000
  bool refuseCreate = false;  // create fails at every rate
  Signal signal = Signal::kGate;
  float amplitude = 1.0f;
  double sineHz = 1000.0;
  int failProcessCall = -1;  // index (from 0) of the process call that returns 2
  bool refuseNotes = false;  // note events answer 2
  bool refuseParameters = false;
  uint64_t outputViewLength = 128;
  uint64_t inputViewLength = 0;  // the product kernel has no audio input
};

struct LoggedEvent {
  uint32_t handle;
  uint32_t kind;
  uint32_t frame;        // within the call
  uint64_t kernelFrame;  // absolute frame of the instance
  uint32_t a;
  double value;
  double status;
};

Config& config();
// Resets the configuration, the logs and the counters (not the runtime-init count).
void resetAll();
const KernelBinding& binding();

std::size_t eventCount();
const LoggedEvent& event(std::size_t i);
// Events that were accepted (status 0), in push order.
std::size_t acceptedCount();
const LoggedEvent& accepted(std::size_t i);
// Events that a process call acted on (an accepted event at or past the end
// of its call is dropped by the kernel), in the order it acted on them.
std::size_t appliedCount();
const LoggedEvent& applied(std::size_t i);

std::size_t processCallCount();
uint32_t processFrames(std::size_t call);  // frames asked for in a call
int runtimeInitCalls();
int resetCalls();
int destroyCalls();
double lastCreateRate();  // rate of the last successful create

// Calls the panic sink the engine installed, as a trapping kernel would.
void trap(const std::string& message);

}  // namespace orbel::testkernel
