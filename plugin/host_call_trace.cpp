#include "plugin/host_call_trace.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <ctime>

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace orbel::host_call_trace {
namespace {

std::FILE* openTrace() {
  const char* path = std::getenv("ORBEL_HOST_TRACE");
  if (path == nullptr || path[0] == '\0') return nullptr;
  return std::fopen(path, "a");
}

double seconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Appends to a fixed buffer; never overruns it.
struct LineBuffer {
  char text[2048];
  std::size_t used = 0;
  void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (used >= sizeof text - 1) return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text + used, sizeof text - used, format, args);
    va_end(args);
    if (n > 0) used = std::min(sizeof text - 1, used + std::size_t(n));
  }
};

void begin(LineBuffer& buffer, const void* processor, const char* call) {
  buffer.add("%s this=%p thread=%lx t=%.6f", call, processor,
             static_cast<unsigned long>(pthread_self()), seconds());
}

void finish(std::FILE* file, LineBuffer& buffer) {
  buffer.add("\n");
  std::fwrite(buffer.text, 1, buffer.used, file);
  std::fflush(file);
}

constexpr int kNotesListed = 8;

}  // namespace

std::FILE* stream() {
  static std::FILE* const file = openTrace();
  return file;
}

void line(const void* processor, const char* call, const char* format, ...) {
  std::FILE* const file = stream();
  if (file == nullptr) return;
  LineBuffer buffer;
  begin(buffer, processor, call);
  buffer.add(" ");
  if (buffer.used < sizeof buffer.text - 1) {
    va_list args;
    va_start(args, format);
    const int n =
        std::vsnprintf(buffer.text + buffer.used, sizeof buffer.text - buffer.used, format, args);
    va_end(args);
    if (n > 0) buffer.used = std::min(sizeof buffer.text - 1, buffer.used + std::size_t(n));
  }
  finish(file, buffer);
}

void process(const void* processor, const Steinberg::Vst::ProcessData& data,
             Steinberg::tresult result) {
  using namespace Steinberg;
  using namespace Steinberg::Vst;
  std::FILE* const file = stream();
  if (file == nullptr) return;
  LineBuffer buffer;
  begin(buffer, processor, "process");
  buffer.add(" frames=%d outputs=%d", data.numSamples, data.numOutputs);

  int32 queues = 0;
  int32 points = 0;
  if (IParameterChanges* changes = data.inputParameterChanges) {
    queues = changes->getParameterCount();
    for (int32 i = 0; i < queues; ++i)
      if (IParamValueQueue* queue = changes->getParameterData(i)) points += queue->getPointCount();
  }
  buffer.add(" paramQueues=%d points=%d", queues, points);

  int32 count = 0, ons = 0, offs = 0, others = 0;
  if (IEventList* events = data.inputEvents) {
    count = events->getEventCount();
    for (int32 i = 0; i < count; ++i) {
      Event e{};
      if (events->getEvent(i, e) != kResultOk) continue;
      if (e.type == Event::kNoteOnEvent)
        ++ons;
      else if (e.type == Event::kNoteOffEvent)
        ++offs;
      else
        ++others;
    }
  }
  buffer.add(" events=%d on=%d off=%d other=%d", count, ons, offs, others);
  if (IEventList* events = data.inputEvents) {
    for (int32 i = 0, listed = 0; i < count && listed < kNotesListed; ++i) {
      Event e{};
      if (events->getEvent(i, e) != kResultOk) continue;
      if (e.type == Event::kNoteOnEvent) {
        buffer.add(" [on %d @%d v%.4g id%d]", e.noteOn.pitch, e.sampleOffset, e.noteOn.velocity,
                   e.noteOn.noteId);
        ++listed;
      } else if (e.type == Event::kNoteOffEvent) {
        buffer.add(" [off %d @%d id%d]", e.noteOff.pitch, e.sampleOffset, e.noteOff.noteId);
        ++listed;
      }
    }
  }
  if (const ProcessContext* context = data.processContext) {
    buffer.add(" playing=%d pos=%lld", (context->state & ProcessContext::kPlaying) ? 1 : 0,
               static_cast<long long>(context->projectTimeSamples));
  }
  float peak = 0.0f;
  if (data.numSamples > 0 && data.numOutputs > 0 && data.outputs != nullptr &&
      data.outputs[0].channelBuffers32 != nullptr && data.outputs[0].numChannels > 0) {
    if (const float* left = data.outputs[0].channelBuffers32[0])
      for (int32 s = 0; s < data.numSamples; ++s) peak = std::max(peak, std::fabs(left[s]));
  }
  buffer.add(" peak=%.4g result=%d", peak, static_cast<int>(result));
  finish(file, buffer);
}

}  // namespace orbel::host_call_trace
