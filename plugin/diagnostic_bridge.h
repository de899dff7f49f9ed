#pragma once
// The functions the module exports (unmangled) for glue code and for
// diagnostic clients outside the web view: a repeating clock on the host's
// run loop, and the controller's bridge (install a sink, deliver a page
// message, tick the cadence). All of them are called on the host's UI thread.
//
// The bridge functions take the controller as any of its interface pointers.
// They answer 0, and do nothing, for null and for any object that is not a
// live edit controller of this module.
#include <cstddef>
#include <cstdint>

#include "pluginterfaces/base/funknown.h"

#define ORBEL_EXPORTED extern "C" __attribute__((visibility("default")))

// Receives one announcement: `length` bytes of JSON, not NUL-terminated.
using OrbelDiagnosticSink = void (*)(void* context, const char* data, size_t length);
using OrbelClockCallback = void (*)(void* context);

// The bridge functions' interface version.
inline constexpr int32_t kOrbelDiagnosticBridgeAbi = 2;

// A clock calling callback(context) every intervalSeconds (1/30 s when not
// above 0) on the run loop the host lent the module; it waits until one is
// known. Null for a null callback. The handle stays valid until stopped.
ORBEL_EXPORTED void* orbelStartCadenceClock(OrbelClockCallback callback, void* context,
                                            double intervalSeconds);
// Stops and frees a clock; nothing for null.
ORBEL_EXPORTED void orbelStopCadenceClock(void* handle);

ORBEL_EXPORTED int32_t orbelDiagnosticBridgeAbiVersion();
// A non-null callback becomes the controller's one bridge sink (replacing the
// web view's or an earlier client's); null removes the sink.
ORBEL_EXPORTED int32_t orbelInstallDiagnosticBridgeSink(Steinberg::FUnknown* controller,
                                                        OrbelDiagnosticSink callback,
                                                        void* context);
// One page message (JSON text of `length` bytes); 0 also for null data.
ORBEL_EXPORTED int32_t orbelDeliverDiagnosticBridgeMessage(Steinberg::FUnknown* controller,
                                                           const char* data, size_t length);
// One tick of the controller's cadence (transport poll and feed drain).
ORBEL_EXPORTED int32_t orbelTickDiagnosticCadence(Steinberg::FUnknown* controller);

// The module's UI root folder, empty when the bundle has none. The text stays
// valid until the next call.
ORBEL_EXPORTED const char* orbelPluginUiRootForDiagnostics();
