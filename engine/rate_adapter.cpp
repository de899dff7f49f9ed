// KernelEngine's sample-rate adapter: runs a 48 kHz kernel for a host at
// another rate. Host input is resampled to 48 kHz (its frame count paces the
// kernel), events are mapped to kernel frames exactly, and the kernel output is
// resampled back with a fixed delay of 16 host frames plus 20 kernel frames.
//
// Time keeping is exact: the host rate is numerator / denominator, and every
// mapping between host and kernel frames is integer arithmetic, carried
// incrementally (quotient and remainder) inside the per-sample loops.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/kernel_engine.h"
#include "engine/rational_time.h"

namespace orbel {
namespace {

constexpr int32_t kTapsBack = 15;  // tap j weighs the sample at offset j - 15

void buildTable(float* table, float* sums, double cutoff) {
  constexpr uint32_t phases = KernelEngine::kFilterPhases;
  constexpr uint32_t taps = KernelEngine::kFilterTaps;
  const double pi = 3.14159265358979323846;
  for (uint32_t i = 0; i < phases; ++i) {
    float* row = table + size_t(i) * taps;
    double sum = 0.0;
    for (uint32_t j = 0; j < taps; ++j) {
      const double x = cutoff * (double(i) / phases - (double(j) - kTapsBack));
      const double s = std::fabs(x) < 1e-12 ? 1.0 : std::sin(pi * x) / (pi * x);
      const double w = 0.5 - 0.5 * std::cos(2.0 * pi * double(j) / double(taps - 1));
      row[j] = static_cast<float>(w * cutoff * s);
      sum += row[j];
    }
    if (sum != 0.0) {
      for (uint32_t j = 0; j < taps; ++j) row[j] = static_cast<float>(row[j] / sum);
    }
    float rowSum = 0.0f;
    for (uint32_t j = 0; j < taps; ++j) rowSum += row[j];
    sums[i] = rowSum;
  }
}

// Kernel frame of a host frame, rounded: floor((f * 48000 * den + floor(num / 2)) / num).
inline uint64_t kernelFrameOf(uint64_t hostFrame, uint64_t num, uint64_t den) {
  const u128 x = u128(hostFrame) * KernelEngine::kKernelRate * den + num / 2;
  return static_cast<uint64_t>(x / num);
}

// One interpolated sample: the 32 taps of `row` around `centre` of a FIFO
// channel holding frames [base, base + fill). Taps outside the held frames use
// the nearest held frame.
inline float interpolate(const float* channel, uint64_t base, uint64_t fill, i128 centre,
                         const float* row, float rowSum) {
  const i128 first = centre - kTapsBack;
  float acc = 0.0f;
  if (first >= i128(base) && centre + 16 < i128(base + fill)) {
    const float* s = channel + static_cast<uint64_t>(first - i128(base));
    // Four partial sums let the compiler keep several multiply-adds in flight.
    float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f, a3 = 0.0f;
    for (uint32_t j = 0; j < KernelEngine::kFilterTaps; j += 4) {
      a0 += row[j] * s[j];
      a1 += row[j + 1] * s[j + 1];
      a2 += row[j + 2] * s[j + 2];
      a3 += row[j + 3] * s[j + 3];
    }
    acc = (a0 + a1) + (a2 + a3);
  } else {
    const i128 last = i128(base + fill) - 1;
    for (uint32_t j = 0; j < KernelEngine::kFilterTaps; ++j) {
      const i128 index = std::clamp<i128>(first + j, i128(base), last);
      acc += row[j] * channel[static_cast<uint64_t>(index - i128(base))];
    }
  }
  if (rowSum == 0.0f) {
    const i128 index = std::clamp<i128>(centre, i128(base), i128(base + fill) - 1);
    return channel[static_cast<uint64_t>(index - i128(base))];
  }
  return acc / rowSum;
}

void dropFront(float* fifo, uint64_t capacity, uint64_t& base, uint64_t& fill, uint64_t keepFrom) {
  if (keepFrom <= base) return;
  const uint64_t drop = std::min(keepFrom - base, fill);
  if (drop == 0) return;
  const uint64_t remaining = fill - drop;
  for (int ch = 0; ch < 2; ++ch) {
    float* channel = fifo + ch * capacity;
    std::memmove(channel, channel + drop, sizeof(float) * remaining);
  }
  base += drop;
  fill = remaining;
}

}  // namespace

void KernelEngine::buildFilterTables() {
  const double hostRate = double(rateNum_) / double(rateDen_);
  buildTable(inputTable_.get(), inputTableSums_.get(),
             std::min(double(kKernelRate) / hostRate, 1.0));
  buildTable(outputTable_.get(), outputTableSums_.get(),
             std::min(hostRate / double(kKernelRate), 1.0));
}

void KernelEngine::resetAdapter() {
  inputFill_ = 0;
  outputFill_ = 0;
  kernelInputPosition_ = 0;
  inputBase_ = 0;
  outputBase_ = 0;
  hostOutputPosition_ = 0;
  hostInputPosition_ = 0;
  kernelFramesRendered_ = 0;
}

void KernelEngine::trimInputFifo() {
  const u128 centre = u128(kernelInputPosition_) * rateNum_ / (u128(rateDen_) * kKernelRate);
  const uint64_t keepFrom = centre >= 16 ? static_cast<uint64_t>(centre - 16) : 0;
  dropFront(inputFifo_.get(), capacity_, inputBase_, inputFill_, keepFrom);
}

void KernelEngine::trimOutputFifo() {
  // The earliest kernel frame the next output sample can read: k(position - 16) - 20.
  const i128 x =
      (i128(hostOutputPosition_) * kKernelRate - 768000) * i128(rateDen_) - 20 * i128(rateNum_);
  const i128 t = floorDiv(x, i128(rateNum_));
  const uint64_t keepFrom = t > 16 ? static_cast<uint64_t>(t - 16) : 0;
  dropFront(outputFifo_.get(), capacity_, outputBase_, outputFill_, keepFrom);
}

bool KernelEngine::processHandleV2RateConverted(const float* const* inputs, int32_t inputCount,
                                                float* const* outputs, int32_t outputCount,
                                                int32_t frames) {
  if (frames <= 0 || outputCount <= 0 || outputs == nullptr || frames > maxBlockFrames_ ||
      handle_ == 0 || inputView_ == nullptr || outputView_ == nullptr || !inputFifo_) {
    return false;
  }
  const uint64_t num = rateNum_;
  const uint64_t den = rateDen_;
  const uint64_t cap = capacity_;
  const uint64_t blockFrames = static_cast<uint64_t>(frames);

  // Stamp new records with absolute host frames (their offsets lie in the
  // block, placeEventsInBlock); carried records keep theirs.
  for (int32_t i = 0; i < queueCount_; ++i) {
    EngineEvent& e = queue_[i];
    if (!e.stamped) {
      e.absoluteFrame = hostInputPosition_ + static_cast<uint64_t>(std::max(e.sampleOffset, 0));
      e.stamped = true;
    }
  }
  // Stable insertion sort by absolute frame.
  for (int32_t i = 1; i < queueCount_; ++i) {
    if (queue_[i - 1].absoluteFrame <= queue_[i].absoluteFrame) continue;
    const EngineEvent item = queue_[i];
    int32_t j = i;
    while (j > 0 && queue_[j - 1].absoluteFrame > item.absoluteFrame) {
      queue_[j] = queue_[j - 1];
      --j;
    }
    queue_[j] = item;
  }

  trimInputFifo();
  trimOutputFifo();

  // Append the host input (zeros where there is none).
  if (inputFill_ + blockFrames > cap) return false;
  for (int32_t ch = 0; ch < 2; ++ch) {
    float* dst = inputFifo_.get() + ch * cap + inputFill_;
    const float* src = (inputs != nullptr && inputCount > ch) ? inputs[ch] : nullptr;
    if (src != nullptr) {
      std::memcpy(dst, src, sizeof(float) * blockFrames);
    } else {
      std::memset(dst, 0, sizeof(float) * blockFrames);
    }
  }
  inputFill_ += blockFrames;

  // Resample the input to 48 kHz. Kernel-rate frame n sits at host time
  // n * num / (den * 48000); centre and remainder advance exactly per frame.
  uint64_t produced = 0;
  {
    const uint64_t d = den * kKernelRate;
    const u128 start = u128(kernelInputPosition_) * num;
    u128 centre = start / d;
    uint64_t rem = static_cast<uint64_t>(start % d);
    const uint64_t stepQ = num / d;
    const uint64_t stepR = num % d;
    const uint64_t end = inputBase_ + inputFill_;
    const float* table = inputTable_.get();
    const float* sums = inputTableSums_.get();
    // The product kernels take no audio input, so the resampled input is
    // computed only for a kernel that has an input view to receive it; the
    // frame count alone paces the kernel either way.
    const bool filterInput = inputViewCapacity_ > 0;
    while (produced < cap && centre + 16 < end) {
      if (filterInput) {
        const uint64_t phase = std::min<uint64_t>((rem * 1024 + den * 24000) / d, 1023);
        const float* row = table + phase * kFilterTaps;
        for (int32_t ch = 0; ch < 2; ++ch) {
          kernelRateInput_[ch * cap + produced] = interpolate(
              inputFifo_.get() + ch * cap, inputBase_, inputFill_, i128(centre), row, sums[phase]);
        }
      }
      ++produced;
      ++kernelInputPosition_;
      centre += stepQ;
      rem += stepR;
      if (rem >= d) {
        rem -= d;
        ++centre;
      }
    }
  }

  // Parameter records that fall on kernel frame 0 are delivered there by the
  // queue itself; re-publication leaves them alone.
  FirstFrameFlags flags{};
  for (int32_t i = 0; i < queueCount_; ++i) {
    const EngineEvent& e = queue_[i];
    if (e.kind == EngineEvent::kParameter && e.index < kParamCount &&
        kernelFrameOf(e.absoluteFrame, num, den) == 0) {
      flags[e.index] = true;
    }
  }
  const FirstFrameFlags noFlags{};

  // Render the kernel in chunks. Records are sorted by time, so those delivered
  // in this call form a prefix of the queue.
  int32_t delivered = 0;
  bool processFailed = false;
  bool firstChunk = true;
  for (uint64_t remaining = produced; remaining > 0;) {
    uint64_t length = std::min<uint64_t>(kChunkFrames, remaining);
    const uint64_t s = kernelFramesRendered_;
    eventsInCall_ = 0;
    publishDirtyProductParameters(firstChunk ? flags : noFlags);
    firstChunk = false;
    const int32_t chunkFirst = delivered;
    while (delivered < queueCount_) {
      const EngineEvent& e = queue_[delivered];
      const uint64_t at = std::max(kernelFrameOf(e.absoluteFrame, num, den), s);
      if (at >= s + length) break;
      const uint32_t frame = static_cast<uint32_t>(at - s);
      const double status = deliverEvent(e, frame);
      if (kernelQueueFull(status)) {
        if (frame > 0) {
          // The call now ends before this frame, so the kernel drops the
          // events of this frame it already took: the whole group opens the
          // next call.
          while (delivered > chunkFirst &&
                 std::max(kernelFrameOf(queue_[delivered - 1].absoluteFrame, num, den), s) == at) {
            --delivered;
          }
          length = frame;
        } else {
          // One frame with the events the kernel holds; the rest follow.
          length = 1;
        }
        break;
      }
      ++delivered;
      noteEventRefused(e, status);
    }
    const double status = kernel_->process(handle_, static_cast<uint32_t>(length));
    if (status == 0.0) {
      if (outputFill_ + length > cap) return false;
      std::memcpy(outputFifo_.get() + outputFill_, outputView_, sizeof(float) * length);
      std::memcpy(outputFifo_.get() + cap + outputFill_, outputView_, sizeof(float) * length);
      outputFill_ += length;
    } else {
      processFailed = true;
    }
    kernelFramesRendered_ += length;
    remaining -= length;
  }
  if (processFailed) return false;

  hostInputPosition_ += blockFrames;

  // Produce the host output. Host frame p reads kernel time
  // q = k(p - 16) - 20 = ((p * 48000 - 768000) * den - 20 * num) / num.
  bool silent = true;
  {
    const uint64_t dStep = den * kKernelRate;
    const uint64_t stepQ = dStep / num;
    const uint64_t stepR = dStep % num;
    const i128 x0 = (i128(hostOutputPosition_) * kKernelRate - 768000) * i128(den) - 20 * i128(num);
    i128 t = floorDiv(x0, i128(num));
    uint64_t r = static_cast<uint64_t>(x0 - t * i128(num));
    const float* table = outputTable_.get();
    const float* sums = outputTableSums_.get();
    const float* fifo0 = outputFifo_.get();
    // Both FIFO channels hold the same mono kernel output, so one
    // interpolation serves every output channel.
    const i128 base = i128(outputBase_);
    const i128 end = i128(outputBase_ + outputFill_);
    for (uint64_t i = 0; i < blockFrames; ++i) {
      float y = 0.0f;
      if (t >= 0 && base <= t && t + 16 < end) {
        const uint64_t phase = std::min<uint64_t>((r * 1024 + num / 2) / num, 1023);
        const float* row = table + phase * kFilterTaps;
        y = interpolate(fifo0, outputBase_, outputFill_, t, row, sums[phase]);
      }
      bool written = false;
      for (int32_t c = 0; c < outputCount; ++c) {
        if (outputs[c] == nullptr) continue;
        outputs[c][i] = y;
        written = true;
      }
      if (written && y != 0.0f) silent = false;
      t += stepQ;
      r += stepR;
      if (r >= num) {
        r -= num;
        ++t;
      }
    }
  }

  hostOutputPosition_ += blockFrames;
  trimOutputFifo();

  // Keep the records whose time has not come yet, in order, with their stamps.
  if (delivered > 0) {
    std::memmove(&queue_[0], &queue_[delivered],
                 sizeof(EngineEvent) * size_t(queueCount_ - delivered));
    queueCount_ -= delivered;
  }
  outputSilent_ = silent;
  return true;
}

}  // namespace orbel
