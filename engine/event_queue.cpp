// KernelEngine's event queue, parameter table and parameter re-publication.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/kernel_engine.h"
#include "engine/kernel_trace.h"
#include "params/param_table.h"

namespace orbel {

bool KernelEngine::appendEvent(const EngineEvent& event) {
  if (queueCount_ >= kQueueCapacity) {
    // Reported with the next block, which then does not count as a success.
    queueOverflowed_ = true;
    return false;
  }
  queue_[queueCount_++] = event;
  return true;
}

bool KernelEngine::pushNoteOn(int32_t pitch, double velocity, int32_t sampleOffset, uint32_t route,
                              uint32_t channel, int32_t noteId) {
  if (queueCount_ >= kQueueCapacity) {
    queueOverflowed_ = true;
    return false;
  }
  return appendEvent(EngineEvent{EngineEvent::kNoteOn, sampleOffset, 0,
                                 resolveSamplerVelocity(pitch, velocity), pitch, route,
                                 channel & 0xFu, 0, false, noteId});
}

bool KernelEngine::pushNoteOff(int32_t pitch, int32_t sampleOffset, uint32_t route,
                               uint32_t channel, int32_t noteId) {
  return appendEvent(EngineEvent{EngineEvent::kNoteOff, sampleOffset, 0, 0.0, pitch, route,
                                 channel & 0xFu, 0, false, noteId});
}

bool KernelEngine::pushController(uint32_t controller, uint32_t value, int32_t sampleOffset,
                                  uint32_t route, uint32_t channel) {
  if (controller >= 128 || value >= 128) return false;
  return appendEvent(EngineEvent{EngineEvent::kController, sampleOffset, controller, double(value),
                                 0, route, channel & 0xFu, 0, false});
}

bool KernelEngine::pushParamNormalized(uint32_t id, double normalized, int32_t sampleOffset) {
  const orbel_param_desc* desc = orbel_param_by_id(id);
  // A value that is not a number has no place in the range; the kernel would
  // refuse it at every chunk.
  if (id >= kParamCount || desc == nullptr || std::isnan(normalized)) return false;
  return appendEvent(EngineEvent{EngineEvent::kParameter, sampleOffset, id,
                                 orbel_param_to_plain(desc, normalized), 0, 0, 0, 0, false});
}

void KernelEngine::storeParam(uint32_t id, double plain) {
  params_[id].store(plain, std::memory_order_relaxed);
}

void KernelEngine::setParamValue(uint32_t id, double plain) {
  if (id >= kParamCount) return;
  // A non-finite value would be refused by the kernel at every chunk; keep the
  // last good value instead.
  if (!std::isfinite(plain)) return;
  // Out of range (a damaged or foreign state document), the value is clamped
  // as the kernel would clamp it: a huge one (-1e308) would otherwise be
  // refused by the kernel at every chunk, which kept playing the old value
  // while the state and the controller showed the new one.
  if (const orbel_param_desc* desc = orbel_param_by_id(id))
    plain = std::clamp(plain, desc->minValue, desc->maxValue);
  storeParam(id, plain);
  paramsDirty_.store(true, std::memory_order_seq_cst);
}

double KernelEngine::paramValue(uint32_t id) const {
  return id < kParamCount ? params_[id].load(std::memory_order_relaxed) : 0.0;
}

double KernelEngine::paramNormalized(uint32_t id) const {
  const orbel_param_desc* desc = orbel_param_by_id(id);
  if (id >= kParamCount || desc == nullptr) return 0.0;
  return orbel_param_normalize(desc, paramValue(id));
}

void KernelEngine::setVariation(int32_t variation) { variation_ = std::clamp(variation, 0, 19); }

void KernelEngine::sortEventsInPlace() {
  // Stable insertion sort: equal offsets keep their arrival order, and the usual
  // already-ordered queue costs one pass.
  for (int32_t i = 1; i < queueCount_; ++i) {
    if (queue_[i - 1].sampleOffset <= queue_[i].sampleOffset) continue;
    const EngineEvent item = queue_[i];
    int32_t j = i;
    while (j > 0 && queue_[j - 1].sampleOffset > item.sampleOffset) {
      queue_[j] = queue_[j - 1];
      --j;
    }
    queue_[j] = item;
  }
}

void KernelEngine::holdEventsForNextBlock() {
  sortEventsInPlace();
  bool changed = false;
  int32_t kept = 0;
  for (int32_t i = 0; i < queueCount_; ++i) {
    EngineEvent e = queue_[i];
    if (e.kind == EngineEvent::kParameter) {
      // Re-publication hands the value to the kernel at the next block's
      // first frame, whatever number of flushes comes before it.
      if (e.index < kParamCount) {
        storeParam(e.index, e.value);
        changed = true;
      }
      continue;
    }
    if (e.kind == EngineEvent::kController) continue;  // never delivered
    // Records the adapter carried over keep their time; new ones wait for the
    // first frame of the next block, in their order.
    if (!e.stamped) e.sampleOffset = kHeldOffset;
    queue_[kept++] = e;
  }
  queueCount_ = kept;
  if (changed) paramsDirty_.store(true, std::memory_order_seq_cst);
}

void KernelEngine::placeEventsInBlock(int32_t frames) {
  // Sorted first, so that clamping keeps the hosts' order of time: a note-off
  // before the block still comes before a note-on at its first frame.
  sortEventsInPlace();
  for (int32_t i = 0; i < queueCount_; ++i) {
    EngineEvent& e = queue_[i];
    if (!e.stamped) e.sampleOffset = std::clamp(e.sampleOffset, 0, frames - 1);
  }
}

bool KernelEngine::noteOffMatches(const EngineEvent& e) const {
  if (e.noteId == -1 || e.pitch < 0 || e.pitch > 127) return true;
  const int32_t sounding = soundingNoteIds_[size_t(e.pitch)];
  return sounding == -1 || sounding == e.noteId;
}

void KernelEngine::rememberSoundingNote(int32_t pitch, int32_t noteId) {
  // A kernel may accept a pitch outside the MIDI range; such notes are not
  // matched by id.
  if (pitch >= 0 && pitch <= 127) soundingNoteIds_[size_t(pitch)] = noteId;
}

void KernelEngine::flushParameterEvents() {
  for (int32_t i = 0; i < queueCount_; ++i) {
    const EngineEvent& e = queue_[i];
    if (e.kind == EngineEvent::kParameter && e.index < kParamCount) {
      storeParam(e.index, e.value);
      paramsDirty_.store(true, std::memory_order_seq_cst);
    }
  }
  queueCount_ = 0;
}

void KernelEngine::discardQueue() {
  bool changed = false;
  for (int32_t i = 0; i < queueCount_; ++i) {
    const EngineEvent& e = queue_[i];
    if (e.kind == EngineEvent::kParameter && e.index < kParamCount) {
      storeParam(e.index, e.value);
      changed = true;
    }
  }
  queueCount_ = 0;
  if (changed) paramsDirty_.store(true, std::memory_order_seq_cst);
}

void KernelEngine::resetProductParameterShadow() {
  std::copy(std::begin(kDefaultParams), std::end(kDefaultParams), shadow_.begin());
}

void KernelEngine::resetParams() {
  for (uint32_t i = 0; i < kParamCount; ++i) storeParam(i, kDefaultParams[i]);
  variation_ = 16;
  queueCount_ = 0;
  history_.clear();
  historyFrameBase_ = 0;
  paramsDirty_.store(true, std::memory_order_seq_cst);
  velocityRandomState_.store(0x6D2B79F5u, std::memory_order_relaxed);
  resetAdapter();
  if (handle_ != 0) kernel_->reset(handle_);
  resetProductParameterShadow();
  forgetSoundingNotes();
}

void KernelEngine::appendEventsToHistory(int32_t blockFrames) {
  const int32_t lastFrame = std::max(blockFrames - 1, 0);
  for (int32_t i = 0; i < queueCount_; ++i) {
    const EngineEvent& e = queue_[i];
    uint8_t type = 0;
    uint32_t a = 0;
    double value = 0.0;
    switch (e.kind) {
      case EngineEvent::kParameter:
        type = 1;
        a = e.index;
        value = e.value;
        if (e.index < kParamCount) storeParam(e.index, e.value);
        break;
      case EngineEvent::kNoteOn:
        type = 2;
        a = static_cast<uint32_t>(e.pitch);
        value = e.value;
        break;
      case EngineEvent::kNoteOff:
        type = 3;
        a = static_cast<uint32_t>(e.pitch);
        break;
      default:
        continue;  // controllers are not recorded
    }
    const uint32_t frame =
        static_cast<uint32_t>(std::min(std::max(e.sampleOffset, 0), lastFrame)) + historyFrameBase_;
    double scaled = std::floor(value * 100000.0 + 0.5);
    if (std::isnan(scaled)) scaled = 0.0;
    scaled = std::clamp(scaled, -2147483648.0, 2147483647.0);
    const uint32_t v = static_cast<uint32_t>(static_cast<int32_t>(scaled));
    const uint8_t record[kHistoryRecordBytes] = {type,
                                                 uint8_t(frame),
                                                 uint8_t(frame >> 8),
                                                 uint8_t(frame >> 16),
                                                 uint8_t(frame >> 24),
                                                 uint8_t(a),
                                                 uint8_t(a >> 8),
                                                 uint8_t(a >> 16),
                                                 uint8_t(a >> 24),
                                                 uint8_t(v),
                                                 uint8_t(v >> 8),
                                                 uint8_t(v >> 16),
                                                 uint8_t(v >> 24)};
    history_.insert(history_.end(), record, record + kHistoryRecordBytes);
  }
}

double KernelEngine::resolveSamplerVelocity(int32_t pitch, double velocity) {
  if (samplerVelocityModeParam_ < 0 || samplerFixedVelocityParam_ < 0 ||
      samplerVelocityRandomParam_ < 0) {
    return velocity;
  }
  auto paramOrZero = [this](int32_t index) {
    return index >= 0 && uint32_t(index) < kParamCount ? paramValue(uint32_t(index)) : 0.0;
  };
  double v = velocity;
  if (!std::isfinite(v) || v < 0.0 || std::fpclassify(v) == FP_SUBNORMAL) v = 0.0;
  if (v > 1.0) v = 1.0;

  const double mode = paramOrZero(samplerVelocityModeParam_);
  if (std::isfinite(mode) && std::floor(mode + 0.5) == 1.0) {
    double fixed = paramOrZero(samplerFixedVelocityParam_);
    v = std::isfinite(fixed) ? std::clamp(fixed, 0.01, 1.0) : 0.01;
  }

  double s = 1.0;
  if (pitch >= 0 && pitch < 128) {
    s = padVelocitySensitivity_[pitch];
    s = (!std::isfinite(s) || s < 0.0) ? 0.0 : std::min(s, 1.0);
  }
  if (s != 1.0) v = 1.0 - s + v * s;

  double r = paramOrZero(samplerVelocityRandomParam_);
  if (!std::isfinite(r) || r < 0.0) r = 0.0;
  r = std::min(r, 0.25);
  if (r > 0.0) {
    uint32_t x = velocityRandomState_.fetch_add(0x9E3779B9u, std::memory_order_relaxed);
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    const double u = double((x ^ (x >> 16)) >> 8) / 16777216.0;
    v = v * (1.0 + r * (2.0 * u - 1.0));
  }
  return std::clamp(v, 0.01, 1.0);
}

double KernelEngine::pushParameterEvent(uint32_t id, uint32_t frame, double value,
                                        const char* source) {
  const double status = kernel_->pushEvent(handle_, ORBEL_KERNEL_EVENT_PARAMETER, frame, id, value);
  if (std::FILE* trace = kernel_trace::stream()) {
    std::fprintf(trace, "E this=%p blk=%llu frame=%u kind=1 a=%u value=%.17g src=%s status=%g\n",
                 static_cast<void*>(this),
                 static_cast<unsigned long long>(kernel_trace::currentBlock()), frame, id, value,
                 source, status);
  }
  if (status != 0.0) {
    // Offered again at the next chunk.
    paramsDirty_.store(true, std::memory_order_seq_cst);
  } else {
    shadow_[id] = value;
    ++eventsInCall_;
  }
  return status;
}

bool KernelEngine::pushProductParameter(uint32_t id, uint32_t frame, double value,
                                        const char* source) {
  return pushParameterEvent(id, frame, value, source) == 0.0;
}

void KernelEngine::publishDirtyProductParameters(const FirstFrameFlags& flags) {
  if (!paramsDirty_.exchange(false, std::memory_order_seq_cst)) return;
  bool deferred = false;
  for (uint32_t id = 0; id < kParamCount; ++id) {
    const double value = params_[id].load(std::memory_order_relaxed);
    if (flags[id]) {
      // A queued change delivers this id at the same frame. Should the table
      // still differ afterwards (a state recall racing the block), look again
      // at the next chunk rather than losing the recalled value.
      if (value != shadow_[id]) deferred = true;
      continue;
    }
    if (value != shadow_[id]) pushProductParameter(id, 0, value, "republish");
  }
  if (deferred) paramsDirty_.store(true, std::memory_order_seq_cst);
}

}  // namespace orbel
