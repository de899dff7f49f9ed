// KernelEngine construction, set-up and kernel binding.
#include "engine/kernel_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/kernel_trace.h"
#include "engine/rational_time.h"

namespace orbel {
namespace {

// Set by the trap sink from whatever thread runs the kernel; never cleared.
std::atomic<bool> trappedFlag{false};

// A kernel result that should be a handle: anything but a whole number in
// 1..2^32-1 means "no instance".
uint32_t handleFromResult(double result) {
  if (!(result >= 1.0 && result < 4294967296.0)) return 0;
  return static_cast<uint32_t>(result);
}

// Kernels keep their instances in process-wide tables, and hosts may set up
// several plug-ins from several threads at once: creating and destroying
// instances is serialised here. Never taken on the audio thread.
std::mutex& kernelInstanceMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

KernelEngine::KernelEngine(const KernelBinding& kernel) : kernel_(&kernel) {
  for (uint32_t i = 0; i < kParamCount; ++i) {
    params_[i].store(kDefaultParams[i], std::memory_order_relaxed);
    shadow_[i] = kDefaultParams[i];
  }
  padVelocitySensitivity_.fill(1.0f);
  forgetSoundingNotes();
}

KernelEngine::~KernelEngine() {
  std::lock_guard<std::mutex> lock(kernelInstanceMutex());
  destroyInstanceLocked();
  // Shared pointers, the history and the adapter buffers release themselves.
}

void KernelEngine::destroyInstanceLocked() {
  if (handle_ != 0) {
    kernel_->destroy(handle_);
    if (kernel_->liveInstances > 0) --kernel_->liveInstances;
  }
  handle_ = 0;
  inputView_ = nullptr;
  inputViewCapacity_ = 0;
  outputView_ = nullptr;
  outputViewCapacity_ = 0;
}

void KernelEngine::releaseKernel() {
  ready_ = false;
  discardQueue();
  forgetSoundingNotes();
  std::lock_guard<std::mutex> lock(kernelInstanceMutex());
  destroyInstanceLocked();
}

void KernelEngine::initialiseKernelRuntime(const KernelBinding& kernel) {
  std::call_once(kernel.runtimeOnce, [&kernel] {
    kernel.setPanicSink(&KernelEngine::panicSink, nullptr);
    kernel.runtimeInit();
  });
}

bool KernelEngine::kernelTrapped() { return trappedFlag.load(std::memory_order_relaxed); }

void KernelEngine::panicSink(void*, const uint8_t* message, std::size_t length, uint64_t) {
  trappedFlag.store(true, std::memory_order_relaxed);
  if (message == nullptr) length = 0;
  std::fprintf(stderr, "orbel-plugin-shell: tallowc trap: %.*s\n", static_cast<int>(length),
               reinterpret_cast<const char*>(message));
}

bool KernelEngine::allocateAdapter(uint64_t capacity) {
  const std::size_t fifoFloats = static_cast<std::size_t>(2 * capacity);
  const std::size_t tableFloats = std::size_t{kFilterPhases} * kFilterTaps;
  if (capacity != capacity_ || !inputFifo_) {
    // Release the old buffers first so that peak memory stays at one set.
    inputFifo_.reset();
    outputFifo_.reset();
    kernelRateInput_.reset();
    adapterScratch_.reset();
    capacity_ = 0;
    inputFifo_.reset(new (std::nothrow) float[fifoFloats]);
    outputFifo_.reset(new (std::nothrow) float[fifoFloats]);
    kernelRateInput_.reset(new (std::nothrow) float[fifoFloats]);
    adapterScratch_.reset(new (std::nothrow) float[fifoFloats]);
  }
  if (!inputTable_) {
    inputTable_.reset(new (std::nothrow) float[tableFloats]);
    outputTable_.reset(new (std::nothrow) float[tableFloats]);
    inputTableSums_.reset(new (std::nothrow) float[kFilterPhases]);
    outputTableSums_.reset(new (std::nothrow) float[kFilterPhases]);
  }
  if (!inputFifo_ || !outputFifo_ || !kernelRateInput_ || !adapterScratch_ || !inputTable_ ||
      !outputTable_ || !inputTableSums_ || !outputTableSums_) {
    inputFifo_.reset();
    outputFifo_.reset();
    kernelRateInput_.reset();
    adapterScratch_.reset();
    capacity_ = 0;
    return false;
  }
  capacity_ = capacity;
  std::memset(inputFifo_.get(), 0, fifoFloats * sizeof(float));
  std::memset(outputFifo_.get(), 0, fifoFloats * sizeof(float));
  std::memset(kernelRateInput_.get(), 0, fifoFloats * sizeof(float));
  std::memset(adapterScratch_.get(), 0, fifoFloats * sizeof(float));
  std::memset(inputTable_.get(), 0, tableFloats * sizeof(float));
  std::memset(outputTable_.get(), 0, tableFloats * sizeof(float));
  return true;
}

bool KernelEngine::setup(double sampleRate, int32_t maxBlockFrames) {
  return configure(sampleRate, maxBlockFrames) && bindKernel();
}

bool KernelEngine::configure(double sampleRate, int32_t maxBlockFrames) {
  ready_ = false;
  lastBlockFailed_ = false;
  outputSilent_ = true;

  // Host format: the rate becomes an exact fraction m / 1,000,000 in lowest terms.
  bool valid = std::isfinite(sampleRate) && sampleRate >= 0.000001 && sampleRate <= 4000000.0 &&
               maxBlockFrames >= 1 && maxBlockFrames <= kMaxBlockFramesCeiling;
  uint64_t num = 0;
  uint64_t den = 0;
  if (valid) {
    const double scaled = std::round(sampleRate * 1000000.0);  // halves away from zero
    // The range check above keeps `scaled` far below 2^64.
    valid = scaled >= 1.0 && scaled <= 18446744073709551615.0;
    if (valid) {
      const uint64_t m = static_cast<uint64_t>(scaled);
      const uint64_t g = gcdEuclid(m, 1000000);
      num = m / g;
      den = 1000000 / g;
      valid = std::isfinite(double(num) / double(den));
    }
  }
  if (!valid) {
    recordDiagnostic(ORBEL_DIAG_INVALID_CONFIGURATION, ORBEL_DIAG_SEVERITY_ERROR,
                     ORBEL_DIAG_PHASE_CONFIGURE, "host processing configuration is invalid",
                     nullptr);
    std::fprintf(stderr,
                 "orbel-plugin-shell: rejected host format (sampleRate=%.9g, maxBlockFrames=%d)\n",
                 sampleRate, maxBlockFrames);
    if (maxBlockFrames > kMaxBlockFramesCeiling) {
      std::fprintf(
          stderr,
          "orbel-plugin-shell: maxBlockFrames exceeds the %d-frame ceiling; render long "
          "fixtures as a LOOP of <=%d-frame blocks rather than declaring the whole fixture "
          "as one block\n",
          kMaxBlockFramesCeiling, kMaxBlockFramesCeiling);
    }
    return false;
  }

  // Adapter size: the 48 kHz frames one host block spans, plus margin. Checked
  // before anything is committed, so a refused set-up leaves the engine as it was
  // (not ready).
  const u128 spanNumerator = u128(uint64_t(maxBlockFrames)) * den * kKernelRate;
  const u128 need = (spanNumerator + num - 1) / num;
  const u128 capacity = std::max<u128>(need + 64, u128(3) * uint64_t(maxBlockFrames) + 8);
  if ((need >> 64) != 0 || capacity > kMaxAdapterCapacity) {
    recordDiagnostic(ORBEL_DIAG_INVALID_CONFIGURATION, ORBEL_DIAG_SEVERITY_ERROR,
                     ORBEL_DIAG_PHASE_CONFIGURE, "host rate requires unsupported SRC FIFO capacity",
                     nullptr);
    return false;
  }

  rateNum_ = num;
  rateDen_ = den;
  {
    // The main thread reports the format with the diagnostic list.
    std::lock_guard<std::mutex> lock(diagnosticsMutex_);
    hostRate_ = double(num) / double(den);
    maxBlockFrames_ = maxBlockFrames;
  }

  if (!allocateAdapter(static_cast<uint64_t>(capacity))) {
    recordDiagnostic(ORBEL_DIAG_RATE_ADAPTER_INIT_FAILED, ORBEL_DIAG_SEVERITY_FATAL,
                     ORBEL_DIAG_PHASE_CONFIGURE,
                     "sample-rate adapter buffers could not be allocated", nullptr);
    return false;
  }
  buildFilterTables();

  adapterFailed_ = false;
  rateConverted_ = false;
  resetAdapter();
  queueCount_ = 0;
  history_.clear();
  history_.reserve(kHistoryReserveBytes);
  historyFrameBase_ = 0;
  paramsDirty_.store(true, std::memory_order_seq_cst);
  velocityRandomState_.store(0x6D2B79F5u, std::memory_order_relaxed);

  return true;
}

bool KernelEngine::bindKernel() {
  ready_ = false;
  lastBlockFailed_ = false;
  outputSilent_ = true;
  rateConverted_ = false;
  adapterFailed_ = false;
  resetAdapter();
  queueCount_ = 0;
  forgetSoundingNotes();
  paramsDirty_.store(true, std::memory_order_seq_cst);
  if (!inputFifo_) return false;  // not configured

  initialiseKernelRuntime(*kernel_);
  // Open the trace (if any) here on the main thread, never first on the audio thread.
  std::FILE* const trace = kernel_trace::stream();

  double kernelRate = hostRate_;
  bool atLimit = false;
  uint32_t live = 0;
  {
    std::lock_guard<std::mutex> lock(kernelInstanceMutex());
    destroyInstanceLocked();
    handle_ = handleFromResult(kernel_->create(kChunkFrames, 0, 1, hostRate_));
    if (handle_ == 0) {
      kernelRate = double(kKernelRate);
      handle_ = handleFromResult(kernel_->create(kChunkFrames, 0, 1, kernelRate));
      if (handle_ != 0 && hostRate_ != double(kKernelRate)) rateConverted_ = true;
    }
    if (handle_ != 0) ++kernel_->liveInstances;
    live = kernel_->liveInstances;
    atLimit = handle_ == 0 && kernel_->instanceLimit != 0 && live >= kernel_->instanceLimit;
  }
  if (trace != nullptr) {
    std::fprintf(trace, "S this=%p rate=%.17g kernelRate=%.17g handle=%u\n",
                 static_cast<void*>(this), hostRate_, kernelRate, handle_);
    std::fflush(trace);
  }

  if (handle_ == 0) {
    if (atLimit) {
      char message[ORBEL_RUNTIME_DIAGNOSTIC_MESSAGE_BYTES];
      std::snprintf(message, sizeof message,
                    "kernel instance limit reached: at most %u instances can be active in one "
                    "process; deactivate another instance to free one",
                    kernel_->instanceLimit);
      char detail[ORBEL_RUNTIME_DIAGNOSTIC_DETAIL_BYTES];
      std::snprintf(detail, sizeof detail, "{\"limit\":%u,\"active\":%u}", kernel_->instanceLimit,
                    live);
      recordDiagnostic(ORBEL_DIAG_KERNEL_CREATE_FAILED, ORBEL_DIAG_SEVERITY_FATAL,
                       ORBEL_DIAG_PHASE_CONFIGURE, message, detail);
    } else {
      recordDiagnostic(ORBEL_DIAG_KERNEL_CREATE_FAILED, ORBEL_DIAG_SEVERITY_FATAL,
                       ORBEL_DIAG_PHASE_CONFIGURE, "product kernel instance creation failed",
                       nullptr);
    }
  } else {
    resetProductParameterShadow();
    float* in = nullptr;
    uint64_t inLength = 0;
    float* out = nullptr;
    uint64_t outLength = 0;
    kernel_->inputView(handle_, &in, &inLength);
    kernel_->outputView(handle_, &out, &outLength);
    if (in != nullptr && out != nullptr) {
      inputView_ = in;
      inputViewCapacity_ = inLength;
      outputView_ = out;
      outputViewCapacity_ = outLength;
      ready_ = outLength >= kChunkFrames;
      if (ready_) return true;
    }
  }

  recordDiagnostic(ORBEL_DIAG_ENGINE_UNAVAILABLE, ORBEL_DIAG_SEVERITY_FATAL,
                   ORBEL_DIAG_PHASE_CONFIGURE, "kernel runtime is unavailable after setup",
                   nullptr);
  std::fprintf(stderr, "orbel-plugin-shell: kernel setup failed at %.9g Hz\n", hostRate_);
  return false;
}

}  // namespace orbel
