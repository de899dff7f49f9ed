// The Linux web view's side of the helper pipes, with a stand-in helper
// (tests/editor/fake_webview_helper.cpp): a helper that stops reading is
// dropped at the queue's limit instead of blocking the caller, writing to a
// helper that died raises no SIGPIPE, and a helper that is not there does
// not start.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "platform/linux/helper_environment.h"
#include "platform/web_view.h"

namespace orbel {
namespace {

// A run loop on poll(2): descriptor handlers and timers, one thread.
class PollRunLoop final : public RunLoop {
public:
  bool addTimer(RunLoopTimer& timer, uint64_t milliseconds) override {
    timers_.push_back({&timer, std::chrono::milliseconds(milliseconds)});
    return true;
  }
  void removeTimer(RunLoopTimer& timer) override {
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                                 [&](const Timer& t) { return t.timer == &timer; }),
                  timers_.end());
  }
  bool addFdHandler(RunLoopFdHandler& handler, int fd) override {
    handlers_.push_back({&handler, fd});
    return true;
  }
  void removeFdHandler(RunLoopFdHandler& handler) override {
    handlers_.erase(std::remove_if(handlers_.begin(), handlers_.end(),
                                   [&](const Handler& h) { return h.handler == &handler; }),
                    handlers_.end());
  }
  // One turn: waits up to 2 ms, then calls what is ready and every timer.
  void turn() {
    std::vector<pollfd> fds;
    for (const Handler& h : handlers_) fds.push_back({h.fd, POLLIN, 0});
    ::poll(fds.data(), fds.size(), 2);
    for (const pollfd& p : fds) {
      if (p.revents == 0) continue;
      const auto it = std::find_if(handlers_.begin(), handlers_.end(),
                                   [&](const Handler& h) { return h.fd == p.fd; });
      if (it != handlers_.end()) it->handler->onRunLoopFdReady(p.fd);
    }
    const std::vector<Timer> now = timers_;
    for (const Timer& t : now)
      if (std::any_of(timers_.begin(), timers_.end(),
                      [&](const Timer& u) { return u.timer == t.timer; }))
        t.timer->onRunLoopTimer();
  }
  size_t registrations() const { return timers_.size() + handlers_.size(); }

private:
  struct Timer {
    RunLoopTimer* timer;
    std::chrono::milliseconds interval;
  };
  struct Handler {
    RunLoopFdHandler* handler;
    int fd;
  };
  std::vector<Timer> timers_;
  std::vector<Handler> handlers_;
};

struct Recorder final : WebViewEvents {
  std::vector<std::string> requests;
  std::string failure;
  void onWebViewMessage(std::string_view) override {}
  void onWebViewRequest(uint64_t, std::string_view path) override { requests.emplace_back(path); }
  void onWebViewFrame(uint64_t) override {}
  void onWebViewFailed(std::string_view reason) override { failure.assign(reason); }
};

bool processGone(int pid) { return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH; }

class HelperWebViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    ::unsetenv("ORBEL_FAKE_HELPER_LOG");
    ::setenv("ORBEL_FAKE_HELPER_REQUESTS", "/index.html", 1);
    setup.parentWindow = 1;
    setup.width = 720;
    setup.height = 560;
    setup.url = "orbel-ui://bundle-0/index.html";
    setup.scheme = "orbel-ui";
    setup.messageHandler = "orbel";
    setup.helperPath = ORBEL_FAKE_HELPER;
  }
  bool turnUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      loop.turn();
    }
    return true;
  }

  PollRunLoop loop;
  Recorder events;
  WebViewSetup setup;
};

TEST_F(HelperWebViewTest, HelperThatStopsReadingIsDroppedAtTheQueuesLimit) {
  ::setenv("ORBEL_FAKE_HELPER_MODE", "deaf", 1);
  setup.writeQueueLimit = 256 * 1024;
  std::string error;
  std::unique_ptr<WebView> view = openWebView(loop, events, setup, error);
  ASSERT_NE(view, nullptr) << error;
  const int pid = view->processId();
  // More than the pipe and the queue hold together; each call returns at once.
  const std::string script(1 << 20, 'x');
  for (int i = 0; i < 3; ++i) view->evaluateScript(script);
  EXPECT_EQ(events.failure, "");  // reported from the loop, not from inside the call
  ASSERT_TRUE(turnUntil([&] { return !events.failure.empty(); }));
  EXPECT_EQ(events.failure, "webview helper stopped reading");
  view.reset();  // the helper ignores its pipe's end: it is killed
  EXPECT_TRUE(processGone(pid));
  EXPECT_EQ(loop.registrations(), 0u);
}

TEST_F(HelperWebViewTest, WritingToAHelperThatDiedRaisesNoSignal) {
  ::setenv("ORBEL_FAKE_HELPER_MODE", "page", 1);
  std::string error;
  std::unique_ptr<WebView> view = openWebView(loop, events, setup, error);
  ASSERT_NE(view, nullptr) << error;
  ASSERT_TRUE(turnUntil([&] { return !events.requests.empty(); }));
  EXPECT_EQ(events.requests.front(), "/index.html");
  const int pid = view->processId();
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  // Keep writing until the pipe breaks: the default SIGPIPE would end this
  // test program here.
  const std::string script(4096, 'y');
  ASSERT_TRUE(turnUntil([&] {
    view->evaluateScript(script);
    return !events.failure.empty();
  }));
  EXPECT_EQ(events.failure, "webview helper exited");
  ASSERT_TRUE(turnUntil([&] { return processGone(pid); }));  // reaped while the view still exists
  view.reset();
  EXPECT_EQ(loop.registrations(), 0u);
}

TEST_F(HelperWebViewTest, HelperThatIsNotThereDoesNotStart) {
  setup.helperPath = "/nonexistent/orbel-webview";
  std::string error;
  EXPECT_EQ(openWebView(loop, events, setup, error), nullptr);
  EXPECT_NE(error.find("/nonexistent/orbel-webview"), std::string::npos) << error;
  EXPECT_EQ(loop.registrations(), 0u);
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

TEST(WebViewHelperEnvironment, LeavesOutWhatPointsAtTheHostsOwnLibraries) {
  const char* host[] = {"DISPLAY=:0",
                        "HOME=/home/u",
                        "LD_LIBRARY_PATH=/opt/Ardour-8/lib",
                        "LD_PRELOAD=/opt/host/libshim.so",
                        "GTK_PATH=/opt/Ardour-8/lib/gtk-2.0",
                        "GDK_PIXBUF_MODULE_FILE=/opt/Ardour-8/etc/loaders.cache",
                        "GIO_MODULE_DIR=/opt/host/gio",
                        "GDK_BACKEND=wayland",
                        "LD_LIBRARY_PATHX=kept",
                        "XDG_RUNTIME_DIR=/run/user/1000",
                        "LANG=de_DE.UTF-8",
                        "GTK_THEME=Adwaita:dark",
                        "NOEQUALS",
                        nullptr};
  const std::vector<std::string> kept = webViewHelperEnvironment(host);
  const std::vector<std::string> expected = {"DISPLAY=:0",
                                             "HOME=/home/u",
                                             "LD_LIBRARY_PATHX=kept",
                                             "XDG_RUNTIME_DIR=/run/user/1000",
                                             "LANG=de_DE.UTF-8",
                                             "GTK_THEME=Adwaita:dark",
                                             "NOEQUALS"};
  EXPECT_EQ(kept, expected);
  EXPECT_TRUE(webViewHelperEnvironment(nullptr).empty());
}

}  // namespace
}  // namespace orbel
