#pragma once
// An edit controller as a host holds it: initialised with a host context that
// can allocate messages, a component handler and a connection peer that
// record what the controller sends, and a bridge sink that records what the
// page would receive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/controller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "sdk/hosting/host_classes.h"
#include "tests/support/vst3_host.h"

namespace orbel::testhost {

// A host application with a chosen name.
class NamedHost : public orbel::hosting::HostApplication {
public:
  explicit NamedHost(std::u16string name = u"Test Host") : name_(std::move(name)) {}
  tresult PLUGIN_API getName(String128 name) override {
    size_t n = 0;
    for (; n < 127 && n < name_.size(); ++n) name[n] = static_cast<TChar>(name_[n]);
    name[n] = 0;
    return kResultOk;
  }

private:
  std::u16string name_;
};

class RecordingHandler : public IComponentHandler {
public:
  std::vector<int32> restarts;
  tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
  tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API restartComponent(int32 flags) override {
    restarts.push_back(flags);
    return kResultOk;
  }
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

class ControllerTest : public ::testing::Test {
protected:
  void SetUp() override {
    controller = new OrbelController();
    ASSERT_EQ(controller->initialize(&host), kResultOk);
    controller->setComponentHandler(&handler);
    ASSERT_EQ(controller->connect(&peer), kResultOk);
  }
  void TearDown() override {
    controller->disconnect(&peer);
    controller->setComponentHandler(nullptr);
    controller->terminate();
    controller->release();
  }

  void installSink() {
    controller->setBridgeSink([this](const std::string& json) { page.push_back(json); });
  }
  tresult setComponentState(const std::string& text, int32 maxRead = 1 << 30) {
    ByteStream in(text, maxRead);
    return controller->setComponentState(&in);
  }
  tresult setState(const std::string& text) {
    ByteStream in(text);
    return controller->setState(&in);
  }
  std::string getState() {
    ByteStream out;
    EXPECT_EQ(controller->getState(&out), kResultOk);
    return out.data();
  }
  std::vector<double> values() {
    std::vector<double> v;
    for (uint32 i = 0; i < ORBEL_PARAM_COUNT; ++i) v.push_back(controller->getParamNormalized(i));
    return v;
  }
  const char* lastLifecycleKind() const {
    const DiagnosticLifecycleLog& log = controller->lifecycle();
    return log.count ? diagnosticLifecycleKindName(log.newest().kind) : "";
  }
  size_t sentToProcessor(const char* id) const { return peer.count(id); }

  NamedHost host;
  RecordingPeer peer;
  RecordingHandler handler;
  OrbelController* controller = nullptr;
  std::vector<std::string> page;  // announcements the page received
};

}  // namespace orbel::testhost
