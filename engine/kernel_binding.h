// The engine reaches a kernel only through its eleven plain entry points. They
// are gathered in one table so that a kernel other than the product's (a test
// double, a wrapper) can be bound to an engine without touching the engine.
#pragma once

#include <cstdint>
#include <mutex>

#include "kernel/kernel_abi.h"

namespace orbel {

struct KernelBinding {
  double (*runtimeInit)();
  double (*setPanicSink)(orbel_kernel_panic_sink sink, void* context);
  double (*collect)();
  double (*abiVersion)();
  double (*create)(uint32_t maxFrames, uint32_t inputChannels, uint32_t outputChannels,
                   double sampleRate);
  double (*inputView)(uint32_t handle, float** data, uint64_t* length);
  double (*outputView)(uint32_t handle, float** data, uint64_t* length);
  double (*pushEvent)(uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value);
  double (*process)(uint32_t handle, uint32_t frames);
  double (*reset)(uint32_t handle);
  double (*destroy)(uint32_t handle);

  // How many instances the kernel can hold at once in one process (0: not
  // known). Lets the engine name the limit when a create fails for it.
  uint32_t instanceLimit = 0;
  // Instances engines hold through this binding; guarded by the engines'
  // process-wide instance lock.
  mutable uint32_t liveInstances = 0;

  // A kernel's runtime is initialised once per process, however many engines
  // bind it. The guard lives with the table, so every distinct kernel binding
  // (the product's, or a test double's) gets its own single initialisation.
  mutable std::once_flag runtimeOnce{};
};

// The product kernel linked into the module.
const KernelBinding& productKernelBinding();

}  // namespace orbel
