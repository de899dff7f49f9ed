// Outside data reaching the processor: host state streams (read in short
// pieces) and payloads of the controller's messages. Nothing may crash, and a
// refused state must leave the saved state unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "plugin/processor.h"
#include "sdk/hosting/host_classes.h"
#include "tests/support/vst3_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string saveState(orbel::OrbelProcessor& p) {
  orbel::testhost::ByteStream out;
  p.getState(&out);
  return out.data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32 maxRead = 1 + data[0] * 17;
  const uint8_t route = data[1] % 6;
  const std::string payload(reinterpret_cast<const char*>(data + 2), size - 2);

  auto* p = new orbel::OrbelProcessor();
  p->initialize(nullptr);
  if (route == 0) {
    const std::string before = saveState(*p);
    orbel::testhost::ByteStream in(payload, maxRead);
    if (p->setState(&in) != kResultOk && saveState(*p) != before) std::abort();
    saveState(*p);
  } else {
    static const char* const ids[] = {"orbel.ccMap", "orbel.diag.presetLoaded",
                                      "orbel.padOverrides", "orbel.loadRuntimeBank",
                                      "orbel.diag.transportPoll"};
    orbel::hosting::Message message;
    message.setMessageID(ids[route - 1]);
    // An empty payload stands for a message without its attribute.
    if (!payload.empty())
      message.getAttributes()->setBinary("json", payload.data(),
                                         static_cast<uint32>(payload.size()));
    message.getAttributes()->setInt("reset", static_cast<int64>(data[0]));
    p->notify(&message);
    saveState(*p);
  }
  p->terminate();
  p->release();
  return 0;
}
