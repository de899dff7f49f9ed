#pragma once
// The instrument's edit controller. It registers the eleven parameters of
// ORBEL_PARAMS, restores and saves the controller side of the plug-in state,
// answers the host's MIDI controller queries from the current CC map, keeps
// the diagnostic bookkeeping (lifecycle log, host facts, transport, health
// report) fed by the processor's messages, and is the editor page's
// counterpart on the bridge. Everything here runs on the host's main thread.
//
// The work is split by concern:
//   controller.cpp           construction, initialize/terminate, views, lifecycle
//   controller_state.cpp     component state, own state
//   controller_params.cpp    parameter changes and their announcements
//   controller_messages.cpp  processor messages, CC map adoption, host facts, transport
//   controller_midi.cpp      MIDI controller assignment
//   controller_bridge.cpp    the BridgeHost face and the hello
//   controller_dispatch.cpp  what each page message does
//   controller_cadence.cpp   the cadence clock, its tick and the feed requests
//   controller_banks.cpp     the bank control's host (BankBridge)
#include <cstdint>
#include <functional>
#include <string>

#include "banks/pad_overrides.h"
#include "ccmap/cc_map.h"
#include "diagnostics/host_facts.h"
#include "diagnostics/lifecycle_log.h"
#include "editor/bank_control.h"
#include "editor/bridge_host.h"
#include "params/param_table.h"
#include "diagnostics/preset_state_facts.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

namespace orbel {

struct BridgeMessage;

// The validator mark of a host name (HostFacts::kValidator*): the first of
// "pluginval"/"Pluginval", "auval", "clap-validator"/"clap_validator",
// "Validator"/"validator", "Orbel"/"orbel" found in it as a plain,
// case-sensitive substring; kValidatorNone for none or null.
uint8_t validatorHostForName(const char* hostName);

class OrbelController : public Steinberg::Vst::EditControllerEx1,
                        public Steinberg::Vst::IMidiMapping,
                        public BridgeHost {
public:
  // Diagnostic feeds the controller itself produces announcements for.
  static constexpr uint32_t kFeedTransport = 2;
  static constexpr uint32_t kFeedLifecycle = 64;

  OrbelController();
  ~OrbelController() override;

  // Factory hook: a new controller as its IEditController.
  static Steinberg::FUnknown* createInstance(void* context);

  // --- VST 3 ----------------------------------------------------------------
  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
  Steinberg::tresult PLUGIN_API terminate() override;
  Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                   Steinberg::Vst::ParamValue value) override;
  Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;
  Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

  Steinberg::tresult PLUGIN_API getMidiControllerAssignment(
      Steinberg::int32 busIndex, Steinberg::int16 channel,
      Steinberg::Vst::CtrlNumber midiControllerNumber, Steinberg::Vst::ParamID& id) override;

  // --- BridgeHost -----------------------------------------------------------
  void handleBridgeMessage(const char* data, size_t length) override;
  void setBridgeSink(std::function<void(const std::string&)> sink) override;
  void onEditorOpened() override;
  void onEditorClosed() override;
  void onEditorError(const char* reason) override;

  // --- Operations used by the bridge, the bank control and the feeds ----------
  // Hands one JSON text to the page when a sink is installed, else drops it.
  void sendToUi(const std::string& json);
  // "orbel.paramChanged" for a parameter index 0..10 (nothing without a sink).
  void sendParamChanged(uint32_t index, double normalized);
  // "orbel.hello" with the current parameters and diagnostic blocks; marks
  // the hello as sent even without a sink.
  void sendHello();
  // Marks the page's own edit of `index` to `normalized`, so that the
  // setParamNormalized call carrying it is not announced back to the page.
  void expectParamEcho(uint32_t index, double normalized);
  // Takes `map` as the current CC map: tells the host the MIDI assignments
  // changed, sends the map to the processor, records "ccMapChanged" and, when
  // `notifyUi`, announces it to the page.
  void adoptCcMap(const CcMap& map, bool notifyUi);
  void sendCcMapToProcessor();
  void sendPresetLoadedToProcessor(const std::string& id);
  void applyFactoryPreset(uint32_t /*index*/) {}  // the instrument has no factory presets
  bool presetDirty();
  void refreshPresetState();
  void adoptHostFacts(const HostFacts& incoming);
  // Forwards to the bank control's bank state report.
  void sendBankState(const char* reason, const char* errorCode, const char* requestedId);
  void adoptTransportFact(const TransportFact& fact);

  DiagnosticLifecycleEvent& recordLifecycle(DiagnosticLifecycleKind kind, int64_t atFrame = -1);
  void publishLastLifecycle();
  void emitLifecycle(DiagnosticLifecycleKind kind, int64_t atFrame = -1);
  // The whole lifecycle log as one announcement, when the page subscribed to it.
  void replayLifecycle();

  // --- Cadence (controller_cadence.cpp) ---------------------------------------
  // The 1/30 s clock runs from initialize to terminate on the run loop the
  // host lends (see platform/clock_scheduler.h); each firing is one tick.
  void startCadenceClock();
  void stopCadenceClock();
  // Transport poll, then feed drain. The web view's timer ticks too.
  void tickCadence();
  // "orbel.diag.transportPoll", with "reset" 1 while a reset is pending.
  void pollTransport();
  // "orbel.diag.feedDrain".
  void drainProcessorFeeds();
  // "orbel.diag.resetCounters".
  void sendResetCounters();
  // 1 / r with r the subscribed rate (30 when none), limited to 1..30 Hz.
  double cadenceIntervalSeconds() const;
  bool cadenceClockStarted() const { return cadenceClock != nullptr; }
  // Started and carried by a run loop.
  bool cadenceClockRunning() const;

  // Read-only views for the editor glue and for tests.
  const CcMap& currentCcMap() const { return ccMap; }
  bool ccMapAdopted() const { return hasCcMap; }
  const HostFacts& currentHostFacts() const { return hostFacts; }
  const TransportFact& lastTransportFact() const { return lastTransport; }
  const DiagnosticLifecycleLog& lifecycle() const { return lifecycleLog; }
  const std::string& lastRuntimeHealthReport() const { return runtimeHealthReport; }
  const PresetStateFacts& presetStateFacts() const { return presetState; }
  const SamplerPadOverrides& restoredPadOverrides() const { return bankControl.padOverrides; }
  const BankControl& bankState() const { return bankControl; }
  bool hasBridgeSink() const { return static_cast<bool>(bridgeSink); }
  uint32_t subscribedFeeds() const { return feedMask; }
  double subscribedFeedHz() const { return maxFeedHz; }
  bool helloWasSent() const { return helloSent; }
  int32_t pendingEchoParam() const { return echoParamId; }

  OBJ_METHODS(OrbelController, EditControllerEx1)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Vst::IMidiMapping)
  DEF_INTERFACE(Steinberg::Vst::IUnitInfo)
  END_DEFINE_INTERFACES(EditControllerEx1)
  REFCOUNT_METHODS(EditControllerEx1)

private:
  // The bank control's way to the controller, the processor and the page.
  class BankBridge final : public BankControlHost {
  public:
    explicit BankBridge(OrbelController* controller) : controller(controller) {}
    void sendBankJson(const std::string& json) override;
    void editParam(unsigned index, double plain) override;
    double readParam(unsigned index) const override;
    void requestRuntimeBank(const std::string& source, const std::string& path,
                            const std::string& sha256, const std::string& instrument) override;
    bool applyPadOverrides(const SamplerPadOverrides& overrides) override;
    bool pickFolder(std::string& path, std::string& error) override;
    void notePresetSelected(const std::string& id, const std::string& name) override;

  private:
    OrbelController* controller;
  };

  void captureHostIdentity(Steinberg::FUnknown* context);
  // The part of setParamNormalized after a successful base call: consumes a
  // matching pending echo, else announces the change.
  void announceParamChange(Steinberg::Vst::ParamID id, double normalized);
  // Pad overrides and bank report shared by both state restores.
  void restorePadOverrides(const SamplerPadOverrides& overrides);
  void adoptRuntimeHealthReport(const void* data, uint32_t size);
  void adoptLifecycleName(const void* data, uint32_t size);
  void sendJsonMessage(const char* id, const void* data, size_t size);

  // Page message handling (controller_dispatch.cpp).
  void dispatchBridgeMessage(const BridgeMessage& message, size_t length);
  void subscribeFeeds(const BridgeMessage& message);
  bool offerToBankControl(const BridgeMessage& message);
  void setParamFromUi(const BridgeMessage& message);
  void sendStateToUi();
  void setStateFromUi(const BridgeMessage& message, size_t length);
  // Sends the pad overrides to the processor; true when the message went out.
  bool applyPadOverrides(const SamplerPadOverrides& overrides);
  // False when no message could be allocated.
  bool sendTransportPoll(bool reset);
  void sendEmptyMessage(const char* id);

  // First, in this order: the bank control holds a pointer to its bridge.
  BankBridge bankBridge{this};
  BankControl bankControl{&bankBridge};

  std::function<void(const std::string&)> bridgeSink;
  int32_t echoParamId = -1;  // -1: no pending echo
  double echoValue = -1.0;
  CcMap ccMap{};
  bool hasCcMap = false;
  std::string runtimeHealthReport;
  HostFacts hostFacts{};
  bool helloSent = false;
  uint32_t hostChangedSeq = 0;
  PresetStateFacts presetState{};
  double presetBaseline[ORBEL_PARAM_COUNT] = {};
  bool presetBaselineValid = false;
  uint32_t feedMask = 0;
  double maxFeedHz = 0.0;
  DiagnosticLifecycleLog lifecycleLog;
  TransportFact lastTransport{};
  bool transportKnown = false;
  double lastTransportSentMs = -1.0;
  bool transportResetPending = false;
  void* cadenceClock = nullptr;  // the 30 Hz cadence clock while it exists
  double previousTempo = 0.0;
  int32_t previousNumerator = 0;
  int32_t previousDenominator = 0;
};

}  // namespace orbel
