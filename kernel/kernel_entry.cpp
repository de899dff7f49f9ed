// The eleven exported entry points. Each one first checks that the kernel may
// be entered (not poisoned by a trap, not called from inside the panic sink)
// and records its name for a trap record, then runs the table operation.
//
// Views need no release step here: they point into tables that live until the
// process ends, so the release that each entry would begin with is empty and
// `collect` has nothing to reclaim.
#include "kernel/kernel_abi.h"
#include "kernel/kernel_runtime.h"
#include "kernel/kernel_trap.h"

#define ORBEL_KERNEL_ENTRY_NAME(op) ORBEL_KERNEL_SYMBOL_PREFIX #op

extern "C" {

double scpr_music_orbel_mirel_9ff6eb2b48a9_runtime_init(void) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(runtime_init));
  return orbel::kernelRuntimeInit();
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_set_panic_sink(orbel_kernel_panic_sink sink,
                                                          void* context) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(set_panic_sink));
  orbel::setKernelPanicSink(sink, context);
  return 0;
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_collect(void) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(collect));
  return 0;
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_abi_version(void) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(abi_version));
  return orbel::KERNEL_ABI_VERSION;
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_create(uint32_t maxFrames, uint32_t inputChannels,
                                                  uint32_t outputChannels, double sampleRate) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(create));
  return orbel::kernelCreate(maxFrames, inputChannels, outputChannels, sampleRate);
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_input_view(uint32_t handle, float** data,
                                                      uint64_t* length) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(input_view));
  orbel::kernelInputView(handle, data, length);
  return 0;
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_output_view(uint32_t handle, float** data,
                                                       uint64_t* length) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(output_view));
  orbel::kernelOutputView(handle, data, length);
  return 0;
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_push_event(uint32_t handle, uint32_t kind,
                                                      uint32_t frame, uint32_t a, double value) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(push_event));
  return orbel::kernelPushEvent(handle, kind, frame, a, value);
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_process(uint32_t handle, uint32_t frames) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(process));
  return orbel::kernelProcess(handle, frames);
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_reset(uint32_t handle) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(reset));
  return orbel::kernelReset(handle);
}

double scpr_music_orbel_mirel_9ff6eb2b48a9_destroy(uint32_t handle) {
  orbel::enterKernel(ORBEL_KERNEL_ENTRY_NAME(destroy));
  return orbel::kernelDestroy(handle);
}

}  // extern "C"
