#pragma once
// An edit controller as a host and a page see it: initialised with a host
// context that can allocate messages, a component handler that records the
// edits reported to the host, a connection peer standing for the processor,
// and a bridge sink that records what the page receives.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/controller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "sdk/hosting/host_classes.h"
#include "tests/support/vst3_host.h"

namespace orbel::testhost {

struct ProcessorMessage {
  std::string id;
  std::string json;  // the "json" attribute, when there is one
  int64 reset = -1;  // the "reset" attribute, when there is one
};

class ProcessorPeer : public IConnectionPoint {
public:
  std::vector<ProcessorMessage> messages;
  bool accept = true;  // false: every message is refused, as by a gone processor
  tresult PLUGIN_API connect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API notify(IMessage* message) override {
    if (!accept) return kResultFalse;
    ProcessorMessage m;
    m.id = message->getMessageID() ? message->getMessageID() : "";
    if (IAttributeList* attrs = message->getAttributes()) {
      const void* data = nullptr;
      uint32 size = 0;
      if (attrs->getBinary("json", data, size) == kResultOk)
        m.json.assign(static_cast<const char*>(data), size);
      attrs->getInt("reset", m.reset);
    }
    messages.push_back(m);
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IConnectionPoint::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IConnectionPoint*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  ORBEL_TESTHOST_STATIC_REFCOUNT
};

// Records the edits as "begin 3", "perform 3 0.5", "end 3".
class EditRecorder : public IComponentHandler {
public:
  std::vector<std::string> edits;
  tresult PLUGIN_API beginEdit(ParamID id) override {
    edits.push_back("begin " + std::to_string(id));
    return kResultOk;
  }
  tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override {
    char text[64];
    std::snprintf(text, sizeof text, "perform %u %.17g", static_cast<unsigned>(id), value);
    edits.emplace_back(text);
    return kResultOk;
  }
  tresult PLUGIN_API endEdit(ParamID id) override {
    edits.push_back("end " + std::to_string(id));
    return kResultOk;
  }
  tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IComponentHandler::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IComponentHandler*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  ORBEL_TESTHOST_STATIC_REFCOUNT
};

class BridgeTest : public ::testing::Test {
protected:
  void SetUp() override {
    controller = new OrbelController();
    ASSERT_EQ(controller->initialize(&host), kResultOk);
    controller->setComponentHandler(&handler);
    ASSERT_EQ(controller->connect(&peer), kResultOk);
    controller->setBridgeSink([this](const std::string& json) { page.push_back(json); });
  }
  void TearDown() override {
    controller->setBridgeSink({});
    controller->disconnect(&peer);
    controller->setComponentHandler(nullptr);
    controller->terminate();
    controller->release();
  }

  // One page message; the announcements and processor messages it caused
  // are what page and peer hold afterwards.
  void post(const std::string& text) {
    page.clear();
    peer.messages.clear();
    handler.edits.clear();
    controller->handleBridgeMessage(text.data(), text.size());
  }
  std::vector<std::string> sentToProcessor(const char* id) const {
    std::vector<std::string> out;
    for (const ProcessorMessage& m : peer.messages)
      if (m.id == id) out.push_back(m.json);
    return out;
  }
  void sendTransport(const TransportFact& fact) {
    orbel::hosting::Message message;
    message.setMessageID("orbel.diag.transport");
    message.getAttributes()->setBinary("json", &fact, sizeof fact);
    controller->notify(&message);
  }
  const char* lastLifecycleKind() const {
    const DiagnosticLifecycleLog& log = controller->lifecycle();
    return log.count ? diagnosticLifecycleKindName(log.newest().kind) : "";
  }
  static bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
  }

  orbel::hosting::HostApplication host;
  ProcessorPeer peer;
  EditRecorder handler;
  OrbelController* controller = nullptr;
  std::vector<std::string> page;  // announcements the page received
};

}  // namespace orbel::testhost
