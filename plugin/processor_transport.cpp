// The processor's transport feed: what the host's process context says about
// its transport, kept per block on the audio thread (wait-free, no
// allocation) and sent to the controller when its cadence polls.
#include "plugin/processor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

void OrbelProcessor::captureTransportFact(const ProcessData& data) {
  const ProcessContext* context = data.processContext;
  if (context != nullptr) {
    const uint32 state = context->state;
    TransportFact& fact = lastTransport;
    fact.source = TransportFact::kSourceHost;
    fact.playing = (state & ProcessContext::kPlaying) != 0;
    fact.recording = (state & ProcessContext::kRecording) != 0;
    fact.looping = (state & ProcessContext::kCycleActive) != 0;
    fact.hasTempo = (state & ProcessContext::kTempoValid) != 0;
    fact.hasTimeSignature = (state & ProcessContext::kTimeSigValid) != 0;
    fact.hasPosition = (state & ProcessContext::kProjectTimeMusicValid) != 0;
    fact.hasLoop = (state & ProcessContext::kCycleValid) != 0;
    fact.canSetTempo = false;
    if (fact.hasTempo) fact.tempo = context->tempo;
    if (fact.hasTimeSignature) {
      fact.numerator = context->timeSigNumerator;
      fact.denominator = context->timeSigDenominator;
    }
    fact.ppqPosition = fact.hasPosition ? context->projectTimeMusic : 0.0;
    fact.barPositionPpq =
        (state & ProcessContext::kBarPositionValid) != 0 ? context->barPositionMusic : 0.0;
    fact.loopStartPpq = fact.hasLoop ? context->cycleStartMusic : 0.0;
    fact.loopEndPpq = fact.hasLoop ? context->cycleEndMusic : 0.0;
    fact.sampleRate = context->sampleRate;
    fact.projectTimeSamples = context->projectTimeSamples;
    transportRing.push(fact);
  }
  // Frames since activation, so each snapshot says where it was taken.
  lastTransport.atFrame += static_cast<uint64>(data.numSamples);
}

void OrbelProcessor::drainTransportToController() {
  TransportFact fact;
  if (transportRing.drainLatest(fact)) sendJsonMessage("orbel.diag.transport", &fact, sizeof fact);
}

}  // namespace orbel
