#include "kernel/kernel_runtime.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "kernel/kernel_abi.h"
#include "kernel/kernel_trap.h"

namespace orbel {
namespace {

// Allocated by the first runtime_init and reused (cleared) by later ones, so a
// pointer to the output table stays valid for the life of the process.
KernelTables* g_tables = nullptr;
float g_emptyStorage[1] = {0.0f};

constexpr double STATUS_DONE = ORBEL_KERNEL_DONE;
constexpr double STATUS_UNKNOWN_OR_RANGE = ORBEL_KERNEL_UNKNOWN_OR_RANGE;
constexpr double STATUS_REJECTED = ORBEL_KERNEL_REJECTED;
constexpr double STATUS_NOT_FINITE_OR_FULL = ORBEL_KERNEL_NOT_FINITE_OR_FULL;
constexpr double STATUS_OUT_OF_ORDER = ORBEL_KERNEL_OUT_OF_ORDER;

float* outputRegion(KernelTables& t, uint32_t slot) {
  const uint64_t first = uint64_t{slot} * KERNEL_OUT_CHANNELS * KERNEL_MAX_FRAMES;
  kernelCheckedIndex(first + KERNEL_MAX_FRAMES - 1, KERNEL_OUTPUT_SAMPLES);
  return t.output + first;
}

void clearOutput(KernelTables& t, uint32_t slot) {
  std::memset(outputRegion(t, slot), 0, sizeof(float) * KERNEL_MAX_FRAMES);
}

// The eleven defaults, in index order, as a new or reset instance starts.
bool applyDefaults(MirelState& state) {
  for (uint32_t i = 0; i < KERNEL_PARAMETER_COUNT; ++i) {
    if (!applyParameter(state, i, MIREL_PARAMETER_DEFAULTS[i])) return false;
  }
  return true;
}

bool renderSpan(KernelTables& t, uint32_t slot, uint32_t offset, uint32_t frames) {
  MirelBlock& block = t.blocks[slot];
  block.offset = offset;
  block.frames = frames;
  return process(t.states[slot], block);
}

// Rounds to single precision as the hardware does, without converting a
// double beyond the float range (that conversion is undefined in C++).
float toSingle(double v) {
  constexpr double kRoundsToInfinity = 0x1.ffffffp127;  // FLT_MAX + half an ulp
  if (v >= kRoundsToInfinity) return std::numeric_limits<float>::infinity();
  if (v <= -kRoundsToInfinity) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

bool noteVelocityAccepted(double v) { return (v >= 0.0 && v <= 1.0) || (v >= 2.0 && v <= 3.0); }

}  // namespace

KernelTables* kernelTables() { return g_tables; }

MirelFloatArray kernelEmptyView() { return MirelFloatArray{g_emptyStorage, 0}; }

double kernelRuntimeInit() {
  // The tables live in the module's static storage: allocating them would
  // leak them each time a host unloads and reloads the module.
  static KernelTables storage;
  g_tables = &storage;
  KernelTables& t = *g_tables;
  std::memset(t.active, 0, sizeof t.active);
  std::memset(t.generations, 0, sizeof t.generations);
  std::memset(t.maximumBlockSizes, 0, sizeof t.maximumBlockSizes);
  std::memset(t.eventCounts, 0, sizeof t.eventCounts);
  for (uint32_t s = 0; s < KERNEL_MAX_INSTANCES; ++s) {
    t.states[s] = createState();
    t.blocks[s] = MirelBlock{};
  }
  std::memset(t.output, 0, sizeof t.output);
  std::memset(t.eventFrames, 0, sizeof t.eventFrames);
  std::memset(t.eventKinds, 0, sizeof t.eventKinds);
  std::memset(t.eventParameters, 0, sizeof t.eventParameters);
  std::memset(t.eventA, 0, sizeof t.eventA);
  std::memset(t.eventValues, 0, sizeof t.eventValues);
  return STATUS_DONE;
}

int kernelSlotFor(uint32_t handle) {
  if (g_tables == nullptr || handle == 0) return -1;
  const uint32_t k = handle - 1;
  const uint32_t slot = k % KERNEL_MAX_INSTANCES;
  if (g_tables->active[slot] != 1) return -1;
  if (k / KERNEL_MAX_INSTANCES + 1 != g_tables->generations[slot]) return -1;
  return static_cast<int>(slot);
}

double kernelCreate(uint32_t maxFrames, uint32_t inputChannels, uint32_t outputChannels,
                    double sampleRate) {
  if (g_tables == nullptr) return 0;
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate) || maxFrames == 0 ||
      maxFrames > KERNEL_MAX_FRAMES || inputChannels != 0 || outputChannels != 1) {
    return 0;
  }
  KernelTables& t = *g_tables;
  uint32_t slot = 0;
  while (slot < KERNEL_MAX_INSTANCES && t.active[slot] != 0) ++slot;
  if (slot == KERNEL_MAX_INSTANCES) return 0;

  uint32_t generation = t.generations[slot] + 1;
  if (generation == 0 || generation > KERNEL_MAX_GENERATION) generation = 1;
  t.generations[slot] = generation;

  MirelState& state = t.states[slot];
  state = createState();
  MirelPrepareRecord record;
  record.inputChannels = 0;
  record.maxFrames = maxFrames;
  record.outputChannels = 1;
  record.sampleRate = toSingle(sampleRate);
  if (!prepare(state, record)) return 0;

  t.maximumBlockSizes[slot] = maxFrames;
  t.eventCounts[slot] = 0;
  MirelBlock& block = t.blocks[slot];
  block.capacity = KERNEL_MAX_FRAMES;
  block.frames = 0;
  block.offset = 0;
  block.input = kernelEmptyView();
  block.inputChannels = 0;
  block.output = MirelFloatArray{outputRegion(t, slot), KERNEL_MAX_FRAMES};
  block.outputChannels = KERNEL_OUT_CHANNELS;

  if (!applyDefaults(state)) {
    t.maximumBlockSizes[slot] = 0;
    return 0;
  }
  t.active[slot] = 1;
  clearOutput(t, slot);
  return static_cast<double>(slot + KERNEL_MAX_INSTANCES * (generation - 1) + 1);
}

void kernelInputView(uint32_t /*handle*/, float** data, uint64_t* length) {
  if (data != nullptr) *data = g_emptyStorage;
  if (length != nullptr) *length = 0;
}

void kernelOutputView(uint32_t handle, float** data, uint64_t* length) {
  const int slot = kernelSlotFor(handle);
  float* pointer = g_emptyStorage;
  uint64_t count = 0;
  if (slot >= 0) {
    pointer = outputRegion(*g_tables, static_cast<uint32_t>(slot));
    count = uint64_t{KERNEL_OUT_CHANNELS} * KERNEL_MAX_FRAMES;
  }
  if (data != nullptr) *data = pointer;
  if (length != nullptr) *length = count;
}

double kernelPushEvent(uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value) {
  const int found = kernelSlotFor(handle);
  if (found < 0) return STATUS_UNKNOWN_OR_RANGE;
  const auto slot = static_cast<uint32_t>(found);
  KernelTables& t = *g_tables;
  if (frame >= t.maximumBlockSizes[slot]) return STATUS_UNKNOWN_OR_RANGE;

  switch (kind) {
    case KERNEL_EVENT_PARAMETER:
      if (a >= KERNEL_PARAMETER_COUNT) return STATUS_REJECTED;
      break;
    case KERNEL_EVENT_NOTE_ON:
      if (a > 127 || !noteVelocityAccepted(value)) return STATUS_REJECTED;
      break;
    case KERNEL_EVENT_NOTE_OFF:
      if (a > 127 || value != 0.0) return STATUS_REJECTED;
      break;
    case KERNEL_EVENT_CONTROL_CHANGE:
      if (a > 127 || !(value >= 0.0 && value <= 1.0)) return STATUS_REJECTED;
      break;
    default:
      return STATUS_REJECTED;
  }

  // The value is queued at single precision; a finite double beyond the float
  // range would become infinite there and be refused only when processed.
  const float single = toSingle(value);
  if (!std::isfinite(value) || !std::isfinite(single)) return STATUS_NOT_FINITE_OR_FULL;
  const uint32_t count = t.eventCounts[slot];
  if (count >= KERNEL_MAX_EVENTS) return STATUS_NOT_FINITE_OR_FULL;
  const uint32_t base = slot * KERNEL_MAX_EVENTS;
  if (count > 0 && t.eventFrames[base + count - 1] > frame) return STATUS_OUT_OF_ORDER;

  const auto at = static_cast<uint32_t>(kernelCheckedIndex(base + count, KERNEL_EVENT_ENTRIES));
  const bool parameter = kind == KERNEL_EVENT_PARAMETER;
  t.eventFrames[at] = frame;
  t.eventKinds[at] = kind;
  t.eventParameters[at] = parameter ? a : 0;
  t.eventA[at] = parameter ? 0 : static_cast<int32_t>(a);
  t.eventValues[at] = single;
  t.eventCounts[slot] = count + 1;
  return STATUS_DONE;
}

double kernelProcess(uint32_t handle, uint32_t frames) {
  const int found = kernelSlotFor(handle);
  if (found < 0) return STATUS_UNKNOWN_OR_RANGE;
  const auto slot = static_cast<uint32_t>(found);
  KernelTables& t = *g_tables;
  if (t.maximumBlockSizes[slot] < frames) return STATUS_UNKNOWN_OR_RANGE;

  MirelState& state = t.states[slot];
  const uint32_t base = slot * KERNEL_MAX_EVENTS;
  const uint32_t count = t.eventCounts[slot];
  // A refused event or span is reported, but the rest of the block is still
  // rendered and the queue is emptied as after a good block. Keeping the queue
  // would replay its notes at the next call and, since a refusal here comes
  // from an event the voice cannot take (a control change), fail every later
  // block until a reset.
  bool refused = false;
  uint32_t t0 = 0;
  for (uint32_t h = 0; h < count; ++h) {
    const uint32_t f = t.eventFrames[base + h];
    if (f >= frames) break;
    if (t0 < f) {
      refused |= !renderSpan(t, slot, t0, f - t0);
      t0 = f;
    }
    if (h > 0 && t.eventFrames[base + h - 1] == f) continue;

    // The group of events at frame f: parameters first, then the others, each
    // in queue order, so a note at this frame already hears the new values.
    uint32_t end = h;
    while (end < count && t.eventFrames[base + end] == f) ++end;
    for (uint32_t j = h; j < end; ++j) {
      const uint32_t e = base + j;
      if (t.eventKinds[e] == KERNEL_EVENT_PARAMETER) {
        refused |= !applyParameter(state, t.eventParameters[e], t.eventValues[e]);
      }
    }
    for (uint32_t j = h; j < end; ++j) {
      const uint32_t e = base + j;
      if (t.eventKinds[e] != KERNEL_EVENT_PARAMETER) {
        refused |= !handleEvent(state, t.eventKinds[e], t.eventA[e], t.eventValues[e]);
      }
    }
  }
  if (t0 < frames) refused |= !renderSpan(t, slot, t0, frames - t0);
  t.eventCounts[slot] = 0;
  return refused ? STATUS_REJECTED : STATUS_DONE;
}

double kernelReset(uint32_t handle) {
  const int found = kernelSlotFor(handle);
  if (found < 0) return STATUS_UNKNOWN_OR_RANGE;
  const auto slot = static_cast<uint32_t>(found);
  KernelTables& t = *g_tables;
  reset(t.states[slot]);
  const bool defaultsTaken = applyDefaults(t.states[slot]);
  t.eventCounts[slot] = 0;
  clearOutput(t, slot);
  return defaultsTaken ? STATUS_DONE : STATUS_REJECTED;
}

double kernelDestroy(uint32_t handle) {
  const int found = kernelSlotFor(handle);
  if (found < 0) return STATUS_UNKNOWN_OR_RANGE;
  const auto slot = static_cast<uint32_t>(found);
  KernelTables& t = *g_tables;
  t.active[slot] = 0;
  t.maximumBlockSizes[slot] = 0;
  t.eventCounts[slot] = 0;
  return STATUS_DONE;
}

}  // namespace orbel
