#include "tools/bridge_session.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

#include "json/json_read.h"
#include "json/line_safe.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "tools/diagnostic_bridge_client.h"
#include "tools/line_reader.h"
#include "tools/plugin_instance.h"
#include "tools/probe_run_loop.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Linux;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxLineBytes = 16u << 20;
constexpr uint64 kCadenceMs = 33;  // 30 Hz, as a host's editor timer
constexpr int kMaxBlocksPerFiring = 64;

// Handlers that live on the session's stack: the loop's references are
// bookkeeping only.
template <typename Interface>
class StackHandler : public Interface {
public:
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, Interface::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<Interface*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

class Session {
public:
  Session(PluginInstance& instance, const DiagnosticBridgeClient& bridge, ProbeRunLoop& loop,
          BlockRenderer& renderer, const BridgeSessionOptions& options, const RenderSink& audio,
          BridgeSessionStats& stats)
      : instance_(instance),
        bridge_(bridge),
        loop_(loop),
        renderer_(renderer),
        options_(options),
        audio_(audio),
        stats_(stats),
        input_(kMaxLineBytes) {}

  bool run(std::string& error) {
    FUnknown* controller = instance_.controller();
    if (bridge_.installSink(controller, &Session::announce, this) != 1) {
      error = "the module refused the bridge sink for its controller";
      return false;
    }
    instance_.handler().keepEdits(true);
    for (std::size_t i = 0; i < options_.sends.size() && !stopping_; ++i)
      deliverLine(options_.sends[i], "--send " + std::to_string(i + 1));

    // A plug-in that set no clock on the loop is ticked by the probe, as a
    // host's editor timer would.
    if (loop_.timerCount() == 0) {
      stats_.probeTicked = loop_.registerTimer(&ticker_, kCadenceMs) == kResultOk;
    }
    started_ = Clock::now();
    loop_.registerTimer(&audioTimer_, audioTimerMs());
    watchingInput_ = loop_.registerEventHandler(&inputWatcher_, options_.inputFd) == kResultOk;
    if (!watchingInput_) endOfInput();

    while (!stopping_) loop_.runOnce(Clock::now() + std::chrono::milliseconds(100));

    if (watchingInput_) loop_.unregisterEventHandler(&inputWatcher_);
    loop_.unregisterTimer(&audioTimer_);
    if (stats_.probeTicked) loop_.unregisterTimer(&ticker_);
    instance_.handler().keepEdits(false);
    bridge_.installSink(controller, nullptr, nullptr);
    if (!failure_.empty()) {
      error = failure_;
      return false;
    }
    return true;
  }

private:
  class InputWatcher : public StackHandler<IEventHandler> {
  public:
    explicit InputWatcher(Session& s) : session(s) {}
    void PLUGIN_API onFDIsSet(FileDescriptor) override { session.readInput(); }
    Session& session;
  };
  class AudioTimer : public StackHandler<ITimerHandler> {
  public:
    explicit AudioTimer(Session& s) : session(s) {}
    void PLUGIN_API onTimer() override { session.renderDueBlocks(); }
    Session& session;
  };
  class Ticker : public StackHandler<ITimerHandler> {
  public:
    explicit Ticker(Session& s) : session(s) {}
    void PLUGIN_API onTimer() override { session.bridge_.tick(session.instance_.controller()); }
    Session& session;
  };

  static void announce(void* context, const char* data, std::size_t length) {
    auto* self = static_cast<Session*>(context);
    std::string line = lineSafeJson(std::string_view(data, length));
    line += '\n';
    if (std::fwrite(line.data(), 1, line.size(), self->options_.out) != line.size() ||
        std::fflush(self->options_.out) != 0) {
      self->stop("cannot write to standard output");
      return;
    }
    ++self->stats_.announcements;
  }

  uint64 audioTimerMs() const {
    const double blockSeconds = static_cast<double>(renderer_.blockFrames()) / options_.sampleRate;
    const double ms = std::floor(blockSeconds * 1000.0 / options_.speed);
    return static_cast<uint64>(std::clamp(ms, 1.0, 50.0));
  }

  void deliverLine(std::string_view text, const std::string& where) {
    if (text.find_first_not_of(" \t\r") == std::string_view::npos)
      return;  // blank lines are nothing
    if (!isOneJsonObject(text.data(), text.size())) {
      ++stats_.skipped;
      std::fprintf(options_.err, "orbel-probe: %s: not one JSON object; skipped\n", where.c_str());
      return;
    }
    if (bridge_.deliver(instance_.controller(), text.data(), text.size()) != 1) {
      stop("the module refused a message for its controller");
      return;
    }
    ++stats_.delivered;
  }

  void readInput() {
    char buffer[65536];
    const ssize_t got = ::read(options_.inputFd, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return;
    const auto onLine = [this](const InputLine& line) {
      const std::string where = "input line " + std::to_string(line.number);
      if (line.tooLong) {
        ++stats_.skipped;
        std::fprintf(options_.err, "orbel-probe: %s: longer than %zu bytes; skipped\n",
                     where.c_str(), kMaxLineBytes);
        return;
      }
      if (!stopping_) deliverLine(line.text, where);
    };
    if (got > 0) {
      input_.feed(buffer, static_cast<std::size_t>(got), onLine);
      return;
    }
    input_.finish(onLine);
    loop_.unregisterEventHandler(&inputWatcher_);
    watchingInput_ = false;
    endOfInput();
  }

  void endOfInput() {
    if (options_.endAtEndOfInput) stop({});
  }

  void renderDueBlocks() {
    const double elapsed = std::chrono::duration<double>(Clock::now() - started_).count();
    const double due = elapsed * options_.sampleRate * options_.speed;
    for (int n = 0; n < kMaxBlocksPerFiring && !stopping_; ++n) {
      if (renderer_.finished()) {
        stop({});
        return;
      }
      if (static_cast<double>(renderer_.position()) >= due) return;
      // What the page edited since the last block reaches the processor with
      // this one, as a host forwards its editor's edits.
      for (const auto& [id, value] : instance_.handler().takeEdits())
        renderer_.addChange(id, value);
      renderer_.renderNext();
      std::string why;
      if (!audio_(renderer_.interleaved(), renderer_.lastFrames(), why)) {
        stop(why);
        return;
      }
    }
  }

  void stop(const std::string& failure) {
    if (!failure.empty() && failure_.empty()) failure_ = failure;
    stopping_ = true;
  }

  PluginInstance& instance_;
  const DiagnosticBridgeClient& bridge_;
  ProbeRunLoop& loop_;
  BlockRenderer& renderer_;
  const BridgeSessionOptions& options_;
  const RenderSink& audio_;
  BridgeSessionStats& stats_;
  LineReader input_;
  InputWatcher inputWatcher_{*this};
  AudioTimer audioTimer_{*this};
  Ticker ticker_{*this};
  Clock::time_point started_;
  bool watchingInput_ = false;
  bool stopping_ = false;
  std::string failure_;
};

}  // namespace

bool runBridgeSession(PluginInstance& instance, const DiagnosticBridgeClient& bridge,
                      ProbeRunLoop& loop, BlockRenderer& renderer,
                      const BridgeSessionOptions& options, const RenderSink& audio,
                      BridgeSessionStats& stats, std::string& error) {
  stats = BridgeSessionStats{};
  if (instance.controller() == nullptr) {
    error = "the plug-in has no edit controller to talk to";
    return false;
  }
  Session session(instance, bridge, loop, renderer, options, audio, stats);
  return session.run(error);
}

}  // namespace orbel
