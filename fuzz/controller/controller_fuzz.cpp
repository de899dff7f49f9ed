// Outside data reaching the edit controller: host state streams (the
// processor's state and the controller's own, read in short pieces) and the
// payloads of the processor's messages. Nothing may crash, a refused state
// must change nothing, and whatever the controller saves must read back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/controller.h"
#include "sdk/hosting/host_classes.h"
#include "tests/support/vst3_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string saveState(orbel::OrbelController& c) {
  orbel::testhost::ByteStream out;
  if (c.getState(&out) != kResultOk) std::abort();
  return out.data();
}

std::vector<double> values(orbel::OrbelController& c) {
  std::vector<double> v;
  for (uint32 i = 0; i < orbel::ORBEL_PARAM_COUNT; ++i) v.push_back(c.getParamNormalized(i));
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32 maxRead = 1 + data[0] * 17;
  const uint8_t route = data[1] % 8;
  const std::string payload(reinterpret_cast<const char*>(data + 2), size - 2);

  auto* c = new orbel::OrbelController();
  c->initialize(nullptr);
  size_t delivered = 0;
  c->setBridgeSink([&delivered](const std::string& json) { delivered += json.size(); });

  if (route < 2) {
    const std::string before = saveState(*c);
    const std::vector<double> valuesBefore = values(*c);
    orbel::testhost::ByteStream in(payload, maxRead);
    const tresult r = route == 0 ? c->setComponentState(&in) : c->setState(&in);
    if (r != kResultOk && (saveState(*c) != before || values(*c) != valuesBefore)) std::abort();
    // What was taken saves and reads back. (Records the document cannot
    // carry, such as a pad with an empty key, drop out on the first trip.)
    orbel::testhost::ByteStream first(saveState(*c));
    if (c->setState(&first) != kResultOk) std::abort();
    const std::string saved = saveState(*c);
    orbel::testhost::ByteStream again(saved);
    if (c->setState(&again) != kResultOk || saveState(*c) != saved) std::abort();
    ParamID id = 0;
    for (int16 channel = 0; channel < 16; ++channel)
      c->getMidiControllerAssignment(0, channel, data[0] & 127, id);
  } else {
    static const char* const ids[] = {"orbel.diag.lifecycle",    "orbel.diag.transport",
                                      "orbel.diag.hostFacts",    "orbel.runtimeDiagnostics",
                                      "orbel.runtimeBankResult", "orbel.diag.signal"};
    orbel::hosting::Message message;
    message.setMessageID(ids[route - 2]);
    // An empty payload stands for a message without its attribute.
    if (!payload.empty())
      message.getAttributes()->setBinary("json", payload.data(),
                                         static_cast<uint32>(payload.size()));
    if (c->notify(&message) != kResultOk) std::abort();
  }
  c->terminate();
  c->release();
  return 0;
}
