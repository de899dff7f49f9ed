// The editor's speed, as a host and a musician meet it. Needs an X display
// (tests/support/with_xvfb.sh build/bench/bench_editor).
//   BM_EditorColdOpen   the built module's editor: from attached to the
//                       hello drawn by the page (the view's own clock), a
//                       new window and a new helper each time
//   BM_EditorRoundTrip  page → controller → page: "orbel.getState" posted
//                       by a page, answered by a real controller with
//                       "orbel.state", timed in the page (batches of ten
//                       round trips, as the page's clock is coarse)
//   BM_EditorIdleCpu    CPU of the helper and WebKit's processes with the
//                       real page open and idle (no audio, transport
//                       stopped), and of the host side, over ten seconds
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "editor/bridged_web_view.h"
#include "json/json_read.h"
#include "platform/linux/host_run_loop.h"
#include "plugin/controller.h"
#include "plugin/editor_status.h"
#include "pluginterfaces/gui/iplugview.h"
#include "sdk/hosting/host_classes.h"
#include "tools/factory_info.h"
#include "tools/module_loader.h"
#include "tools/plugin_instance.h"
#include "tools/probe_run_loop.h"
#include "tools/x11_host_window.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using Clock = std::chrono::steady_clock;

namespace {

class Frame : public IPlugFrame {
public:
  explicit Frame(orbel::ProbeRunLoop& loop) : loop_(loop) {}
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
  orbel::ProbeRunLoop& loop_;
};

bool turnUntil(orbel::ProbeRunLoop& loop, orbel::X11HostWindow& window,
               const std::function<bool()>& done, double seconds) {
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(seconds));
  while (!done()) {
    if (Clock::now() > end) return false;
    loop.runOnce(std::min(end, Clock::now() + std::chrono::milliseconds(10)));
    window.pump();
  }
  return true;
}

orbel::OrbelEditorStatus statusOf(IPlugView* view) {
  orbel::OrbelEditorStatus status;
  orbel::IOrbelEditorStatus* source = nullptr;
  if (view->queryInterface(orbel::IOrbelEditorStatus::iid, reinterpret_cast<void**>(&source)) ==
      kResultOk) {
    source->getEditorStatus(&status);
    source->release();
  }
  return status;
}

bool haveDisplay(benchmark::State& state) {
  if (std::getenv("DISPLAY") != nullptr) return true;
  state.SkipWithError("no X display: run through tests/support/with_xvfb.sh");
  return false;
}

// The built module as a host holds it, with one editor view.
struct Editor {
  orbel::ProbeRunLoop loop;
  Frame frame{loop};
  orbel::VstModule module;
  orbel::FactoryInfo info;
  orbel::PluginInstance instance;
  IPlugView* view = nullptr;
  orbel::X11HostWindow window;
  std::string error;

  bool open() {
    if (!module.load(ORBEL_BENCH_BUNDLE, error) ||
        !orbel::readFactoryInfo(module.factory(), info, error))
      return false;
    const orbel::FactoryClass* audio = orbel::findClass(info, kVstAudioEffectClass);
    if (audio == nullptr || !instance.open(module.factory(), *audio, error)) return false;
    view = instance.controller()->createView(ViewType::kEditor);
    if (view == nullptr) return false;
    view->setFrame(&frame);
    return true;
  }
  // A new window with the view in it, drawn; false after `seconds`.
  bool show(double seconds = 60) {
    if (!window.open(720, 560, 480, 360, 1400, 1000, "bench", error)) return false;
    if (view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window.windowId())),
                       kPlatformTypeX11EmbedWindowID) != kResultOk)
      return false;
    return turnUntil(
        loop, window, [&] { return statusOf(view).hellosDrawn > 0; }, seconds);
  }
  void hide() {
    view->removed();
    window.close();
  }
  ~Editor() {
    if (view != nullptr) {
      view->removed();
      view->setFrame(nullptr);
      view->release();
    }
    instance.close();
    module.unload();
  }
};

void BM_EditorColdOpen(benchmark::State& state) {
  if (!haveDisplay(state)) return;
  Editor editor;
  if (!editor.open()) {
    state.SkipWithError(("the editor did not open: " + editor.error).c_str());
    return;
  }
  for (auto _ : state) {
    if (!editor.show()) {
      state.SkipWithError("the page did not draw the hello");
      break;
    }
    const orbel::OrbelEditorStatus status = statusOf(editor.view);
    state.SetIterationTime((status.firstHelloDrawnAtMs - status.attachedAtMs) / 1000.0);
    // The part before the page's first request: the helper's and WebKit's
    // processes starting.
    state.counters["startup_ms"] = status.pageRequestedAtMs - status.attachedAtMs;
    editor.hide();
  }
}
BENCHMARK(BM_EditorColdOpen)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// The round-trip page: batches of ten "orbel.getState" → "orbel.state",
// timed with performance.now(); the results come back as one message.
constexpr const char* kRoundTripPage = R"(<!doctype html><meta charset="utf-8"><body><script>
const BATCH = 10, SAMPLES = 80;
const samples = [];
let left = 0, started = 0;
let step = Infinity;
for (let i = 0, a = performance.now(); i < 100000; ++i) {
  const b = performance.now();
  if (b > a) { step = Math.min(step, b - a); a = b; }
}
function batch() {
  if (samples.length === SAMPLES) {
    window.orbelHost.postMessage({ type: 'bench.samples', ms: samples, clockStepMs: step });
    return;
  }
  left = BATCH;
  started = performance.now();
  window.orbelHost.postMessage({ type: 'orbel.getState' });
}
window.orbelHost.onMessage((message) => {
  if (message.type !== 'orbel.state') return;
  if (--left > 0) { window.orbelHost.postMessage({ type: 'orbel.getState' }); return; }
  samples.push((performance.now() - started) / BATCH);
  setTimeout(batch, 0);
});
setTimeout(batch, 200);
</script></body>)";

// The controller's BridgeHost as the web view sees it, except that the
// page's results stop here.
class BenchHost : public orbel::BridgeHost {
public:
  explicit BenchHost(orbel::OrbelController* controller) : controller_(controller) {}
  void handleBridgeMessage(const char* data, size_t length) override {
    const std::string text(data, length);
    if (text.rfind("{\"type\":\"bench.samples\"", 0) == 0) {
      orbel::JsonValue value;
      if (orbel::parseJsonDocument(std::vector<uint8_t>(text.begin(), text.end()), value)) {
        if (const orbel::JsonValue* ms = value.find("ms"))
          for (const orbel::JsonValue& sample : ms->items) samples.push_back(sample.number);
        if (const orbel::JsonValue* step = value.find("clockStepMs")) clockStepMs = step->number;
      }
      done = true;
      return;
    }
    controller_->handleBridgeMessage(data, length);
  }
  void setBridgeSink(std::function<void(const std::string&)> sink) override {
    controller_->setBridgeSink(sink);
  }
  void onEditorOpened() override { controller_->onEditorOpened(); }
  void onEditorClosed() override { controller_->onEditorClosed(); }
  void onEditorError(const char* reason) override { controller_->onEditorError(reason); }

  std::vector<double> samples;
  double clockStepMs = 0;
  bool done = false;

private:
  orbel::OrbelController* controller_;
};

void BM_EditorRoundTrip(benchmark::State& state) {
  if (!haveDisplay(state)) return;
  char pattern[] = "/tmp/orbel-bench-page-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return;
  const std::string root = pattern;
  std::ofstream(root + "/index.html") << kRoundTripPage;

  orbel::hosting::HostApplication context;
  auto* controller = new orbel::OrbelController();
  controller->initialize(&context);
  orbel::ProbeRunLoop loop;
  orbel::X11HostWindow window;
  std::string error;
  if (!window.open(720, 560, 480, 360, 1400, 1000, "bench", error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  {
    auto hostLoop = std::make_shared<orbel::HostRunLoop>(&loop);
    BenchHost host(controller);
    orbel::BridgedWebView::Placement placement;
    placement.parentWindow = window.windowId();
    placement.width = 720;
    placement.height = 560;
    placement.helperPath = std::string(ORBEL_BENCH_BUNDLE) + "/Contents/x86_64-linux/orbel-webview";
    std::unique_ptr<orbel::BridgedWebView> page =
        orbel::BridgedWebView::open(&host, root, placement, *hostLoop);
    const bool finished = page && turnUntil(
                                      loop, window, [&] { return host.done; }, 120);
    page.reset();
    if (!finished || host.samples.empty()) {
      state.SkipWithError("the page's samples did not come");
    } else {
      size_t next = 0;
      for (auto _ : state) {
        state.SetIterationTime(host.samples[next++ % host.samples.size()] / 1000.0);
      }
      std::vector<double> sorted = host.samples;
      std::sort(sorted.begin(), sorted.end());
      state.counters["median_us"] = 1000.0 * sorted[sorted.size() / 2];
      state.counters["p90_us"] = 1000.0 * sorted[sorted.size() * 9 / 10];
      state.counters["page_clock_step_ms"] = host.clockStepMs;
    }
  }
  window.close();
  controller->terminate();
  controller->release();
  std::remove((root + "/index.html").c_str());
  ::rmdir(root.c_str());
}
BENCHMARK(BM_EditorRoundTrip)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(80)
    ->Repetitions(1);

// utime + stime of a process in clock ticks, and its children's pids.
long cpuTicks(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) {
      stime = std::stol(field);
      break;
    }
  }
  return utime + stime;
}

std::vector<int> childrenOf(int pid) {
  std::vector<int> out;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* dir = ::opendir(tasks.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream in(tasks + "/" + entry->d_name + "/children");
      for (int child; in >> child;) out.push_back(child);
    }
    ::closedir(dir);
  }
  return out;
}

double selfCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_EditorIdleCpu(benchmark::State& state) {
  if (!haveDisplay(state)) return;
  Editor editor;
  if (!editor.open() || !editor.show()) {
    state.SkipWithError(("the editor did not open: " + editor.error).c_str());
    return;
  }
  const int helper = statusOf(editor.view).processId;
  // Let the page settle (its start-up timers, first paints).
  turnUntil(
      editor.loop, editor.window, [] { return false; }, 2.0);
  const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
  for (auto _ : state) {
    std::vector<int> processes = childrenOf(helper);
    processes.push_back(helper);
    long before = 0;
    for (int pid : processes) before += cpuTicks(pid);
    const double hostBefore = selfCpuSeconds();
    const auto start = Clock::now();
    turnUntil(
        editor.loop, editor.window, [] { return false; }, 10.0);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    long after = 0;
    for (int pid : processes) after += cpuTicks(pid);
    state.SetIterationTime(wall);
    state.counters["helper_cpu_percent"] = 100.0 * (after - before) / tick / wall;
    state.counters["host_cpu_percent"] = 100.0 * (selfCpuSeconds() - hostBefore) / wall;
    state.counters["processes"] = static_cast<double>(processes.size());
  }
}
BENCHMARK(BM_EditorIdleCpu)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Repetitions(1);

}  // namespace

BENCHMARK_MAIN();
