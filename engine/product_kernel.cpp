// Binds the product kernel's exported entry points. Kept in its own file so
// that programs which bind only other kernels do not need the product kernel.
#include "engine/kernel_binding.h"
#include "engine/kernel_engine.h"

namespace orbel {

const KernelBinding& productKernelBinding() {
  static const KernelBinding binding{
      .runtimeInit = scpr_music_orbel_mirel_9ff6eb2b48a9_runtime_init,
      .setPanicSink = scpr_music_orbel_mirel_9ff6eb2b48a9_set_panic_sink,
      .collect = scpr_music_orbel_mirel_9ff6eb2b48a9_collect,
      .abiVersion = scpr_music_orbel_mirel_9ff6eb2b48a9_abi_version,
      .create = scpr_music_orbel_mirel_9ff6eb2b48a9_create,
      .inputView = scpr_music_orbel_mirel_9ff6eb2b48a9_input_view,
      .outputView = scpr_music_orbel_mirel_9ff6eb2b48a9_output_view,
      .pushEvent = scpr_music_orbel_mirel_9ff6eb2b48a9_push_event,
      .process = scpr_music_orbel_mirel_9ff6eb2b48a9_process,
      .reset = scpr_music_orbel_mirel_9ff6eb2b48a9_reset,
      .destroy = scpr_music_orbel_mirel_9ff6eb2b48a9_destroy,
      .instanceLimit = ORBEL_KERNEL_MAX_INSTANCES,
  };
  return binding;
}

KernelEngine::KernelEngine() : KernelEngine(productKernelBinding()) {}

}  // namespace orbel
