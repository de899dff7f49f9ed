#include "tests/engine/test_kernel.h"

#include "params/param_table.h"

#include <array>
#include <cmath>

namespace orbel::testkernel {
namespace {

constexpr std::size_t kSlots = 8;
constexpr std::size_t kMaxEvents = 64;
constexpr std::size_t kLogSize = 16384;

struct Pending {
  uint32_t kind, frame, a;
  double value;
  std::size_t logIndex;  // kLogSize when not logged
};

struct Instance {
  bool live = false;
  uint32_t handle = 0;
  double rate = 0.0;
  uint64_t rendered = 0;
  float level = 0.0f;
  std::array<Pending, kMaxEvents> events{};
  std::size_t eventCount = 0;
  std::array<float, 128> output{};
};

Config gConfig;
std::array<Instance, kSlots> gInstances;
uint32_t gNextHandle = 1;
std::array<LoggedEvent, kLogSize> gLog;
std::size_t gLogCount = 0;
std::array<std::size_t, kLogSize> gAccepted;
std::size_t gAcceptedCount = 0;
std::array<std::size_t, kLogSize> gApplied;
std::size_t gAppliedCount = 0;
std::array<uint32_t, kLogSize> gProcessFrames;
std::size_t gProcessCount = 0;
int gRuntimeInits = 0;
int gResets = 0;
int gDestroys = 0;
double gLastCreateRate = 0.0;
orbel_kernel_panic_sink gSink = nullptr;
void* gSinkContext = nullptr;
float gEmpty[1] = {0.0f};
float gInput[256] = {};

Instance* find(uint32_t handle) {
  for (Instance& in : gInstances) {
    if (in.live && in.handle == handle) return &in;
  }
  return nullptr;
}

double runtimeInit() {
  ++gRuntimeInits;
  return 0;
}
double setPanicSink(orbel_kernel_panic_sink sink, void* context) {
  gSink = sink;
  gSinkContext = context;
  return 0;
}
double collect() { return 0; }
double abiVersion() { return 2; }

double create(uint32_t maxFrames, uint32_t inputs, uint32_t outputs, double rate) {
  if (gConfig.refuseCreate || maxFrames != 128 || inputs != 0 || outputs != 1) return 0;
  if (!(rate > 0) || !std::isfinite(rate)) return 0;
  if (gConfig.only48k && rate != 48000.0) return 0;
  for (Instance& in : gInstances) {
    if (in.live) continue;
    in = Instance{};
    in.live = true;
    in.handle = gNextHandle++;
    in.rate = rate;
    gLastCreateRate = rate;
    return in.handle;
  }
  return 0;
}

double inputView(uint32_t, float** data, uint64_t* length) {
  *data = gConfig.inputViewLength > 0 ? gInput : gEmpty;
  *length = gConfig.inputViewLength;
  return 0;
}

double outputView(uint32_t handle, float** data, uint64_t* length) {
  Instance* in = find(handle);
  if (in == nullptr) {
    *data = gEmpty;
    *length = 0;
    return 0;
  }
  *data = in->output.data();
  *length = gConfig.outputViewLength;
  return 0;
}

double pushEvent(uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value) {
  Instance* in = find(handle);
  double status = 0;
  if (in == nullptr || frame >= 128) {
    status = 1;
  } else if ((kind == ORBEL_KERNEL_EVENT_NOTE_ON || kind == ORBEL_KERNEL_EVENT_NOTE_OFF) &&
             gConfig.refuseNotes) {
    status = 2;
  } else if (kind == ORBEL_KERNEL_EVENT_PARAMETER &&
             (gConfig.refuseParameters || a >= ORBEL_PARAM_COUNT)) {
    status = 2;
  } else if (kind == ORBEL_KERNEL_EVENT_NOTE_ON && (a > 127 || !(value >= 0 && value <= 1))) {
    status = 2;
  } else if (kind < 1 || kind > 4) {
    status = 2;
  } else if (!std::isfinite(value) || in->eventCount >= kMaxEvents) {
    status = 3;
  } else if (in->eventCount > 0 && in->events[in->eventCount - 1].frame > frame) {
    status = 4;
  } else {
    in->events[in->eventCount++] =
        Pending{kind, frame, a, value, gLogCount < kLogSize ? gLogCount : kLogSize};
  }
  if (gLogCount < kLogSize) {
    gLog[gLogCount] =
        LoggedEvent{handle, kind, frame, in ? in->rendered + frame : 0, a, value, status};
    if (status == 0) gAccepted[gAcceptedCount++] = gLogCount;
    ++gLogCount;
  }
  return status;
}

float sample(const Instance& in, uint64_t n) {
  switch (gConfig.signal) {
    case Signal::kGate:
      return in.level;
    case Signal::kDc:
      return gConfig.amplitude;
    case Signal::kSine:
      return gConfig.amplitude * static_cast<float>(std::sin(2.0 * 3.14159265358979323846 *
                                                             gConfig.sineHz * double(n) / in.rate));
  }
  return 0.0f;
}

double process(uint32_t handle, uint32_t frames) {
  Instance* in = find(handle);
  if (in == nullptr || frames > 128) return 1;
  const std::size_t call = gProcessCount;
  if (gProcessCount < kLogSize) gProcessFrames[gProcessCount++] = frames;
  if (int(call) == gConfig.failProcessCall) return 2;  // a refusal that keeps its events queued
  std::size_t next = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    while (next < in->eventCount && in->events[next].frame == i) {
      const Pending& e = in->events[next++];
      if (e.logIndex < kLogSize && gAppliedCount < kLogSize) gApplied[gAppliedCount++] = e.logIndex;
      if (e.kind == ORBEL_KERNEL_EVENT_NOTE_ON) in->level = static_cast<float>(e.value);
      if (e.kind == ORBEL_KERNEL_EVENT_NOTE_OFF) in->level = 0.0f;
    }
    in->output[i] = sample(*in, in->rendered + i);
  }
  in->eventCount = 0;
  in->rendered += frames;
  return 0;
}

double reset(uint32_t handle) {
  Instance* in = find(handle);
  if (in == nullptr) return 1;
  ++gResets;
  in->eventCount = 0;
  in->level = 0.0f;
  in->output.fill(0.0f);
  return 0;
}

double destroy(uint32_t handle) {
  Instance* in = find(handle);
  if (in == nullptr) return 1;
  ++gDestroys;
  in->live = false;
  return 0;
}

}  // namespace

Config& config() { return gConfig; }

void resetAll() {
  gConfig = Config{};
  gLogCount = 0;
  gAcceptedCount = 0;
  gAppliedCount = 0;
  gProcessCount = 0;
  gResets = 0;
  gDestroys = 0;
  gLastCreateRate = 0.0;
}

const KernelBinding& binding() {
  static const KernelBinding b{
      .runtimeInit = runtimeInit,
      .setPanicSink = setPanicSink,
      .collect = collect,
      .abiVersion = abiVersion,
      .create = create,
      .inputView = inputView,
      .outputView = outputView,
      .pushEvent = pushEvent,
      .process = process,
      .reset = reset,
      .destroy = destroy,
      .instanceLimit = kSlots,
  };
  return b;
}

std::size_t eventCount() { return gLogCount; }
const LoggedEvent& event(std::size_t i) { return gLog[i]; }
std::size_t acceptedCount() { return gAcceptedCount; }
const LoggedEvent& accepted(std::size_t i) { return gLog[gAccepted[i]]; }
std::size_t appliedCount() { return gAppliedCount; }
const LoggedEvent& applied(std::size_t i) { return gLog[gApplied[i]]; }
std::size_t processCallCount() { return gProcessCount; }
uint32_t processFrames(std::size_t call) { return gProcessFrames[call]; }
int runtimeInitCalls() { return gRuntimeInits; }
int resetCalls() { return gResets; }
int destroyCalls() { return gDestroys; }
double lastCreateRate() { return gLastCreateRate; }

void trap(const std::string& message) {
  if (gSink != nullptr) {
    gSink(gSinkContext, reinterpret_cast<const uint8_t*>(message.data()), message.size(), 0);
  }
}

}  // namespace orbel::testkernel
