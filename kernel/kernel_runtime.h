// The kernel's instance tables and the operations behind the entry points.
// Internal to the kernel: the engine reaches these only through kernel_abi.h.
#pragma once

#include <cstdint>

#include "kernel/kernel_abi.h"
#include "kernel/mirel_voice.h"

namespace orbel {

inline constexpr uint32_t KERNEL_MAX_INSTANCES = ORBEL_KERNEL_MAX_INSTANCES;
inline constexpr uint32_t KERNEL_MAX_FRAMES = ORBEL_KERNEL_MAX_FRAMES;
inline constexpr uint32_t KERNEL_OUT_CHANNELS = 1;
inline constexpr uint32_t KERNEL_MAX_EVENTS = ORBEL_KERNEL_MAX_EVENTS;
inline constexpr uint32_t KERNEL_PARAMETER_COUNT = MIREL_PARAMETER_COUNT;
inline constexpr uint32_t KERNEL_EVENT_PARAMETER = 1;
inline constexpr uint32_t KERNEL_EVENT_NOTE_ON = 2;
inline constexpr uint32_t KERNEL_EVENT_NOTE_OFF = 3;
inline constexpr uint32_t KERNEL_EVENT_CONTROL_CHANGE = 4;
inline constexpr uint32_t KERNEL_ABI_VERSION = 2;

inline constexpr uint32_t KERNEL_OUTPUT_SAMPLES =
    KERNEL_MAX_INSTANCES * KERNEL_OUT_CHANNELS * KERNEL_MAX_FRAMES;
inline constexpr uint32_t KERNEL_EVENT_ENTRIES = KERNEL_MAX_INSTANCES * KERNEL_MAX_EVENTS;

// Generations run from 1 to this value and then start again at 1, so that
// slot + 32 × (generation − 1) + 1 always fits 32 bits.
inline constexpr uint32_t KERNEL_MAX_GENERATION = 134217727;

struct KernelTables {
  uint8_t active[KERNEL_MAX_INSTANCES];
  uint32_t generations[KERNEL_MAX_INSTANCES];
  uint32_t maximumBlockSizes[KERNEL_MAX_INSTANCES];
  uint32_t eventCounts[KERNEL_MAX_INSTANCES];
  MirelState states[KERNEL_MAX_INSTANCES];
  MirelBlock blocks[KERNEL_MAX_INSTANCES];
  alignas(64) float output[KERNEL_OUTPUT_SAMPLES];

  uint32_t eventFrames[KERNEL_EVENT_ENTRIES];
  uint32_t eventKinds[KERNEL_EVENT_ENTRIES];
  uint32_t eventParameters[KERNEL_EVENT_ENTRIES];
  int32_t eventA[KERNEL_EVENT_ENTRIES];
  float eventValues[KERNEL_EVENT_ENTRIES];
};

// The tables, or null before the first runtime_init.
KernelTables* kernelTables();

// A float array of length 0 with a valid data pointer (also the input view).
MirelFloatArray kernelEmptyView();

double kernelRuntimeInit();
double kernelCreate(uint32_t maxFrames, uint32_t inputChannels, uint32_t outputChannels,
                    double sampleRate);
void kernelInputView(uint32_t handle, float** data, uint64_t* length);
void kernelOutputView(uint32_t handle, float** data, uint64_t* length);
double kernelPushEvent(uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value);
double kernelProcess(uint32_t handle, uint32_t frames);
double kernelReset(uint32_t handle);
double kernelDestroy(uint32_t handle);

// The slot of a live handle, or -1 when the handle is unknown.
int kernelSlotFor(uint32_t handle);

}  // namespace orbel
