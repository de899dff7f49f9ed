// The built module's editor with the real web view helper, in an X11
// window of the test's own (run through tests/support/with_xvfb.sh): a host
// that opens and closes it again and again, that destroys its window before
// removing the view, and that terminates the controller while the view is
// still open.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>

#include <chrono>
#include <functional>

#include "plugin/editor_status.h"
#include "pluginterfaces/gui/iplugview.h"
#include "tools/factory_info.h"
#include "tools/module_loader.h"
#include "tools/plugin_instance.h"
#include "tools/probe_run_loop.h"
#include "tools/x11_host_window.h"

namespace orbel {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

class Frame : public IPlugFrame {
public:
  explicit Frame(ProbeRunLoop& loop) : loop_(loop) {}
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override {
    return view->onSize(rect);
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
      loop_.addRef();
      *obj = static_cast<Linux::IRunLoop*>(&loop_);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

private:
  ProbeRunLoop& loop_;
};

size_t openDescriptors() {
  size_t count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

bool processGone(int pid) { return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH; }

class EditorXvfbTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr)
      GTEST_SKIP() << "no X display (run through with_xvfb.sh)";
    std::string error;
    ASSERT_TRUE(module.load(ORBEL_BUNDLE_PATH, error)) << error;
    ASSERT_TRUE(readFactoryInfo(module.factory(), info, error)) << error;
    const FactoryClass* audio = findClass(info, kVstAudioEffectClass);
    ASSERT_NE(audio, nullptr);
    ASSERT_TRUE(instance.open(module.factory(), *audio, error)) << error;
    view = instance.controller()->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    view->setFrame(&frame);
  }
  void TearDown() override {
    if (view != nullptr) {
      view->removed();
      view->setFrame(nullptr);
      view->release();
    }
    instance.close();
    module.unload();
  }

  OrbelEditorStatus status() {
    OrbelEditorStatus out;
    IOrbelEditorStatus* source = nullptr;
    if (view->queryInterface(IOrbelEditorStatus::iid, reinterpret_cast<void**>(&source)) ==
        kResultOk) {
      source->getEditorStatus(&out);
      source->release();
    }
    return out;
  }
  bool runUntil(const std::function<bool()>& done, int seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      loop.runOnce(std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
      window.pump();
    }
    return true;
  }
  // Opens a window and attaches the view to it; the page's process.
  int attach() {
    std::string error;
    EXPECT_TRUE(window.open(720, 560, 480, 360, 1400, 1000, "editor test", error)) << error;
    EXPECT_EQ(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window.windowId())),
                             kPlatformTypeX11EmbedWindowID),
              kResultOk);
    return status().processId;
  }

  ProbeRunLoop loop;
  Frame frame{loop};
  VstModule module;
  FactoryInfo info;
  PluginInstance instance;
  IPlugView* view = nullptr;
  X11HostWindow window;
};

TEST_F(EditorXvfbTest, OpensAgainAndAgainWithoutLeavingAnythingBehind) {
  size_t baseline = 0;
  for (int round = 0; round < 4; ++round) {
    const int pid = attach();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(runUntil([&] { return status().hellosDrawn > 0; }))
        << "round " << round << ": " << status().failure;
    EXPECT_STREQ(status().failure, "");
    // A resize reaches the page's window.
    ViewRect rect(0, 0, 900, 640);
    EXPECT_EQ(view->onSize(&rect), kResultTrue);
    ASSERT_EQ(view->removed(), kResultOk);
    window.close();
    EXPECT_TRUE(processGone(pid)) << round;
    EXPECT_EQ(loop.handlerCount(), 0u);
    if (round == 0) baseline = openDescriptors();
    EXPECT_EQ(openDescriptors(), baseline) << round;
  }
}

TEST_F(EditorXvfbTest, HostWindowDestroyedBeforeTheViewIsRemoved) {
  const int pid = attach();
  ASSERT_TRUE(runUntil([&] { return status().hellosDrawn > 0; })) << status().failure;
  window.close();
  // The page's window went with the host's; the helper stays quiet until told to go.
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  runUntil([&] { return std::chrono::steady_clock::now() > settle; });
  EXPECT_STREQ(status().failure, "");
  EXPECT_FALSE(processGone(pid));
  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_TRUE(processGone(pid));
  // And a new window takes the editor again.
  const int next = attach();
  ASSERT_TRUE(runUntil([&] { return status().hellosDrawn > 0; })) << status().failure;
  view->removed();
  EXPECT_TRUE(processGone(next));
}

TEST_F(EditorXvfbTest, ControllerTerminatedWhileTheViewIsOpen) {
  const int pid = attach();
  ASSERT_TRUE(runUntil([&] { return status().hellosDrawn > 0; })) << status().failure;
  // A careless host: the controller goes first (the view keeps it alive).
  instance.close();
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  runUntil([&] { return std::chrono::steady_clock::now() > settle; });
  ASSERT_EQ(view->removed(), kResultOk);
  view->setFrame(nullptr);
  view->release();
  view = nullptr;
  EXPECT_TRUE(processGone(pid));
  EXPECT_EQ(loop.timerCount() + loop.handlerCount(), 0u);
}

}  // namespace
}  // namespace orbel
