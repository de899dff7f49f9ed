// Mirel's editor view as a host drives it, with a stand-in for the web view
// helper (fake_webview_helper.cpp) on real pipes and a real run loop: the
// platform type, the size limits, attach and detach order, the scheme's
// answers, the hello reaching the page, a helper that dies or stops
// reading, and that nothing (descriptor, process, timer) outlives a view.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>

#include "editor/ui_scheme.h"
#include "plugin/web_view_plug_view.h"
#include "tests/banks/temp_dir.h"
#include "tests/editor/bridge_fixture.h"
#include "tools/probe_run_loop.h"

namespace orbel::testhost {
namespace {

// The plug frame: lends the run loop.
class TestFrame : public IPlugFrame {
public:
  explicit TestFrame(Linux::IRunLoop* loop) : loop_(loop) {}
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override {
    return view->onSize(rect);
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (loop_ != nullptr && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
      loop_->addRef();
      *obj = loop_;
      return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IPlugFrame*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  ORBEL_TESTHOST_STATIC_REFCOUNT

private:
  Linux::IRunLoop* loop_;
};

size_t openDescriptors() {
  size_t count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

std::string rectText(const ViewRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.getWidth()) +
         "x" + std::to_string(r.getHeight());
}

bool processGone(int pid) { return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH; }

class PlugViewTest : public BridgeTest {
protected:
  void SetUp() override {
    BridgeTest::SetUp();
    // The page's own sink is the view's; the fixture's is not wanted here.
    controller->setBridgeSink({});
    dir.write("ui/index.html", "<!doctype html>");
    dir.write("ui/js/main.js", "export {};");
    dir.write("secret.txt", "secret");
    root = dir / "ui";
    log = dir / "helper.log";
    ::setenv("ORBEL_FAKE_HELPER_LOG", log.c_str(), 1);
    ::setenv("ORBEL_FAKE_HELPER_MODE", "page", 1);
    ::setenv("ORBEL_FAKE_HELPER_REQUESTS", "/,/js/main.js,/../secret.txt,/%2e%2e/secret.txt", 1);
  }
  void TearDown() override {
    if (view != nullptr) {
      view->removed();
      view->release();
    }
    BridgeTest::TearDown();
  }

  WebViewPlugView* makeView(const char* helper = ORBEL_FAKE_HELPER) {
    auto* made = static_cast<WebViewPlugView*>(createWebViewEditor(controller, root.c_str()));
    if (made != nullptr) {
      made->setHelperPath(helper);
      made->setFrame(&frame);
    }
    return made;
  }
  tresult attach(WebViewPlugView* target) {
    return target->attached(reinterpret_cast<void*>(uintptr_t{0x3e00007}),
                            kPlatformTypeX11EmbedWindowID);
  }
  OrbelEditorStatus statusOf(WebViewPlugView* target) {
    OrbelEditorStatus status;
    target->getEditorStatus(&status);
    return status;
  }
  // Turns the run loop until `done` holds (or 10 s pass).
  bool runUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      loop.runOnce(std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
    }
    return true;
  }
  std::string helperLog() const {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string lastLifecycleReason() const {
    const DiagnosticLifecycleEvent& event = controller->lifecycle().newest();
    for (uint32_t i = 0; i < event.detailCount; ++i)
      if (std::string(event.details[i].name) == "reason") return event.details[i].text;
    return "";
  }

  ProbeRunLoop loop;
  TestFrame frame{&loop};
  test::TempDir dir;
  std::string root;
  std::string log;
  WebViewPlugView* view = nullptr;
};

TEST_F(PlugViewTest, TakesOnlyX11WindowsAndKeepsItsSizeWithinLimits) {
  view = makeView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  for (FIDString type : {kPlatformTypeNSView, kPlatformTypeHWND, kPlatformTypeHIView,
                         "x11embedwindowid", static_cast<FIDString>(nullptr)})
    EXPECT_EQ(view->isPlatformTypeSupported(type), kResultFalse) << (type ? type : "null");
  EXPECT_EQ(view->canResize(), kResultTrue);

  ViewRect rect;
  ASSERT_EQ(view->getSize(&rect), kResultTrue);
  EXPECT_EQ(rect.getWidth(), 720);
  EXPECT_EQ(rect.getHeight(), 560);
  struct Case {
    ViewRect in;
    ViewRect out;
  };
  const Case cases[] = {
      {ViewRect(0, 0, 2000, 100), ViewRect(0, 0, 1400, 360)},
      {ViewRect(0, 0, 100, 2000), ViewRect(0, 0, 480, 1000)},
      {ViewRect(10, 20, 610, 520), ViewRect(10, 20, 610, 520)},
      {ViewRect(30, 40, 20, 10),
       ViewRect(30, 40, 510, 400)},  // negative sizes clamp up, edges kept
  };
  for (const Case& c : cases) {
    ViewRect constrained = c.in;
    EXPECT_EQ(view->checkSizeConstraint(&constrained), kResultTrue);
    EXPECT_EQ(rectText(constrained), rectText(c.out)) << rectText(c.in);
    ViewRect sized = c.in;
    EXPECT_EQ(view->onSize(&sized), kResultTrue);
    ASSERT_EQ(view->getSize(&rect), kResultTrue);
    EXPECT_EQ(rectText(rect), rectText(c.out));
  }
  EXPECT_EQ(view->checkSizeConstraint(nullptr), kInvalidArgument);
  EXPECT_EQ(view->onSize(nullptr), kResultFalse);
}

TEST_F(PlugViewTest, NoUiRootMeansNoEditor) {
  EXPECT_EQ(createWebViewEditor(controller, ""), nullptr);
  EXPECT_STREQ(lastLifecycleKind(), "editorError");
  EXPECT_EQ(lastLifecycleReason(), "no ui bundle in plugin");
  EXPECT_EQ(createWebViewEditor(nullptr, root.c_str()), nullptr);
  // The controller's own view: this test program carries no UI bundle.
  EXPECT_EQ(controller->createView("editor"), nullptr);
  EXPECT_EQ(controller->createView("other"), nullptr);
}

TEST_F(PlugViewTest, AttachIsRefusedWithoutAnX11WindowARunLoopOrAHelper) {
  view = makeView();
  const size_t descriptors = openDescriptors();
  EXPECT_EQ(view->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_EQ(view->attached(reinterpret_cast<void*>(uintptr_t{1}), kPlatformTypeNSView),
            kResultFalse);

  TestFrame noLoop(nullptr);
  view->setFrame(&noLoop);
  EXPECT_EQ(attach(view), kResultFalse);
  EXPECT_EQ(lastLifecycleReason(), "no host run loop");

  view->setFrame(&frame);
  view->setHelperPath(dir / "no-such-helper");
  EXPECT_EQ(attach(view), kResultFalse);
  EXPECT_STREQ(lastLifecycleKind(), "editorError");
  EXPECT_EQ(lastLifecycleReason(), "webview allocation failed");
  EXPECT_FALSE(controller->hasBridgeSink());
  EXPECT_EQ(loop.timerCount() + loop.handlerCount(), 0u);
  EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(PlugViewTest, PageIsServedByTheContainmentRuleAndGreetedByTheController) {
  view = makeView();
  EXPECT_EQ(controller->cadenceClockRunning(), false);  // the host context lent no loop
  ASSERT_EQ(attach(view), kResultOk);
  EXPECT_STREQ(lastLifecycleKind(), "editorOpened");
  EXPECT_TRUE(controller->hasBridgeSink());
  // The view's tick and the controller's clock, both on the frame's loop.
  EXPECT_EQ(loop.timerCount(), 2u);
  EXPECT_TRUE(controller->cadenceClockRunning());
  const int pid = statusOf(view).processId;
  EXPECT_GT(pid, 0);

  ASSERT_TRUE(runUntil([&] { return statusOf(view).hellosDrawn == 1; }));
  OrbelEditorStatus status = statusOf(view);
  EXPECT_EQ(status.attached, 1);
  EXPECT_GE(status.firstHelloDrawnAtMs, status.attachedAtMs);
  EXPECT_STREQ(status.failure, "");

  ViewRect bigger(0, 0, 1000, 700);
  view->onSize(&bigger);
  ASSERT_TRUE(runUntil([&] { return helperLog().find("resize 1000x700") != std::string::npos; }));
  const std::string text = helperLog();
  EXPECT_NE(text.find("open 65011719 720x560 " + uiBundleUrl(root) + " orbel-ui orbel script "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("answer 1 text/html <!doctype html>\n"), std::string::npos) << text;
  EXPECT_NE(text.find("answer 2 text/javascript export {};\n"), std::string::npos) << text;
  EXPECT_NE(text.find("fail 3 -1100\n"), std::string::npos) << text;
  EXPECT_NE(text.find("fail 4 -1100\n"), std::string::npos) << text;
  EXPECT_NE(
      text.find("eval window.orbelHost && window.orbelHost._deliver({\"type\":\"orbel.hello\""),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("frame 1\n"), std::string::npos) << text;

  // Detaching: closed, sink gone, timers and handler off the loop, helper
  // told to go (it saw the end of its pipe) and reaped.
  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_STREQ(lastLifecycleKind(), "editorClosed");
  EXPECT_FALSE(controller->hasBridgeSink());
  EXPECT_EQ(loop.timerCount() + loop.handlerCount(), 0u);
  EXPECT_FALSE(controller->cadenceClockRunning());
  EXPECT_TRUE(processGone(pid));
  EXPECT_NE(helperLog().find("eof"), std::string::npos);
  EXPECT_EQ(statusOf(view).attached, 0);
}

TEST_F(PlugViewTest, ReopeningLeavesNoDescriptorProcessOrTimerBehind) {
  view = makeView();
  ASSERT_EQ(attach(view), kResultOk);
  ASSERT_TRUE(runUntil([&] { return statusOf(view).hellosDrawn == 1; }));
  view->removed();
  const size_t descriptors = openDescriptors();
  for (int round = 0; round < 6; ++round) {
    ASSERT_EQ(attach(view), kResultOk) << round;
    const int pid = statusOf(view).processId;
    ASSERT_TRUE(runUntil([&] { return statusOf(view).hellosDrawn == 1; })) << round;
    // A second attach while attached is refused and changes nothing.
    EXPECT_EQ(attach(view), kResultFalse);
    view->removed();
    EXPECT_TRUE(processGone(pid)) << round;
    EXPECT_EQ(loop.timerCount() + loop.handlerCount(), 0u);
    EXPECT_EQ(openDescriptors(), descriptors) << round;
  }
}

TEST_F(PlugViewTest, HelperThatDiesIsReportedAndTheViewStaysHarmless) {
  view = makeView();
  ASSERT_EQ(attach(view), kResultOk);
  ASSERT_TRUE(runUntil([&] { return statusOf(view).hellosDrawn == 1; }));
  const int pid = statusOf(view).processId;
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  ASSERT_TRUE(runUntil([&] { return statusOf(view).failure[0] != 0; }));
  EXPECT_STREQ(statusOf(view).failure, "webview helper exited");
  EXPECT_STREQ(lastLifecycleKind(), "editorError");
  EXPECT_EQ(lastLifecycleReason(), "webview helper exited");
  // Reaped without waiting for the view to close.
  ASSERT_TRUE(runUntil([&] { return processGone(pid); }));
  // Announcements, ticks and sizes still go nowhere harmlessly.
  controller->sendHello();
  controller->tickCadence();
  ViewRect rect(0, 0, 800, 600);
  EXPECT_EQ(view->onSize(&rect), kResultTrue);
  for (int i = 0; i < 5; ++i)
    loop.runOnce(std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_STREQ(lastLifecycleKind(), "editorClosed");
  EXPECT_EQ(loop.timerCount() + loop.handlerCount(), 0u);
  // And the view opens again.
  ASSERT_EQ(attach(view), kResultOk);
  ASSERT_TRUE(runUntil([&] { return statusOf(view).hellosDrawn == 1; }));
}

TEST_F(PlugViewTest, HelperGoneBeforeItWasReadyIsAnAllocationFailure) {
  for (const char* mode : {"quit-early", "give-up"}) {
    ::setenv("ORBEL_FAKE_HELPER_MODE", mode, 1);
    view = makeView();
    // The start itself succeeded; the failure comes from the run loop.
    ASSERT_EQ(attach(view), kResultOk) << mode;
    ASSERT_TRUE(runUntil([&] { return statusOf(view).failure[0] != 0; })) << mode;
    EXPECT_STREQ(statusOf(view).failure, "webview allocation failed") << mode;
    EXPECT_EQ(lastLifecycleReason(), "webview allocation failed") << mode;
    view->removed();
    view->release();
    view = nullptr;
  }
}

TEST_F(PlugViewTest, HelperThatStopsReadingNeverBlocksTheHost) {
  ::setenv("ORBEL_FAKE_HELPER_MODE", "deaf", 1);
  view = makeView();
  ASSERT_EQ(attach(view), kResultOk);
  const int pid = statusOf(view).processId;
  // Far more than the pipe holds: every call returns at once (a blocking
  // write would hang here); the rest waits in the queue. (Its limit is the
  // platform test's.)
  std::string announcement =
      "{\"type\":\"orbel.test\",\"pad\":\"" + std::string(1 << 16, 'p') + "\"}";
  for (int i = 0; i < 128; ++i) controller->sendToUi(announcement);
  for (int i = 0; i < 10; ++i)
    loop.runOnce(std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
  EXPECT_STREQ(statusOf(view).failure, "");
  // A helper that does not end when told is killed and reaped.
  view->removed();
  EXPECT_TRUE(processGone(pid));
  EXPECT_EQ(loop.timerCount() + loop.handlerCount(), 0u);
}

}  // namespace
}  // namespace orbel::testhost
