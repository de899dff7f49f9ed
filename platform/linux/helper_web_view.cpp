// The web view on Linux: WebKitGTK runs in a helper program shipped beside
// the module (Contents/x86_64-linux/orbel-webview), never in the host
// process, which may use another GTK or none and must not be made to pump
// GLib. The helper embeds its window into the host's X11 window and talks
// to this side over two pipes (platform/linux/webview_protocol.h): its
// output is read from a descriptor handler on the host's run loop, and what
// the command pipe does not take at once waits in a queue that a short
// timer retries, so the host's UI thread never blocks on a write.
//
// The helper ends when its command pipe closes (this object goes, or the
// host process dies). A helper that ends on its own, or stops reading, is
// reported once through onWebViewFailed; it is always reaped.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/child_reaper.h"
#include "platform/linux/helper_environment.h"
#include "platform/linux/pipe_lines.h"
#include "platform/linux/webview_protocol.h"
#include "platform/module_path.h"
#include "platform/web_view.h"

extern char** environ;

namespace orbel {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr uint64_t kRetryMs = 2;
// How long closing waits for the helper to end before it is killed, and how
// long a helper that reported its end may take to exit.
constexpr int kCloseWaitMs = 300;
// How long closing waits for a killed helper to be torn down.
constexpr int kKilledWaitMs = 2000;
constexpr int kExitGraceMs = 2000;
// Read at most this much per descriptor call, so a chatty page cannot hold
// the host's UI thread.
constexpr size_t kReadBudget = 4u * 1024 * 1024;
// The helper's ends of the pipes.
constexpr int kHelperCommandFd = 3;
constexpr int kHelperEventFd = 4;

std::string helperBesideModule() {
  const std::string image =
      modulePathForAddress(reinterpret_cast<const void*>(&helperBesideModule));
  const size_t slash = image.find_last_of('/');
  if (slash == std::string::npos) return {};
  return image.substr(0, slash) + "/orbel-webview";
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A close-on-exec copy of `fd` numbered 5 or above (so the helper's dup2 to 3
// and 4 can never clobber another of its sources); the original is closed.
int lift(int fd) {
  if (fd < 0 || fd >= 5) return fd;
  const int lifted = ::fcntl(fd, F_DUPFD_CLOEXEC, 5);
  ::close(fd);
  return lifted;
}

bool setNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

class HelperWebView final : public WebView, private RunLoopFdHandler, private RunLoopTimer {
public:
  HelperWebView(RunLoop& loop, WebViewEvents& events) : loop_(loop), events_(events) {}

  ~HelperWebView() override {
    if (destroyed_ != nullptr) *destroyed_ = true;
    stopWatching();
    closeFd(toHelper_);
    closeFd(fromHelper_);
    finishHelper();
  }

  bool start(const WebViewSetup& setup, std::string& error) {
    queueLimit_ = setup.writeQueueLimit;
    queue_ = PipeWriteQueue(queueLimit_);
    const std::string path = setup.helperPath.empty() ? helperBesideModule() : setup.helperPath;
    if (path.empty() || ::access(path.c_str(), X_OK) != 0) {
      error = "web view helper not found at '" + path + "'";
      return false;
    }
    int commands[2] = {-1, -1};
    int events[2] = {-1, -1};
    if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(events, O_CLOEXEC) != 0) {
      error = std::string("pipes for the web view helper: ") + std::strerror(errno);
      for (int fd : {commands[0], commands[1], events[0], events[1]})
        if (fd >= 0) ::close(fd);
      return false;
    }
    for (int* fd : {&commands[0], &commands[1], &events[0], &events[1]}) *fd = lift(*fd);
    toHelper_ = commands[1];
    fromHelper_ = events[0];
    int helperIn = commands[0];
    int helperOut = events[1];
    const bool spawned = helperIn >= 0 && helperOut >= 0 && toHelper_ >= 0 && fromHelper_ >= 0 &&
                         spawn(path, helperIn, helperOut, error);
    closeFd(helperIn);
    closeFd(helperOut);
    if (!spawned) {
      if (error.empty()) error = "pipes for the web view helper could not be set up";
      closeFd(toHelper_);
      closeFd(fromHelper_);
      return false;
    }
    // A larger command pipe lets a whole page file through in one write.
    ::fcntl(toHelper_, F_SETPIPE_SZ, 1 << 20);
    if (!setNonBlocking(toHelper_) || !setNonBlocking(fromHelper_) ||
        !loop_.addFdHandler(*this, fromHelper_)) {
      error = "the host's run loop does not watch the web view helper";
      closeFd(toHelper_);
      closeFd(fromHelper_);
      finishHelper();
      return false;
    }
    watching_ = true;
    WebViewPipeMessage open;
    open.kind = WebViewPipeKind::Open;
    open.window = setup.parentWindow;
    open.width = setup.width;
    open.height = setup.height;
    open.url = setup.url;
    open.scheme = setup.scheme;
    open.script = setup.documentStartScript;
    open.handler = setup.messageHandler;
    send(open);
    return true;
  }

  void evaluateScript(std::string_view script) override {
    WebViewPipeMessage m;
    m.kind = WebViewPipeKind::Eval;
    m.script.assign(script);
    send(m);
  }

  void answerRequest(uint64_t request, std::string_view mimeType, const uint8_t* data,
                     size_t size) override {
    WebViewPipeMessage m;
    m.kind = WebViewPipeKind::Answer;
    m.id = request;
    m.text.assign(mimeType);
    if (size > kWebViewPipeMaxBody) {
      failRequest(request, -1);
      return;
    }
    if (size > 0) m.data.assign(data, data + size);
    send(m);
  }

  void failRequest(uint64_t request, int code) override {
    WebViewPipeMessage m;
    m.kind = WebViewPipeKind::Fail;
    m.id = request;
    m.code = code;
    send(m);
  }

  void requestFrame(uint64_t token) override {
    WebViewPipeMessage m;
    m.kind = WebViewPipeKind::Frame;
    m.id = token;
    send(m);
  }

  void resize(int width, int height) override {
    WebViewPipeMessage m;
    m.kind = WebViewPipeKind::Resize;
    m.width = width < 1 ? 1 : width > kWebViewPipeMaxSide ? kWebViewPipeMaxSide : width;
    m.height = height < 1 ? 1 : height > kWebViewPipeMaxSide ? kWebViewPipeMaxSide : height;
    send(m);
  }

  int processId() const override { return static_cast<int>(pid_); }

private:
  bool spawn(const std::string& path, int helperIn, int helperOut, std::string& error) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // The helper's ends become 3 and 4; standard input is empty, standard
    // output joins standard error (a host may use its own standard output),
    // and nothing else of the host's is inherited: no other descriptor, and
    // none of the variables that lead to the host's own libraries.
    posix_spawn_file_actions_adddup2(&actions, helperIn, kHelperCommandFd);
    posix_spawn_file_actions_adddup2(&actions, helperOut, kHelperEventFd);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 2, 1);
    posix_spawn_file_actions_addclosefrom_np(&actions, kHelperEventFd + 1);
    // Default signal handling and its own process group: a terminal's ^C
    // goes to the host, which then closes the editor in order.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    std::vector<std::string> environment = webViewHelperEnvironment(environ);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int result = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
      error = "web view helper '" + path + "' did not start: " + std::strerror(result);
      return false;
    }
    pid_ = pid;
    return true;
  }

  void onRunLoopFdReady(int) override {
    bool destroyed = false;
    destroyed_ = &destroyed;
    bool ended = false;
    char chunk[65536];
    size_t total = 0;
    while (fromHelper_ >= 0 && total < kReadBudget) {
      const ssize_t got = ::read(fromHelper_, chunk, sizeof chunk);
      if (got > 0) {
        reader_.append(chunk, static_cast<size_t>(got));
        total += static_cast<size_t>(got);
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      ended = true;  // end of file, or the descriptor failed
      break;
    }
    std::string line;
    while (!failed_ && reader_.next(line)) {
      handleLine(line);
      if (destroyed) return;
    }
    destroyed_ = nullptr;
    if (ended && !failed_) {
      fail(ready_ ? "webview helper exited" : "webview allocation failed");
      report();
    }
  }

  void handleLine(const std::string& line) {
    WebViewPipeMessage m;
    if (!parseWebViewPipeLine(line, m)) {
      std::fprintf(stderr,
                   "orbel-plugin-shell: web view helper sent a malformed line (%zu bytes)\n",
                   line.size());
      return;
    }
    switch (m.kind) {
      case WebViewPipeKind::Message:
        events_.onWebViewMessage(m.text);
        break;
      case WebViewPipeKind::Request:
        events_.onWebViewRequest(m.id, m.text);
        break;
      case WebViewPipeKind::Frame:
        events_.onWebViewFrame(m.id);
        break;
      case WebViewPipeKind::Ready:
        ready_ = true;
        break;
      case WebViewPipeKind::Failed:
        std::fprintf(stderr, "orbel-plugin-shell: web view helper: %s\n", m.text.c_str());
        // Before it was ready the web view never existed.
        fail(ready_ && !m.text.empty() ? m.text : std::string("webview allocation failed"));
        report();
        break;
      default:
        break;  // the plug-in's own kinds
    }
  }

  void onRunLoopTimer() override {
    bool destroyed = false;
    destroyed_ = &destroyed;
    if (!failed_) flush();
    if (!reportPending_ && failed_ && pid_ != 0) {
      if (childProcessReaped(pid_)) {
        pid_ = 0;
      } else if (SteadyClock::now() - failedAt_ > std::chrono::milliseconds(kExitGraceMs)) {
        ::kill(pid_, SIGKILL);
      }
    }
    destroyed_ = nullptr;
    if (reportPending_) {
      report();
      return;
    }
    updateTimer();
  }

  void send(const WebViewPipeMessage& m) {
    if (failed_) return;
    std::string line;
    appendWebViewPipeLine(line, m);
    if (!queue_.push(line)) {
      fail("webview helper stopped reading");
      return;
    }
    flush();
  }

  void flush() {
    if (failed_ || toHelper_ < 0) return;
    if (queue_.flush(toHelper_) == PipeWriteQueue::Flush::Broken)
      fail(ready_ ? "webview helper exited" : "webview allocation failed");
    updateTimer();
  }

  // Marks the helper as gone: no more reading or writing, its end is awaited
  // from the timer. The report follows from the run loop (report()), never
  // from inside a call the owner made.
  void fail(std::string reason) {
    if (failed_) return;
    failed_ = true;
    failedAt_ = SteadyClock::now();
    failure_ = std::move(reason);
    reportPending_ = true;
    if (watching_) loop_.removeFdHandler(*this);
    watching_ = false;
    closeFd(toHelper_);
    closeFd(fromHelper_);
    queue_ = PipeWriteQueue(queueLimit_);
    if (pid_ != 0 && childProcessReaped(pid_)) pid_ = 0;
    updateTimer();
  }

  // Last statement of a run-loop callback: the owner may close this view.
  void report() {
    reportPending_ = false;
    updateTimer();
    events_.onWebViewFailed(failure_);
  }

  void updateTimer() {
    const bool wanted = reportPending_ || (failed_ ? pid_ != 0 : !queue_.empty());
    if (wanted && !timerOn_) timerOn_ = loop_.addTimer(*this, kRetryMs);
    if (!wanted && timerOn_) {
      loop_.removeTimer(*this);
      timerOn_ = false;
    }
  }

  void stopWatching() {
    if (watching_) loop_.removeFdHandler(*this);
    watching_ = false;
    if (timerOn_) loop_.removeTimer(*this);
    timerOn_ = false;
  }

  // Called with the command pipe closed: the helper sees its end and exits.
  // Waits briefly on the host's UI thread; a helper still busy tearing down
  // is killed, and reaped in the background if even that takes a while.
  void finishHelper() {
    if (pid_ == 0) return;
    endChildProcess(pid_, std::chrono::milliseconds(kCloseWaitMs),
                    std::chrono::milliseconds(kKilledWaitMs));
    pid_ = 0;
  }

  RunLoop& loop_;
  WebViewEvents& events_;
  pid_t pid_ = 0;
  int toHelper_ = -1;
  int fromHelper_ = -1;
  bool watching_ = false;
  bool timerOn_ = false;
  bool ready_ = false;
  bool failed_ = false;
  bool reportPending_ = false;
  SteadyClock::time_point failedAt_{};
  std::string failure_;
  PipeLineReader reader_{kWebViewPipeMaxLine};
  size_t queueLimit_ = 0;
  PipeWriteQueue queue_{0};
  bool* destroyed_ = nullptr;
};

}  // namespace

const char* webViewWindowType() { return "X11EmbedWindowID"; }

std::unique_ptr<WebView> openWebView(RunLoop& loop, WebViewEvents& events,
                                     const WebViewSetup& setup, std::string& error) {
  error.clear();
  auto view = std::make_unique<HelperWebView>(loop, events);
  if (!view->start(setup, error)) return nullptr;
  return view;
}

}  // namespace orbel
