// The probe's command line: commands, render options and the small
// grammars of --note, --set and --auto. Parsing only; names and values are
// resolved against the loaded module later.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/transport_spec.h"
#include "tools/wav_writer.h"

namespace orbel {

// NOTE@START:DURATION[:VELOCITY], times in seconds. The velocity is a
// fraction 0 < x <= 1, or a MIDI velocity written v=1..v=127.
struct NoteSpec {
  int pitch = 60;
  double startSeconds = 0.0;
  double durationSeconds = 0.0;
  double velocity = 0.8;  // 0 < velocity <= 1
};

// --set PATH=VALUE: VALUE is a plain value, an option text or an option index.
struct ParamSetting {
  std::string path;
  std::string value;
};

// --auto PATH@SECONDS=VALUE.
struct AutomationSpec {
  std::string path;
  double seconds = 0.0;
  std::string value;
};

struct RenderOptions {
  std::string outPath;  // required by render; bridge records only when given
  double sampleRate = 48000.0;
  long blockSize = 512;
  std::vector<NoteSpec> notes;
  std::vector<ParamSetting> settings;
  std::vector<AutomationSpec> automation;
  std::string loadStatePath;
  std::string saveStatePath;
  std::string midiPath;
  std::optional<double> seconds;
  WavFormat format = WavFormat::Float32;
  TransportSpec transport;
};

// The bridge console's own options; the audio side takes RenderOptions.
struct BridgeOptions {
  std::vector<std::string> sends;  // --send: page messages delivered before the input's
  double speed = 1.0;              // audio time per wall-clock time
};

// The editor session's own options (--seconds is the render option's).
struct EditorOptions {
  std::string screenshotPath;  // --screenshot FILE.png
  int width = 0;               // --size WxH; 0: the view's own size
  int height = 0;
};

enum class ProbeCommandKind { Help, Info, Params, Render, Bridge, Editor };

struct ProbeCommand {
  ProbeCommandKind kind = ProbeCommandKind::Help;
  std::string bundlePath;
  RenderOptions render;
  BridgeOptions bridge;
  EditorOptions editor;
};

// Whole-token number parsing (no trailing text, no NaN or infinity).
bool parseNumber(std::string_view text, double& value);

bool parseNote(std::string_view text, NoteSpec& note, std::string& error);
bool parseSetting(std::string_view text, ParamSetting& setting, std::string& error);
bool parseAutomation(std::string_view text, AutomationSpec& point, std::string& error);
// TEMPO[:NUM/DEN][:play|stop], e.g. 128:3/4:play.
bool parseTransport(std::string_view text, TransportSpec& transport, std::string& error);

// Parses argv[1..]; on failure returns false with a one-line reason.
bool parseCommandLine(int argc, const char* const* argv, ProbeCommand& command, std::string& error);

// The --help text.
const char* probeUsage();

}  // namespace orbel
