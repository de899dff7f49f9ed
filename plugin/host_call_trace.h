// Optional developer trace of the host's calls into the processor: set-up,
// activation, processing state, every process call with its event counts, and
// state loads. Named by the environment variable ORBEL_HOST_TRACE; off when it
// is unset or empty, and then it formats nothing. With it on, every process
// call writes one line (this is a debugging aid, not for live use).
#pragma once

#include <cstdio>

#include "pluginterfaces/vst/ivstaudioprocessor.h"

namespace orbel::host_call_trace {

// The trace stream, or null when tracing is off. Decided the first time it is
// asked (from initialize, on the host's main thread); holds for the process.
std::FILE* stream();

// One line: "<call> this=<processor> thread=<id> t=<seconds> <detail>".
void line(const void* processor, const char* call, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// One line for a process call: frames, buffers, parameter queues and points,
// note events (with pitch, offset, velocity and id of the first few), the
// transport, and the result.
void process(const void* processor, const Steinberg::Vst::ProcessData& data,
             Steinberg::tresult result);

}  // namespace orbel::host_call_trace
