// The bridge console's session: page messages from the input (one JSON
// object per line, --send texts first) go to the controller through the
// module's exported deliver function; every announcement comes back through
// the installed sink and is printed as one line; the processor renders in
// real time (or faster) from a timer on the probe's run loop, and the
// plug-in's own cadence clock ticks on that loop too. Everything runs on the
// thread that calls runBridgeSession.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/renderer.h"

namespace orbel {

class PluginInstance;
class ProbeRunLoop;
struct DiagnosticBridgeClient;

struct BridgeSessionOptions {
  std::vector<std::string> sends;
  double sampleRate = 48000.0;
  double speed = 1.0;           // audio time per wall-clock time
  bool endAtEndOfInput = true;  // otherwise the session ends with the audio
  int inputFd = 0;
  std::FILE* out = stdout;  // announcements
  std::FILE* err = stderr;  // skipped lines
};

struct BridgeSessionStats {
  std::size_t delivered = 0;      // messages the controller took
  std::size_t skipped = 0;        // lines that were not one JSON object
  std::size_t announcements = 0;  // lines printed
  bool probeTicked = false;       // the plug-in set no timer; the probe ticked its cadence
};

// The instance must be open (its host context offering `loop`), configured
// and active; `renderer` started. Returns false (with a reason) when the
// session could not run or had to stop early.
bool runBridgeSession(PluginInstance& instance, const DiagnosticBridgeClient& bridge,
                      ProbeRunLoop& loop, BlockRenderer& renderer,
                      const BridgeSessionOptions& options, const RenderSink& audio,
                      BridgeSessionStats& stats, std::string& error);

}  // namespace orbel
