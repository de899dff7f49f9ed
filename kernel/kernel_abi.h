// The synth kernel's binary interface: eleven plain C entry points under
// unmangled names. Every entry returns a double; integer results are small
// whole numbers carried in it. The engine binds these by name; tools may
// dlopen libmirel_kernel.so (or the plug-in module) and look them up.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define ORBEL_KERNEL_SYMBOL_PREFIX "scpr_music_orbel_mirel_9ff6eb2b48a9_"

#ifdef __cplusplus
extern "C" {
#endif

// Called when the kernel traps, before it aborts: (context, record bytes,
// record length, classification code as a number; 0 when not known).
typedef void (*orbel_kernel_panic_sink)(void* context, const uint8_t* message, size_t length,
                                        uint64_t code);

#define ORBEL_KERNEL_API __attribute__((visibility("default")))

ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_runtime_init(void);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_set_panic_sink(
    orbel_kernel_panic_sink sink, void* context);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_collect(void);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_abi_version(void);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_create(uint32_t maxFrames,
                                                                   uint32_t inputChannels,
                                                                   uint32_t outputChannels,
                                                                   double sampleRate);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_input_view(uint32_t handle,
                                                                       float** data,
                                                                       uint64_t* length);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_output_view(uint32_t handle,
                                                                        float** data,
                                                                        uint64_t* length);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_push_event(uint32_t handle,
                                                                       uint32_t kind,
                                                                       uint32_t frame, uint32_t a,
                                                                       double value);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_process(uint32_t handle,
                                                                    uint32_t frames);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_reset(uint32_t handle);
ORBEL_KERNEL_API double scpr_music_orbel_mirel_9ff6eb2b48a9_destroy(uint32_t handle);

// Event kinds for push_event.
enum {
  ORBEL_KERNEL_EVENT_PARAMETER = 1,
  ORBEL_KERNEL_EVENT_NOTE_ON = 2,
  ORBEL_KERNEL_EVENT_NOTE_OFF = 3,
  ORBEL_KERNEL_EVENT_CONTROL_CHANGE = 4,
};

// Limits of the interface: instances alive at once in one process, frames per
// process call, events queued per instance between two process calls.
enum {
  ORBEL_KERNEL_MAX_INSTANCES = 32,
  ORBEL_KERNEL_MAX_FRAMES = 128,
  ORBEL_KERNEL_MAX_EVENTS = 64,
};

// Status codes of push_event, process, reset and destroy.
enum {
  ORBEL_KERNEL_DONE = 0,
  ORBEL_KERNEL_UNKNOWN_OR_RANGE = 1,
  ORBEL_KERNEL_REJECTED = 2,
  ORBEL_KERNEL_NOT_FINITE_OR_FULL = 3,
  ORBEL_KERNEL_OUT_OF_ORDER = 4,
};

#ifdef __cplusplus
}
#endif
