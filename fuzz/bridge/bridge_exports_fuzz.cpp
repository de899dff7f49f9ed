// A live controller and processor, connected as a host connects them, driven
// the way an outside diagnostic client drives them: message lines through the
// exported deliver function, interleaved with processed blocks (whose host
// transport the input chooses) and cadence ticks. A line whose first byte is
// 0x01 is a tick instead of a message: its next bytes set the transport of
// the block processed before it. Nothing may crash; every call on the live
// controller is taken; every announcement is one JSON object with a type,
// and made line-safe it is one line that reads back as the same document.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/bridge/offline_banks.h"
#include "json/json_read.h"
#include "json/line_safe.h"
#include "plugin/controller.h"
#include "plugin/diagnostic_bridge.h"
#include "plugin/processor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "sdk/hosting/host_classes.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int32 kBlock = 64;

bool sameDocument(const orbel::JsonValue& a, const orbel::JsonValue& b) {
  if (a.kind != b.kind || a.boolean != b.boolean || a.text != b.text ||
      a.items.size() != b.items.size() || a.members.size() != b.members.size())
    return false;
  if (a.isNumber() && !(a.number == b.number || (a.number != a.number && b.number != b.number)))
    return false;
  for (size_t i = 0; i < a.items.size(); ++i)
    if (!sameDocument(a.items[i], b.items[i])) return false;
  for (auto ia = a.members.begin(), ib = b.members.begin(); ia != a.members.end(); ++ia, ++ib)
    if (ia->first != ib->first || !sameDocument(ia->second, ib->second)) return false;
  return true;
}

void checkAnnouncement(void*, const char* data, size_t length) {
  const std::string text(data, length);
  orbel::JsonValue value;
  if (!orbel::parseJsonDocument(std::vector<uint8_t>(text.begin(), text.end()), value) ||
      !value.isObject())
    std::abort();
  const orbel::JsonValue* type = value.find("type");
  if (type == nullptr || !type->isString()) std::abort();
  const std::string safe = orbel::lineSafeJson(text);
  for (char c : safe)
    if (static_cast<unsigned char>(c) < 0x20) std::abort();
  orbel::JsonValue again;
  if (!orbel::parseJsonDocument(std::vector<uint8_t>(safe.begin(), safe.end()), again) ||
      !sameDocument(value, again))
    std::abort();
}

// Audio for one block: the transport comes from the tick's bytes.
void processBlock(orbel::OrbelProcessor& processor, const uint8_t* bytes, size_t n,
                  int64& position) {
  static float left[kBlock], right[kBlock];
  static float* channels[2] = {left, right};
  AudioBusBuffers out{};
  out.numChannels = 2;
  out.channelBuffers32 = channels;
  ProcessContext context{};
  const uint8_t flags = n > 0 ? bytes[0] : 0;
  context.state = (flags & 1 ? ProcessContext::kPlaying : 0) |
                  (flags & 2 ? ProcessContext::kTempoValid : 0) |
                  (flags & 4 ? ProcessContext::kTimeSigValid : 0) |
                  (flags & 8 ? ProcessContext::kCycleValid : 0) |
                  (flags & 16 ? ProcessContext::kCycleActive : 0) |
                  (flags & 32 ? ProcessContext::kProjectTimeMusicValid : 0);
  context.tempo = n > 1 ? 20.0 + bytes[1] : 120.0;
  context.timeSigNumerator = n > 2 ? bytes[2] % 17 : 4;
  context.timeSigDenominator = n > 3 ? 1 << (bytes[3] % 5) : 4;
  context.sampleRate = 48000.0;
  context.projectTimeSamples = position;
  context.projectTimeMusic = static_cast<double>(position) / 48000.0 * context.tempo / 60.0;
  ProcessData data{};
  data.processMode = kRealtime;
  data.symbolicSampleSize = kSample32;
  data.numSamples = kBlock;
  data.numOutputs = 1;
  data.outputs = &out;
  data.processContext = (flags & 64) ? nullptr : &context;
  processor.process(data);
  if (flags & 1) position += kBlock;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  orbel::fuzz::keepHostedBanksOffline();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static orbel::hosting::HostApplication host;

  auto* processor = static_cast<orbel::OrbelProcessor*>(
      static_cast<IAudioProcessor*>(orbel::OrbelProcessor::createInstance(nullptr)));
  auto* controller = new orbel::OrbelController();
  processor->initialize(&host);
  controller->initialize(&host);
  processor->connect(controller);
  controller->connect(processor);
  ProcessSetup setup{kRealtime, kSample32, kBlock, 48000.0};
  processor->setupProcessing(setup);
  processor->setActive(true);
  FUnknown* object = static_cast<IEditController*>(controller);
  if (orbelInstallDiagnosticBridgeSink(object, &checkAnnouncement, nullptr) != 1) std::abort();

  int64 position = 0;
  size_t start = 0;
  for (size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != '\n') continue;
    // An exact-size copy, so that a read past the end is caught.
    std::vector<char> line(data + start, data + i);
    start = i + 1;
    if (!line.empty() && line[0] == '\x01') {
      processBlock(*processor, reinterpret_cast<const uint8_t*>(line.data()) + 1, line.size() - 1,
                   position);
      if (orbelTickDiagnosticCadence(object) != 1) std::abort();
      continue;
    }
    if (orbelDeliverDiagnosticBridgeMessage(object, line.empty() ? "" : line.data(), line.size()) !=
        1)
      std::abort();
    for (uint32 p = 0; p < orbel::ORBEL_PARAM_COUNT; ++p) {
      const double v = controller->getParamNormalized(p);
      if (!(v >= 0.0 && v <= 1.0)) std::abort();
    }
  }

  orbelInstallDiagnosticBridgeSink(object, nullptr, nullptr);
  processor->setActive(false);
  controller->disconnect(processor);
  processor->disconnect(controller);
  controller->terminate();
  processor->terminate();
  controller->release();
  processor->release();
  return 0;
}
