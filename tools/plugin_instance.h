// One plug-in instance as a host holds it: the audio processor component and
// its edit controller, created through the factory, initialised with the
// probe's host context and connected through their connection points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "tools/component_handler.h"
#include "tools/factory_info.h"
#include "tools/host_application.h"

namespace orbel {

class PluginInstance {
public:
  PluginInstance() = default;
  ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  // Creates and initialises the component of `audioClass` and its controller,
  // connects them and gives the controller the component's initial state.
  // A module without a separate controller class is accepted (controller()
  // is then null unless the component itself is one).
  bool open(Steinberg::IPluginFactory* factory, const FactoryClass& audioClass, std::string& error);
  void close();

  Steinberg::Vst::IComponent* component() const { return component_; }
  Steinberg::Vst::IAudioProcessor* processor() const { return processor_; }
  Steinberg::Vst::IEditController* controller() const { return controller_; }
  // The host context (set a run loop on it before open) and the component
  // handler the controller reports edits to.
  ProbeHostApplication& host() { return host_; }
  ProbeComponentHandler& handler() { return handler_; }

  // The processor state, as the host would store it in a project.
  bool saveState(std::vector<uint8_t>& bytes, std::string& error);
  // Loads a processor state and then hands the same bytes to the controller
  // (setComponentState), as a host does after restoring a project.
  bool loadState(const std::vector<uint8_t>& bytes, std::string& error);
  // Offers a document to the processor alone; true when it took it.
  bool processorAccepts(const std::string& text);

  // Bus arrangement (stereo main output), bus activation and setupProcessing
  // (offline processing unless `realtime`).
  bool configure(double sampleRate, int32_t maxBlockFrames, std::string& error,
                 bool realtime = false);
  bool activate(std::string& error);
  void deactivate();

private:
  bool syncController(std::string& error);

  ProbeHostApplication host_;
  ProbeComponentHandler handler_;
  // The factory keeps a reference to host_ once given it as its host
  // context; close() takes it back, because host_ dies with this instance
  // while the factory lives on until the module is unloaded.
  Steinberg::IPluginFactory3* hostContextFactory_ = nullptr;
  Steinberg::Vst::IComponent* component_ = nullptr;
  Steinberg::Vst::IAudioProcessor* processor_ = nullptr;
  Steinberg::Vst::IEditController* controller_ = nullptr;
  Steinberg::Vst::IConnectionPoint* componentPoint_ = nullptr;
  Steinberg::Vst::IConnectionPoint* controllerPoint_ = nullptr;
  bool componentInitialized_ = false;
  bool controllerInitialized_ = false;
  bool separateController_ = false;
  bool active_ = false;
  bool processing_ = false;
};

// tresult as text ("kResultFalse (1)") for error lines.
std::string resultText(Steinberg::tresult result);

}  // namespace orbel
