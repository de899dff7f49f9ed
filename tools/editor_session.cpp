#include "tools/editor_session.h"

#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "plugin/editor_status.h"
#include "pluginterfaces/gui/iplugview.h"
#include "tools/param_catalog.h"
#include "tools/plugin_instance.h"
#include "tools/png_writer.h"
#include "tools/probe_run_loop.h"
#include "tools/renderer.h"
#include "tools/x11_host_window.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;
using Clock = std::chrono::steady_clock;

namespace {

// What the page needs after the hello's frame to reach the window.
constexpr auto kScreenshotSettle = std::chrono::milliseconds(250);
// How long the page's process may take to go after the view was removed.
constexpr auto kGoneWait = std::chrono::seconds(3);
// How long a timed session waits for the page to draw at all.
constexpr auto kDrawTimeout = std::chrono::seconds(60);

volatile sig_atomic_t stopSignal = 0;
void onStopSignal(int signal) { stopSignal = signal; }

// The X connection as a descriptor on the probe's run loop.
class FdHandler : public Linux::IEventHandler {
public:
  FdHandler() { FUNKNOWN_CTOR }
  virtual ~FdHandler() { FUNKNOWN_DTOR }
  // Only wakes the loop: the events are taken after every turn, since Xlib
  // may already hold some that the descriptor no longer shows.
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override {}
  DECLARE_FUNKNOWN_METHODS
};
IMPLEMENT_FUNKNOWN_METHODS(FdHandler, Linux::IEventHandler, Linux::IEventHandler::iid)

// The plug frame: lends the run loop and resizes the window when the view
// asks.
class ProbePlugFrame : public IPlugFrame {
public:
  ProbePlugFrame(ProbeRunLoop& loop, X11HostWindow& window) : loop_(loop), window_(window) {}
  virtual ~ProbePlugFrame() = default;

  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) override {
    if (view == nullptr || newSize == nullptr) return kInvalidArgument;
    window_.resize(newSize->getWidth(), newSize->getHeight());
    return view->onSize(newSize);
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
      loop_.addRef();
      *obj = static_cast<Linux::IRunLoop*>(&loop_);
      return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      addRef();
      *obj = static_cast<IPlugFrame*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++refs_; }
  uint32 PLUGIN_API release() override { return --refs_; }  // lives on the session's stack

private:
  ProbeRunLoop& loop_;
  X11HostWindow& window_;
  uint32 refs_ = 1;
};

bool processGone(int pid) { return pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH); }

OrbelEditorStatus statusOf(IPlugView* view) {
  OrbelEditorStatus status;
  IOrbelEditorStatus* source = nullptr;
  if (view->queryInterface(IOrbelEditorStatus::iid, reinterpret_cast<void**>(&source)) ==
          kResultOk &&
      source) {
    source->getEditorStatus(&status);
    source->release();
  }
  return status;
}

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct SignalGuard {
  struct sigaction previousInt {
  }, previousTerm{};
  SignalGuard() {
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
  }
  ~SignalGuard() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
  }
};

void reportEdits(std::FILE* out, const ParamCatalog& catalog,
                 const std::vector<ProbeComponentHandler::EditCall>& calls) {
  auto name = [&](ParamID id) {
    for (const ParamEntry& e : catalog.entries())
      if (e.info.id == id) return e.path.empty() ? e.title : e.path;
    return std::to_string(id);
  };
  if (calls.empty()) {
    std::fprintf(out, "editor: host edits: none\n");
    return;
  }
  // Runs of performEdit are summarised; begin and end are listed as they came.
  size_t i = 0;
  while (i < calls.size()) {
    const auto& call = calls[i];
    if (call.kind != 'p') {
      std::fprintf(out, "editor: host edit: %s %s\n", call.kind == 'b' ? "beginEdit" : "endEdit",
                   name(call.id).c_str());
      ++i;
      continue;
    }
    size_t run = i;
    while (run < calls.size() && calls[run].kind == 'p' && calls[run].id == call.id) ++run;
    std::fprintf(out, "editor: host edit: performEdit %s x%zu (last %.6g)\n", name(call.id).c_str(),
                 run - i, calls[run - 1].value);
    i = run;
  }
}

}  // namespace

bool runEditorSession(PluginInstance& instance, ProbeRunLoop& loop,
                      const EditorSessionOptions& options, std::string& error) {
  std::FILE* out = options.out;
  IEditController* controller = instance.controller();
  if (controller == nullptr) {
    error = "the plug-in has no edit controller";
    return false;
  }
  IPlugView* view = controller->createView(ViewType::kEditor);
  if (view == nullptr) {
    error = "the plug-in has no editor view (createView(\"editor\") gave none)";
    return false;
  }
  struct ViewReleaser {
    IPlugView* view;
    ~ViewReleaser() { view->release(); }
  } releaser{view};
  if (view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue) {
    error = "the editor view does not take an X11 window";
    return false;
  }

  ViewRect rect;
  view->getSize(&rect);
  if (options.width > 0 && options.height > 0) {
    rect = ViewRect(0, 0, options.width, options.height);
    if (view->canResize() == kResultTrue) view->checkSizeConstraint(&rect);
  }
  ViewRect smallest(0, 0, 1, 1), largest(0, 0, 100000, 100000);
  if (view->canResize() != kResultTrue || view->checkSizeConstraint(&smallest) != kResultTrue ||
      view->checkSizeConstraint(&largest) != kResultTrue) {
    smallest = rect;
    largest = rect;
  }
  X11HostWindow window;
  if (!window.open(rect.getWidth(), rect.getHeight(), smallest.getWidth(), smallest.getHeight(),
                   largest.getWidth(), largest.getHeight(), "Mirel editor (orbel-probe)", error))
    return false;
  view->onSize(&rect);

  ParamCatalog catalog;
  catalog.build(controller);
  std::vector<double> before;
  for (const ParamEntry& e : catalog.entries())
    before.push_back(controller->getParamNormalized(e.info.id));

  FdHandler xEvents;
  loop.registerEventHandler(&xEvents, window.connectionFd());
  ProbePlugFrame frame(loop, window);
  view->setFrame(&frame);
  instance.handler().recordCalls(true);
  instance.handler().keepEdits(options.renderer != nullptr);
  SignalGuard signals;

  const Clock::time_point attachedAt = Clock::now();
  const tresult attached =
      view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window.windowId())),
                     kPlatformTypeX11EmbedWindowID);
  if (attached != kResultOk) {
    view->setFrame(nullptr);
    loop.unregisterEventHandler(&xEvents);
    error = "the editor view refused the window (attached answered " + resultText(attached) + ")";
    return false;
  }
  OrbelEditorStatus status = statusOf(view);
  const int pagePid = status.processId;
  std::fprintf(out, "editor: view %dx%d attached to window 0x%llx; page process %d\n",
               rect.getWidth(), rect.getHeight(),
               static_cast<unsigned long long>(window.windowId()), pagePid);
  std::fflush(out);

  // --seconds counts from the drawn page, so a busy machine's slow start
  // does not eat the session; a page that never draws ends it after
  // kDrawTimeout.
  const auto open = options.seconds ? std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(*options.seconds))
                                    : Clock::duration::max();
  Clock::time_point end = options.seconds ? attachedAt + kDrawTimeout : Clock::time_point::max();
  bool drawn = false, shot = false, failureShown = false;
  Clock::time_point drawnAt{};
  const char* why = "time is up";
  bool ok = true;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= end) break;
    if (stopSignal != 0) {
      why = stopSignal == SIGINT ? "interrupted" : "terminated";
      break;
    }
    loop.runOnce(std::min(end, now + std::chrono::milliseconds(options.renderer ? 5 : 50)));
    if (options.renderer != nullptr) {
      // Real time: every block that is due, with the page's edits since the
      // last one, as a host forwards its editor's edits.
      const double due =
          std::chrono::duration<double>(Clock::now() - attachedAt).count() * options.sampleRate;
      for (int n = 0; n < 64 && static_cast<double>(options.renderer->position()) < due; ++n) {
        for (const auto& [id, value] : instance.handler().takeEdits())
          options.renderer->addChange(id, value);
        if (!options.renderer->renderNext()) break;
      }
    }
    const X11HostWindow::Events events = window.pump();
    if (events.closeRequested) {
      why = "window closed";
      break;
    }
    if (events.resized) {
      ViewRect size(0, 0, events.width, events.height);
      if (view->checkSizeConstraint(&size) == kResultTrue &&
          (size.getWidth() != events.width || size.getHeight() != events.height))
        window.resize(size.getWidth(), size.getHeight());
      view->onSize(&size);
    }
    status = statusOf(view);
    if (status.failure[0] != 0 && !failureShown) {
      failureShown = true;
      std::fprintf(out, "editor: error: %s\n", status.failure);
      std::fflush(out);
    }
    if (!drawn && status.hellosDrawn > 0) {
      drawn = true;
      drawnAt = Clock::now();
      if (options.seconds) end = drawnAt + open;
      std::fprintf(out,
                   "editor: hello drawn %.1f ms after attached (page requested after %.1f ms)\n",
                   status.firstHelloDrawnAtMs - status.attachedAtMs,
                   status.pageRequestedAtMs - status.attachedAtMs);
      std::fflush(out);
    }
    if (drawn && !shot && !options.screenshotPath.empty() &&
        Clock::now() - drawnAt >= kScreenshotSettle) {
      shot = true;
      std::vector<uint8_t> rgb;
      int width = 0, height = 0;
      std::string why2;
      if (!window.capture(rgb, width, height) ||
          !writePng(options.screenshotPath, rgb, width, height, why2)) {
        error = why2.empty() ? "the window could not be read for the screenshot" : why2;
        ok = false;
        break;
      }
      std::fprintf(out, "editor: screenshot %s (%dx%d)\n", options.screenshotPath.c_str(), width,
                   height);
      std::fflush(out);
    }
  }
  std::fprintf(out, "editor: closing (%s) after %.1f s\n", why, msSince(attachedAt) / 1000.0);

  reportEdits(out, catalog, instance.handler().calls());
  instance.handler().recordCalls(false);
  instance.handler().keepEdits(false);
  for (size_t i = 0; i < catalog.entries().size(); ++i) {
    const ParamEntry& e = catalog.entries()[i];
    const double now = controller->getParamNormalized(e.info.id);
    if (now != before[i])
      std::fprintf(out, "editor: parameter %s: %.6g -> %.6g (%s)\n",
                   e.path.empty() ? e.title.c_str() : e.path.c_str(), before[i], now,
                   catalog.displayText(e.info.id, now).c_str());
  }

  const Clock::time_point removing = Clock::now();
  view->removed();
  const Clock::time_point removedAt = Clock::now();
  view->setFrame(nullptr);
  loop.unregisterEventHandler(&xEvents);
  std::fprintf(out, "editor: removed in %.1f ms\n",
               std::chrono::duration<double, std::milli>(removedAt - removing).count());
  while (!processGone(pagePid) && Clock::now() - removedAt < kGoneWait)
    loop.runOnce(Clock::now() + std::chrono::milliseconds(10));
  if (processGone(pagePid)) {
    std::fprintf(out, "editor: page process %d gone %.1f ms after removed\n", pagePid,
                 msSince(removedAt));
  } else {
    std::fprintf(out, "editor: page process %d still running after removed\n", pagePid);
    if (ok) error = "the page's process outlived the editor view";
    ok = false;
  }
  if (ok && !options.screenshotPath.empty() && !shot) {
    error = drawn ? "the session ended before the screenshot"
                  : "the page never drew the hello, so no screenshot";
    ok = false;
  }
  std::fflush(out);
  return ok;
}

}  // namespace orbel
