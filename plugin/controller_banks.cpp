// The controller as the bank control's host: the page's sink, parameter
// edits from bank presets, bank requests and pad overrides to the processor,
// the folder picker and the preset facts.
#include <cstring>
#include <string>

#include "banks/hosted_bank.h"
#include "plugin/controller.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// At most `limit` bytes of `text`, never cutting a UTF-8 sequence in two.
void copyCut(char* out, size_t capacity, const std::string& text, size_t limit) {
  size_t n = text.size() < limit ? text.size() : limit;
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  if (n >= capacity) n = capacity - 1;
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

constexpr size_t kPresetTextBytes = 95;

}  // namespace

void OrbelController::BankBridge::sendBankJson(const std::string& json) {
  controller->sendToUi(json);
}

void OrbelController::BankBridge::editParam(unsigned index, double plain) {
  if (index >= ORBEL_PARAM_COUNT) return;
  const ParamID id = static_cast<ParamID>(index);
  const double normalized = orbel_param_normalize(&ORBEL_PARAMS[index], plain);
  controller->beginEdit(id);
  // Announces the change to the page once (a second, explicit announcement
  // would only repeat it).
  controller->setParamNormalized(id, normalized);
  controller->performEdit(id, normalized);
  controller->endEdit(id);
}

double OrbelController::BankBridge::readParam(unsigned index) const {
  if (index >= ORBEL_PARAM_COUNT) return 0.0;
  return orbel_param_to_plain(&ORBEL_PARAMS[index], controller->getParamNormalized(index));
}

void OrbelController::BankBridge::requestRuntimeBank(const std::string& source,
                                                     const std::string& path,
                                                     const std::string& sha256,
                                                     const std::string& instrument) {
  const std::string text = source + "\n" + path + "\n" + sha256 + "\n" + instrument;
  // Without a processor to hear it no reply would ever come: the page hears
  // at once that the bank is missing.
  IMessage* message = controller->getPeer() ? controller->allocateMessage() : nullptr;
  if (message == nullptr) {
    controller->bankControl.adoptRuntimeBankReply("missing\n" + path);
    return;
  }
  message->setMessageID("orbel.loadRuntimeBank");
  if (IAttributeList* attrs = message->getAttributes())
    attrs->setBinary("json", text.data(), static_cast<uint32>(text.size()));
  controller->sendMessage(message);
  message->release();
}

bool OrbelController::BankBridge::applyPadOverrides(const SamplerPadOverrides& overrides) {
  return controller->applyPadOverrides(overrides);
}

bool OrbelController::BankBridge::pickFolder(std::string& path, std::string& error) {
  return pickBankFolder(path, error);
}

void OrbelController::BankBridge::notePresetSelected(const std::string& id,
                                                     const std::string& name) {
  PresetStateFacts& facts = controller->presetState;
  copyCut(facts.currentId, sizeof facts.currentId, id, kPresetTextBytes);
  copyCut(facts.currentName, sizeof facts.currentName, name, kPresetTextBytes);
  controller->recordLifecycle(DiagnosticLifecycleKind::PresetLoaded)
      .addString("id", facts.currentId)
      .addString("name", facts.currentName)
      .addString("origin", "bank");
  controller->publishLastLifecycle();
  controller->sendPresetLoadedToProcessor(id);
}

}  // namespace orbel
