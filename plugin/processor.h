#pragma once

#include <atomic>
#include <mutex>
#include <thread>
// The instrument's audio component: a thin adapter between the host's VST 3
// calls and the kernel host engine. It turns the host's parameter queues and
// note events into engine events and hands the host's buffers to the engine.
// Persistent state and the message traffic with the controller are in
// processor_state.cpp and processor_messages.cpp.
#include <string>

#include "ccmap/cc_map.h"
#include "diagnostics/host_facts.h"
#include "diagnostics/transport_ring.h"
#include "engine/kernel_engine.h"
#include "state/state_document.h"
#include "sdk/missing/audioeffect.h"

namespace orbel {

// Threads: functions marked [audio thread] run on the host's audio thread and
// allocate nothing, take no lock and format no text; every other function runs
// on the host's main thread (set-up and activation also on a host's worker
// thread, never at the same time as process).
class OrbelProcessor : public Steinberg::Vst::AudioEffect {
public:
  OrbelProcessor();

  // Factory hook: a new processor as its IAudioProcessor; the context is unused.
  static Steinberg::FUnknown* createInstance(void* context);

  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
  Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
  Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API terminate() override;
  Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
  Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                   Steinberg::int32 numIns,
                                                   Steinberg::Vst::SpeakerArrangement* outputs,
                                                   Steinberg::int32 numOuts) override;
  Steinberg::uint32 PLUGIN_API getLatencySamples() override;
  // How long a released note can still sound, in samples at the host rate.
  Steinberg::uint32 PLUGIN_API getTailSamples() override;
  // [audio thread] Renders one host block (adds a trace line when asked).
  Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;

  Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;

  OBJ_METHODS(OrbelProcessor, AudioEffect)
  REFCOUNT_METHODS(AudioEffect)

private:
  // The calls themselves; the public ones add a line to the host-call trace
  // (plugin/host_call_trace.h) when it is on.
  Steinberg::tresult runSetupProcessing(Steinberg::Vst::ProcessSetup& setup);
  Steinberg::tresult runSetActive(Steinberg::TBool state);
  // [audio thread]
  Steinberg::tresult runProcess(Steinberg::Vst::ProcessData& data);

  // [audio thread] The host's queues and events become engine events.
  void queueParameterChanges(Steinberg::Vst::IParameterChanges* changes);
  // [audio thread]
  void queueNoteEvents(Steinberg::Vst::IEventList* events);

  // Reports to the controller (processor_messages.cpp).
  void onSetupSucceeded();
  void onSetupFailed();
  void onActivated(bool active);
  void onBusArrangementAccepted();
  void sendRuntimeDiagnostics(bool setupFailed);
  void refreshHostFacts();
  void captureHostFacts(HostFacts& facts);
  void sendJsonMessage(const char* id, const void* data, size_t size);
  // Reports reach the controller only from the thread that initialised the
  // processor (the host's main thread, where the controller lives). Some
  // hosts call setupProcessing or setActive from another thread (Ardour does
  // while exporting); reports raised there wait for the next call on the
  // main thread instead of running the controller's code on a foreign one.
  bool onMainThread() const;
  void flushDeferredReports();

  // Banks and pad overrides (processor_banks.cpp).
  void handleLoadRuntimeBank(Steinberg::Vst::IMessage* message);
  void handlePadOverrides(Steinberg::Vst::IMessage* message);
  const SamplerPadOverrides* currentPadOverrides() const;
  const BankStateRefOut* currentBankReference() const;
  void adoptRestoredPadOverrides(const SamplerPadOverrides& overrides);
  bool recallBank(const StateChunk& chunk);
  void withdrawBankAfterRecall(const StateChunk& chunk);
  RuntimeBankOutcome loadRuntimeBankFromPath(const std::string& locator, const std::string& source,
                                             const std::string& instrument, std::string& detail);

  // The transport feed (processor_transport.cpp): the audio thread keeps one
  // snapshot of the host's transport per block in the transport ring; each
  // poll of the controller's cadence sends the newest as
  // "orbel.diag.transport". The other feeds send nothing in this product.
  // [audio thread]
  void captureTransportFact(const Steinberg::Vst::ProcessData& data);
  void drainTransportToController();
  void publishLifecycle(const char* /*kind*/) {}
  void drainSignalFeedsToController() {}

  // Shell hooks for MIDI monitoring and injected MIDI; this product has none.
  void captureMidiIn() {}
  void captureMidiOut() {}
  void drainInjectedMidi() {}

  KernelEngine engine;

  // Main-thread state.
  std::string presetId;  // last preset id announced by the controller
  CcMap ccMap{};
  bool ccMapPresent = false;  // only a received or restored map is saved
  bool active = false;        // between setActive(true) and setActive(false)
  // Written by set-up, which some hosts run on a worker thread, and sent from
  // the main thread: guarded by hostFactsMutex (never taken in process).
  std::mutex hostFactsMutex;
  HostFacts hostFacts{};
  DiagnosticTransportRing transportRing;
  TransportFact lastTransport{};  // [audio thread] fills it per block; cleared on activation
  uint8_t transportPollFlag = 0;
  std::thread::id mainThread{};
  std::atomic<bool> hostFactsDeferred{false};
  std::atomic<bool> healthDeferred{false};
  std::atomic<bool> healthDeferredSetupFailed{false};

  // The runtime bank loaded through this processor (empty when none).
  std::string bankSource;
  std::string bankLocator;
  std::string bankSha256;
  std::string bankInstrument;
  // Storage behind currentBankReference(), valid until the next call.
  mutable BankStateRefOut bankReference{};
  mutable std::string bankReferenceInstrument;
};

}  // namespace orbel
