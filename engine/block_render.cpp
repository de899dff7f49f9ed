// KernelEngine block rendering: the entry, the failure paths and the direct
// path (kernel at the host rate, 128-frame chunks).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/kernel_engine.h"
#include "engine/kernel_trace.h"

namespace orbel {

void KernelEngine::clearOutputs(float* const* outputs, int32_t count, int32_t frames) {
  if (outputs == nullptr || count <= 0 || frames <= 0) return;
  for (int32_t c = 0; c < count; ++c) {
    if (outputs[c] != nullptr) std::memset(outputs[c], 0, sizeof(float) * size_t(frames));
  }
}

void KernelEngine::renderChannel(const float* source, float* destination, int32_t frames) {
  if (source == nullptr || destination == nullptr || frames <= 0 || source == destination) return;
  std::memmove(destination, source, sizeof(float) * size_t(frames));
}

void KernelEngine::renderInstrumentBlock(float* const* outputs, int32_t count, int32_t frames) {
  clearOutputs(outputs, count, frames);
  if (frames > 0) historyFrameBase_ += static_cast<uint32_t>(frames);
}

void KernelEngine::processBlock(const float* const* inputs, int32_t inputCount,
                                float* const* outputs, int32_t outputCount, int32_t frames) {
  processBlock(inputs, inputCount, nullptr, 0, outputs, outputCount, frames);
}

void KernelEngine::processBlock(const float* const* inputs, int32_t inputCount,
                                const float* const* /*sideChain*/, int32_t /*sideChainCount*/,
                                float* const* outputs, int32_t outputCount, int32_t frames) {
  // Pushes that found the queue full belong to this block's account.
  lastBlockDroppedEvents_ = queueOverflowed_;
  if (queueOverflowed_) {
    queueOverflowed_ = false;
    recordRealtimeDiagnostic(ORBEL_DIAG_EVENT_REJECTED, ORBEL_DIAG_SEVERITY_ERROR,
                             ORBEL_DIAG_PHASE_PROCESS);
  }
  if (!ready_) {
    clearOutputs(outputs, outputCount, frames);
    discardQueue();
    lastBlockFailed_ = true;
    outputSilent_ = true;
    recordRealtimeDiagnostic(ORBEL_DIAG_PROCESS_FAILED, ORBEL_DIAG_SEVERITY_FATAL,
                             ORBEL_DIAG_PHASE_PROCESS);
    return;
  }
  lastBlockFailed_ = false;
  outputSilent_ = false;

  if (frames <= 0) {
    // A flush (hosts send them while the transport stands): nothing renders,
    // nothing is lost.
    holdEventsForNextBlock();
    return;
  }

  if (outputCount < 1 || outputs == nullptr || frames > maxBlockFrames_ || handle_ == 0 ||
      outputView_ == nullptr) {
    clearOutputs(outputs, outputCount, frames);
    discardQueue();
    lastBlockFailed_ = true;
    outputSilent_ = true;
    recordRealtimeDiagnostic(ORBEL_DIAG_PROCESS_FAILED, ORBEL_DIAG_SEVERITY_ERROR,
                             ORBEL_DIAG_PHASE_PROCESS);
    return;
  }

  placeEventsInBlock(frames);

  if (usesRateAdapter()) {
    bool ok = false;
    if (!adapterFailed_)
      ok = processHandleV2RateConverted(inputs, inputCount, outputs, outputCount, frames);
    if (!ok) {
      clearOutputs(outputs, outputCount, frames);
      if (!adapterFailed_) {
        resetAdapter();
        adapterFailed_ = true;
      }
      discardQueue();
      lastBlockFailed_ = true;
      outputSilent_ = true;
      recordRealtimeDiagnostic(ORBEL_DIAG_RATE_ADAPTER_INIT_FAILED, ORBEL_DIAG_SEVERITY_ERROR,
                               ORBEL_DIAG_PHASE_PROCESS);
    }
    return;
  }

  renderDirect(outputs, outputCount, frames);
}

double KernelEngine::deliverEvent(const EngineEvent& e, uint32_t frame) {
  double status = -1.0;
  int traceKind = 0;
  switch (e.kind) {
    case EngineEvent::kNoteOff:
      traceKind = 3;
      // A note-off for an earlier note of the same pitch leaves the newer one
      // sounding (nothing is pushed).
      if (!noteOffMatches(e)) break;
      status = kernel_->pushEvent(handle_, ORBEL_KERNEL_EVENT_NOTE_OFF, frame,
                                  static_cast<uint32_t>(e.pitch), 0.0);
      if (status == 0.0) rememberSoundingNote(e.pitch, -1);
      break;
    case EngineEvent::kNoteOn:
      traceKind = 2;
      status = kernel_->pushEvent(handle_, ORBEL_KERNEL_EVENT_NOTE_ON, frame,
                                  static_cast<uint32_t>(e.pitch), e.value);
      if (status == 0.0) rememberSoundingNote(e.pitch, e.noteId);
      break;
    case EngineEvent::kParameter:
      if (e.index >= kParamCount) return -1.0;
      storeParam(e.index, e.value);
      return pushParameterEvent(e.index, frame, e.value, "queue");
    default:
      break;  // controllers are not delivered to this kernel
  }
  if (status == 0.0) ++eventsInCall_;
  if (std::FILE* trace = kernel_trace::stream()) {
    std::fprintf(
        trace, "E this=%p blk=%llu frame=%u kind=%d a=%u value=%.17g src=queue status=%g\n",
        static_cast<void*>(this), static_cast<unsigned long long>(kernel_trace::currentBlock()),
        frame, traceKind, static_cast<uint32_t>(e.pitch), e.value, status);
  }
  return status;
}

void KernelEngine::noteEventRefused(const EngineEvent& e, double status) {
  if (e.kind == EngineEvent::kParameter || status == 0.0 || status == -1.0) return;
  lastBlockDroppedEvents_ = true;
  recordRealtimeDiagnostic(ORBEL_DIAG_EVENT_REJECTED, ORBEL_DIAG_SEVERITY_ERROR,
                           ORBEL_DIAG_PHASE_PROCESS);
}

void KernelEngine::recoverFailedChunk() {
  // A kernel keeps the events of a failed call and replays them at the next
  // one, where they would land at wrong frames and push later events out of
  // order (a lost note-off means a stuck note). Start the instance afresh; the
  // shadow then matches its defaults and re-publication restores the values.
  kernel_->reset(handle_);
  resetProductParameterShadow();
  forgetSoundingNotes();
  paramsDirty_.store(true, std::memory_order_seq_cst);
}

void KernelEngine::renderDirect(float* const* outputs, int32_t outputCount, int32_t frames) {
  // The queue is sorted and every offset lies in [0, frames) (placeEventsInBlock).
  FirstFrameFlags flags{};
  for (int32_t i = 0; i < queueCount_; ++i) {
    const EngineEvent& e = queue_[i];
    if (e.kind == EngineEvent::kParameter && e.sampleOffset == 0 && e.index < kParamCount) {
      flags[e.index] = true;
    }
  }
  const FirstFrameFlags noFlags{};

  std::FILE* const trace = kernel_trace::stream();
  int32_t next = 0;
  for (int32_t offset = 0; offset < frames;) {
    int32_t length = std::min<int32_t>(int32_t(kChunkFrames), frames - offset);
    if (trace != nullptr) {
      const unsigned long long block =
          offset == 0 ? kernel_trace::beginBlock() : kernel_trace::currentBlock();
      std::fprintf(trace, "B this=%p blk=%llu off=%d chunk=%d frames=%d events=%d\n",
                   static_cast<void*>(this), block, offset, length, frames, queueCount_);
    }
    eventsInCall_ = 0;
    // The first-frame flags only concern the block's first frame.
    publishDirtyProductParameters(offset == 0 ? flags : noFlags);

    const int32_t chunkFirst = next;
    while (next < queueCount_ && queue_[next].sampleOffset < offset + length) {
      const EngineEvent& e = queue_[next];
      // Records held back by a full kernel queue open the next call late.
      const uint32_t frame = static_cast<uint32_t>(std::max(e.sampleOffset - offset, 0));
      const double status = deliverEvent(e, frame);
      if (kernelQueueFull(status)) {
        if (frame > 0) {
          // The call now ends before this frame, so the kernel drops the
          // events of this frame it already took: the whole group opens the
          // next call.
          while (next > chunkFirst && queue_[next - 1].sampleOffset == e.sampleOffset) --next;
          length = int32_t(frame);
        } else {
          // More events on one frame than the kernel takes in a call: this
          // call renders that one frame with the events it holds, and the
          // rest follow in order at the next frame.
          length = 1;
        }
        break;
      }
      ++next;
      noteEventRefused(e, status);
    }

    if (trace != nullptr) std::fflush(trace);
    const double status = kernel_->process(handle_, static_cast<uint32_t>(length));
    if (status == 0.0) {
      for (int32_t c = 0; c < outputCount; ++c) {
        if (outputs[c] != nullptr) renderChannel(outputView_, outputs[c] + offset, length);
      }
    } else {
      lastBlockFailed_ = true;
      recordRealtimeDiagnostic(ORBEL_DIAG_PROCESS_FAILED, ORBEL_DIAG_SEVERITY_ERROR,
                               ORBEL_DIAG_PHASE_PROCESS);
      for (int32_t c = 0; c < outputCount; ++c) {
        if (outputs[c] != nullptr)
          std::memset(outputs[c] + offset, 0, sizeof(float) * size_t(length));
      }
      recoverFailedChunk();
    }
    offset += length;
  }

  // Only a flood on the last frame leaves records behind: they open the next
  // block, in order.
  int32_t held = 0;
  for (int32_t i = next; i < queueCount_; ++i) {
    queue_[held] = queue_[i];
    queue_[held++].sampleOffset = kHeldOffset;
  }
  queueCount_ = held;

  bool silent = true;
  for (int32_t c = 0; c < outputCount && silent; ++c) {
    const float* ch = outputs[c];
    if (ch == nullptr) continue;
    for (int32_t i = 0; i < frames; ++i) {
      if (ch[i] != 0.0f) {
        silent = false;
        break;
      }
    }
  }
  outputSilent_ = silent;
}

}  // namespace orbel
