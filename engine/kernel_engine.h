// orbel::KernelEngine hosts one kernel instance for the plug-in processor.
//
// Main thread: construction, setup, state recall (setParamValue, setVariation),
// diagnostics (recordDiagnostic, drainRuntimeDiagnostics).
// Audio thread: the push* operations and processBlock, which allocate nothing,
// take no lock and format no text (the optional trace file aside).
// Shared between the two: the parameter table with its dirty flag, the realtime
// diagnostic ring and the status flags.
// Some hosts set up or activate from a worker thread while their main thread
// goes on: kernel instances are created and destroyed under one process-wide
// lock, and the diagnostic list (with the host format it reports) under a lock
// of its own. Neither lock is ever taken on the audio thread.
#pragma once

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "banks/pad_overrides.h"
#include "banks/sound_pack.h"
#include "diagnostics/runtime_diagnostics.h"
#include "engine/adapter_filter_table.h"
#include "engine/kernel_binding.h"
#include "params/param_table.h"

namespace orbel {

struct StagedBank;
struct StateChunk;

// Result of recalling the bank a saved state names.
enum BankRecallOutcome : uint8_t {
  kBankRecallNone = 0,
  kBankRecallMissing = 2,
  kBankRecallHashDiffers = 3,
};

// One queued event.
struct EngineEvent {
  enum Kind : int32_t { kParameter = 0, kNoteOn = 1, kNoteOff = 2, kController = 3 };

  int32_t kind;
  int32_t sampleOffset;    // frame within the host block
  uint32_t index;          // parameter id (kParameter), controller number (kController), else 0
  double value;            // plain value, velocity 0.01..1, 0 for note-off, controller 0..127
  int32_t pitch;           // MIDI note for notes, else 0
  uint32_t route;          // event route, 0 for parameters
  uint32_t channel;        // MIDI channel 0..15, 0 for parameters
  uint64_t absoluteFrame;  // host frame assigned by the sample-rate adapter
  bool stamped;            // absoluteFrame has been assigned
  int32_t noteId = -1;     // the host's note id for notes, -1 when it gave none
};

// What the main thread reports about an engine: its diagnostic list and the
// host format the list refers to, taken together.
struct EngineReport {
  orbel_runtime_diagnostic_ring diagnostics;
  double hostRate;
  int32_t maxBlockFrames;
};

// Threads: functions marked [audio thread] run on the host's audio thread
// (from OrbelProcessor::process) and allocate nothing, take no lock and
// format no text; the others run on the main thread, set-up and binding also
// on a host's worker thread, never at the same time as rendering.
class KernelEngine {
public:
  static constexpr int32_t kQueueCapacity = 2048;
  static constexpr uint32_t kParamCount = ORBEL_PARAM_COUNT;
  static constexpr uint32_t kChunkFrames = 128;
  static constexpr int32_t kMaxBlockFramesCeiling = 16384;
  static constexpr uint64_t kMaxAdapterCapacity = 1048576;
  static constexpr uint32_t kKernelRate = 48000;
  static constexpr uint32_t kRealtimeRingSize = 32;
  static constexpr uint32_t kFilterPhases = 1024;
  static constexpr uint32_t kFilterTaps = 32;
  static constexpr std::size_t kHistoryRecordBytes = 13;
  static constexpr std::size_t kHistoryReserveBytes = 53248;
  static constexpr std::array<double, kParamCount> kDefaultParams = orbel_param_defaults();

  // Binds the product kernel.
  KernelEngine();
  // Binds another kernel (tests, wrappers). The binding must outlive the engine.
  explicit KernelEngine(const KernelBinding& kernel);
  ~KernelEngine();
  KernelEngine(const KernelEngine&) = delete;
  KernelEngine& operator=(const KernelEngine&) = delete;

  // ---- set-up and binding ----------------------------------------------
  // configure, then bindKernel.
  bool setup(double sampleRate, int32_t maxBlockFrames);
  // Checks the host format and sizes every buffer, without a kernel instance;
  // the engine is not ready afterwards. False (recorded) for a refused format.
  bool configure(double sampleRate, int32_t maxBlockFrames);
  // Creates (or re-creates) the kernel instance for the configured format and
  // binds its views. False (recorded) when no instance can be had, which names
  // the per-process instance limit when that is the reason.
  bool bindKernel();
  // Gives the kernel instance back (a deactivated plug-in holds none); queued
  // events are dropped, parameter values kept. The engine is not ready until
  // the next bindKernel.
  void releaseKernel();
  bool hasKernelInstance() const { return handle_ != 0; }
  bool hasKernel() const { return true; }
  static bool kernelTrapped();
  // Installs the trap sink and initialises a kernel's runtime, once per process
  // and binding. setup does this; a binding that wraps another kernel calls it
  // for the wrapped binding from its own runtimeInit.
  static void initialiseKernelRuntime(const KernelBinding& kernel);
  uint32_t instanceToken() const { return handle_; }

  bool ready() const { return ready_; }
  // [audio thread] this and the next three: what the last block did.
  bool lastBlockFailed() const { return lastBlockFailed_; }
  bool outputSilent() const { return outputSilent_; }
  // The last rendered block (or flush) lost events: the queue was full when
  // they were pushed, or the kernel refused a note.
  bool lastBlockDroppedEvents() const { return lastBlockDroppedEvents_; }
  bool adapterFailed() const { return adapterFailed_; }
  bool rateConverted() const { return rateConverted_; }
  // True when the kernel runs at 48 kHz behind the sample-rate adapter; the
  // output is then delayed by 16 host frames plus 20 kernel frames.
  bool usesRateAdapter() const { return rateConverted_ && hostRate_ != double(kKernelRate); }
  double hostRate() const { return hostRate_; }
  uint64_t rateNumerator() const { return rateNum_; }
  uint64_t rateDenominator() const { return rateDen_; }
  int32_t maxBlockFrames() const { return maxBlockFrames_; }
  uint64_t adapterCapacity() const { return capacity_; }

  // ---- event and parameter queue -----------------------------------------
  // [audio thread] every function of this section.
  // A note-off that carries a note id (not -1) releases only the note-on of
  // that pitch with the same id, or one that had no id.
  bool pushNoteOn(int32_t pitch, double velocity, int32_t sampleOffset, uint32_t route,
                  uint32_t channel, int32_t noteId = -1);
  bool pushNoteOff(int32_t pitch, int32_t sampleOffset, uint32_t route, uint32_t channel,
                   int32_t noteId = -1);
  bool pushController(uint32_t controller, uint32_t value, int32_t sampleOffset, uint32_t route,
                      uint32_t channel);
  bool pushParamNormalized(uint32_t id, double normalized, int32_t sampleOffset);
  uint32_t eventInputCount() const { return 1; }
  uint32_t eventOutputCount() const { return 0; }
  uint32_t eventRouteForInput(uint32_t bus) const { return 0; }
  int32_t queuedEventCount() const { return queueCount_; }
  const EngineEvent& queuedEvent(int32_t i) const { return queue_[i]; }

  // ---- parameter table (main thread during state recall) ------------------
  void setParamValue(uint32_t id, double plain);
  double paramValue(uint32_t id) const;
  double paramNormalized(uint32_t id) const;
  void setVariation(int32_t variation);
  int32_t variation() const { return variation_; }
  // The value the kernel last accepted for a parameter (0 for ids above 10).
  double kernelParamValue(uint32_t id) const { return id < kParamCount ? shadow_[id] : 0.0; }

  // Operations for other products and offline rendering.
  // [audio thread] Sorts the queue by offset, keeping arrival order.
  void sortEventsInPlace();
  void resolveSustainEvents() {}
  void flushParameterEvents();
  void resetParams();
  void resetProductParameterShadow();
  void appendEventsToHistory(int32_t blockFrames);
  const std::vector<uint8_t>& eventHistory() const { return history_; }
  uint32_t historyFrameBase() const { return historyFrameBase_; }
  bool requestSampleBankIndex(uint32_t) { return false; }
  // [audio thread]
  double resolveSamplerVelocity(int32_t pitch, double velocity);

  // ---- rendering ----------------------------------------------------------
  // [audio thread] every function of this section.
  // A block with 0 frames is a flush: parameter values go to the table at once
  // and reach the kernel with the next rendered block, and note events wait
  // for that block's first frame. In a rendered block every event lands in
  // it: an offset before the block counts as its first frame, one past it as
  // its last.
  void processBlock(const float* const* inputs, int32_t inputCount, float* const* outputs,
                    int32_t outputCount, int32_t frames);
  void processBlock(const float* const* inputs, int32_t inputCount, const float* const* sideChain,
                    int32_t sideChainCount, float* const* outputs, int32_t outputCount,
                    int32_t frames);
  bool processHandleV2RateConverted(const float* const* inputs, int32_t inputCount,
                                    float* const* outputs, int32_t outputCount, int32_t frames);
  static void clearOutputs(float* const* outputs, int32_t count, int32_t frames);
  static void renderChannel(const float* source, float* destination, int32_t frames);
  void renderInstrumentBlock(float* const* outputs, int32_t count, int32_t frames);

  // ---- diagnostics --------------------------------------------------------
  void recordDiagnostic(uint32_t code, uint8_t severity, uint8_t phase, const char* message,
                        const char* detail);
  // [audio thread] Through the 32-entry ring; drained on the main thread.
  void recordRealtimeDiagnostic(uint32_t code, uint8_t severity, uint8_t phase);
  void drainRuntimeDiagnostics();
  // Unguarded view of the list, for callers on the one thread that sets up.
  const orbel_runtime_diagnostic_ring& diagnostics() const { return diagnostics_; }
  // Drains the realtime ring, then copies the list and the host format under
  // the diagnostics lock (safe against a set-up on another thread).
  EngineReport drainReport();
  // Realtime reports waiting for the next drain (main thread).
  uint32_t pendingRealtimeDiagnostics() const;

  // ---- banks and pad overrides (bank_publication.cpp) ----------------------
  // Main thread. This instrument has no sampler: every staged bank is refused
  // and any bank a saved state names is reported missing.
  void recordBankRecallFailure(BankRecallOutcome outcome, const char* bankId);
  void recordRuntimeBankFailure(RuntimeBankOutcome outcome, const char* message,
                                const char* source);
  // False when the bank is refused; an empty pointer withdraws the current one.
  bool publishRuntimeBank(std::shared_ptr<const StagedBank> bank);
  // Whether publishRuntimeBank can accept any bank at all; asked before a pack
  // is read, so a refusal costs no disk work.
  bool acceptsRuntimeBanks() const { return false; }
  std::shared_ptr<const StagedBank> publishedRuntimeBank() const { return stagedBank_; }
  uint32_t recallSampleBank(const StateChunk& chunk);
  void unloadSampleBankContent() {}
  // Refuses (false, nothing changed) a set over 256 records or with a record
  // whose key is empty or over 160 bytes or whose mask is 0.
  bool publishSamplerPadOverrides(const SamplerPadOverrides& overrides);
  void refreshSamplerPadVelocitySensitivity(const SamplerPadOverrides* overrides,
                                            const StagedBank* bank);
  // The set last published (null before the first publication).
  const std::shared_ptr<const SamplerPadOverrides>& currentSamplerPadOverrides() const {
    return padOverrides_;
  }
  std::size_t retiredSamplerPadOverrideCount() const { return retiredOverrides_.size(); }
  uint32_t samplerPadOverridesGeneration() const {
    return overridesGeneration_.load(std::memory_order_acquire);
  }
  // [audio thread]
  float padVelocitySensitivity(int32_t pitch) const {
    return pitch >= 0 && pitch < 128 ? padVelocitySensitivity_[pitch] : 1.0f;
  }
  // [audio thread] The current pad-override set (null before the first
  // publication), acknowledged so the main thread keeps it alive until the
  // next call. Lock-free and allocation-free.
  const SamplerPadOverrides* acquireSamplerPadOverrides();

private:
  struct RealtimeEntry {
    uint32_t code;
    uint8_t severity;
    uint8_t phase;
    uint16_t reserved;
  };

  using FirstFrameFlags = std::array<bool, kParamCount>;

  // Offset of a record held over for the next block: it sorts before every
  // offset a host can send (an equal one keeps arrival order, so after it)
  // and lands on that block's first frame.
  static constexpr int32_t kHeldOffset = INT32_MIN;

  void recordDiagnosticLocked(uint32_t code, uint8_t severity, uint8_t phase, const char* message,
                              const char* detail);

  static void panicSink(void* context, const uint8_t* message, std::size_t length, uint64_t code);

  // [audio thread]
  bool appendEvent(const EngineEvent& event);
  // [audio thread] Flush: stores parameter values, keeps note events for the next block.
  void holdEventsForNextBlock();
  // [audio thread] Sorts the queue and brings every new record's offset into [0, frames).
  void placeEventsInBlock(int32_t frames);
  // [audio thread] Whether a note-off would release the sounding note of its pitch.
  bool noteOffMatches(const EngineEvent& event) const;
  // [audio thread] Records the note id now sounding at a pitch (-1: none or unknown).
  void rememberSoundingNote(int32_t pitch, int32_t noteId);
  void forgetSoundingNotes() { soundingNoteIds_.fill(-1); }
  void destroyInstanceLocked();
  // [audio thread] and the main thread (setParamValue): one relaxed atomic store.
  void storeParam(uint32_t id, double plain);
  // Empties the queue without delivering it. Parameter changes are not lost:
  // their values go to the table and reach the kernel by re-publication.
  void discardQueue();
  // [audio thread]
  bool pushProductParameter(uint32_t id, uint32_t frame, double value, const char* source);
  // [audio thread]
  double pushParameterEvent(uint32_t id, uint32_t frame, double value, const char* source);
  // [audio thread]
  void publishDirtyProductParameters(const FirstFrameFlags& flags);
  // [audio thread] Pushes one queued record to the kernel at `frame` of the current call;
  // returns the kernel's status (-1 when nothing was pushed).
  double deliverEvent(const EngineEvent& event, uint32_t frame);
  // [audio thread] Counts a note the kernel refused as lost for this block.
  void noteEventRefused(const EngineEvent& event, double status);
  // [audio thread] The kernel's queue (64 events per call) was full. Status 3 also means "not
  // finite", which only a first event of a call can be told apart by.
  bool kernelQueueFull(double status) const {
    return status == double(ORBEL_KERNEL_NOT_FINITE_OR_FULL) && eventsInCall_ > 0;
  }
  // [audio thread]
  void renderDirect(float* const* outputs, int32_t outputCount, int32_t frames);
  // [audio thread]
  void recoverFailedChunk();
  void resetAdapter();
  // False when a table cannot be had (out of memory).
  bool buildFilterTables();
  // [audio thread]
  void trimInputFifo();
  // [audio thread]
  void trimOutputFifo();
  bool allocateAdapter(uint64_t capacity);

  const KernelBinding* kernel_;

  double hostRate_ = 48000.0;
  int32_t maxBlockFrames_ = 0;
  bool ready_ = false;
  bool lastBlockFailed_ = false;
  bool outputSilent_ = false;
  bool adapterFailed_ = false;
  bool rateConverted_ = false;
  bool lastBlockDroppedEvents_ = false;
  bool queueOverflowed_ = false;  // a push found the queue full since the last block
  uint32_t eventsInCall_ = 0;     // events the kernel took since its last process call

  mutable std::mutex diagnosticsMutex_;
  orbel_runtime_diagnostic_ring diagnostics_{};
  std::array<RealtimeEntry, kRealtimeRingSize> realtimeEntries_{};
  std::atomic<uint32_t> realtimeWrite_{0};
  std::atomic<uint32_t> realtimeRead_{0};
  std::atomic<uint32_t> realtimeOverflow_{0};

  // Sample-rate adapter buffers: two channels each, channel 1 at index capacity
  // (the output FIFO uses channel 0 only: the kernel is mono).
  std::unique_ptr<float[]> inputFifo_;
  std::unique_ptr<float[]> outputFifo_;
  std::unique_ptr<float[]> kernelRateInput_;
  std::unique_ptr<float[]> adapterScratch_;  // kept for kernels with an audio input
  // Interpolation filters (1024 phases x 32 taps), shared with every engine
  // at the same cutoffs.
  std::shared_ptr<const AdapterFilterTable> inputTable_;
  std::shared_ptr<const AdapterFilterTable> outputTable_;

  uint64_t capacity_ = 0;
  uint64_t inputFill_ = 0;
  uint64_t outputFill_ = 0;
  uint64_t rateNum_ = 48000;
  uint64_t rateDen_ = 1;
  uint64_t kernelInputPosition_ = 0;
  uint64_t inputBase_ = 0;
  uint64_t outputBase_ = 0;
  uint64_t hostOutputPosition_ = 0;
  uint64_t hostInputPosition_ = 0;
  uint64_t kernelFramesRendered_ = 0;

  std::array<EngineEvent, kQueueCapacity> queue_{};
  int32_t queueCount_ = 0;

  // Plain values; written by the main thread during state recall while the
  // audio thread may read them, so each entry is an atomic (lock-free) double.
  std::array<std::atomic<double>, kParamCount> params_;
  std::atomic<bool> paramsDirty_{true};
  int32_t variation_ = 16;
  std::vector<uint8_t> history_;
  uint32_t historyFrameBase_ = 0;

  uint32_t handle_ = 0;
  std::array<double, kParamCount> shadow_;
  float* inputView_ = nullptr;
  uint64_t inputViewCapacity_ = 0;
  float* outputView_ = nullptr;
  uint64_t outputViewCapacity_ = 0;
  // Per pitch, the note id of the last note-on delivered (-1: none or no id).
  std::array<int32_t, 128> soundingNoteIds_;

  // Bank and pad-override publication (sampler products).
  std::shared_ptr<const StagedBank> stagedBank_;
  std::shared_ptr<const SamplerPadOverrides> padOverrides_;
  std::vector<std::shared_ptr<const SamplerPadOverrides>> retiredOverrides_;
  std::atomic<const SamplerPadOverrides*> publishedOverrides_{nullptr};
  std::atomic<const SamplerPadOverrides*> acknowledgedOverrides_{nullptr};
  std::atomic<uint32_t> overridesGeneration_{0};

  int32_t samplerVelocityModeParam_ = -1;
  int32_t samplerFixedVelocityParam_ = -1;
  int32_t samplerVelocityRandomParam_ = -1;
  std::array<float, 128> padVelocitySensitivity_;
  std::atomic<uint32_t> velocityRandomState_{0x6D2B79F5u};
};

}  // namespace orbel
