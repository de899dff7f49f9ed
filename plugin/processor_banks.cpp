// Runtime banks and pad overrides. This instrument's engine keeps no sample
// bank; the loading, publication and recall steps plug in here.
#include "plugin/processor.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

void OrbelProcessor::handleLoadRuntimeBank(IMessage* /*message*/) {}

void OrbelProcessor::handlePadOverrides(IMessage* /*message*/) {}

const SamplerPadOverrides* OrbelProcessor::currentPadOverrides() const { return nullptr; }

const BankStateRefOut* OrbelProcessor::currentBankReference() const { return nullptr; }

void OrbelProcessor::adoptRestoredPadOverrides(const SamplerPadOverrides& /*overrides*/) {}

bool OrbelProcessor::recallBank(const StateChunk& /*chunk*/) { return false; }

void OrbelProcessor::withdrawBankAfterRecall(const StateChunk& /*chunk*/) {}

} // namespace orbel
