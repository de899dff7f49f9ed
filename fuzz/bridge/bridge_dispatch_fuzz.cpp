// Page messages driving a whole controller, as a hostile or broken page
// could: a batch of texts (separated by 0xFF bytes) is handed to
// handleBridgeMessage one after another. Nothing may crash, every parameter
// stays a normalized value, no page edit stays marked as pending, everything
// the page receives is one JSON object with a "type", and what the
// controller saves reads back.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/bridge/offline_banks.h"
#include "json/json_read.h"
#include "state/state_document.h"
#include "plugin/controller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "sdk/hosting/host_classes.h"
#include "tests/support/vst3_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Stands for the processor: takes every message.
class Peer : public IConnectionPoint {
public:
  tresult PLUGIN_API connect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API notify(IMessage*) override { return kResultOk; }
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

class Handler : public IComponentHandler {
public:
  tresult PLUGIN_API beginEdit(ParamID id) override {
    return id < orbel::ORBEL_PARAM_COUNT ? kResultOk : kResultFalse;
  }
  tresult PLUGIN_API performEdit(ParamID id, ParamValue v) override {
    if (id >= orbel::ORBEL_PARAM_COUNT || !(v >= 0.0 && v <= 1.0)) std::abort();
    return kResultOk;
  }
  tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

void checkAnnouncement(const std::string& json) {
  orbel::JsonValue value;
  if (!orbel::parseJsonDocument(std::vector<uint8_t>(json.begin(), json.end()), value) ||
      !value.isObject())
    std::abort();
  const orbel::JsonValue* type = value.find("type");
  if (type == nullptr || !type->isString()) std::abort();
  if (type->text == "orbel.state") {
    // The document inside reads back as a state.
    const std::string prefix = "{\"type\":\"orbel.state\",\"state\":";
    if (json.compare(0, prefix.size(), prefix) != 0) std::abort();
    orbel::StateChunk chunk;
    if (!orbel::parseStateJson(json.data() + prefix.size(), json.size() - prefix.size() - 1, chunk))
      std::abort();
  }
}

std::string saveState(orbel::OrbelController& c) {
  orbel::testhost::ByteStream out;
  if (c.getState(&out) != kResultOk) std::abort();
  return out.data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  orbel::fuzz::keepHostedBanksOffline();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static orbel::hosting::HostApplication host;
  static Peer peer;
  static Handler handler;

  auto* c = new orbel::OrbelController();
  c->initialize(&host);
  c->setComponentHandler(&handler);
  c->connect(&peer);
  c->setBridgeSink([](const std::string& json) { checkAnnouncement(json); });

  size_t start = 0;
  for (size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != 0xFF) continue;
    // An exact-size copy, so that a read past the end is caught.
    std::vector<char> text(data + start, data + i);
    c->handleBridgeMessage(text.empty() ? "" : text.data(), text.size());
    start = i + 1;
    if (c->pendingEchoParam() != -1) std::abort();
    for (uint32 p = 0; p < orbel::ORBEL_PARAM_COUNT; ++p) {
      const double v = c->getParamNormalized(p);
      if (!(v >= 0.0 && v <= 1.0)) std::abort();
    }
    // A host change after any page message is announced.
    size_t announced = 0;
    c->setBridgeSink([&announced](const std::string& json) {
      checkAnnouncement(json);
      ++announced;
    });
    c->setParamNormalized(2, c->getParamNormalized(2));
    if (announced != 1) std::abort();
    c->setBridgeSink([](const std::string& json) { checkAnnouncement(json); });
  }

  // The controller's own state reads back to itself.
  const std::string saved = saveState(*c);
  orbel::testhost::ByteStream in(saved);
  if (c->setState(&in) != kResultOk || saveState(*c) != saved) std::abort();

  c->setBridgeSink({});
  c->disconnect(&peer);
  c->setComponentHandler(nullptr);
  c->terminate();
  c->release();
  return 0;
}
