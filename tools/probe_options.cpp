#include "tools/probe_options.h"

#include <charconv>
#include <cmath>

namespace orbel {

bool parseNumber(std::string_view text, double& value) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (*first == '+') ++first;  // from_chars does not take a leading plus
  if (first == last) return false;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || end != last || !std::isfinite(v)) return false;
  value = v;
  return true;
}

namespace {

// The ':'-separated fields of `text` (at least one); false for more than three.
bool splitFields(std::string_view text, std::string_view (&fields)[3], int& count) {
  count = 0;
  for (;;) {
    const auto colon = text.find(':');
    if (count == 3) return false;
    fields[count++] = text.substr(0, colon);
    if (colon == std::string_view::npos) return true;
    text = text.substr(colon + 1);
  }
}

// A note's velocity in one of two forms that cannot be mistaken for each
// other: a fraction 0 < x <= 1, or "v=N" with a whole MIDI velocity 1..127.
bool parseVelocity(std::string_view text, double& velocity) {
  double v = 0;
  if (text.size() > 2 && text.substr(0, 2) == "v=") {
    if (!parseNumber(text.substr(2), v) || v != std::floor(v) || v < 1 || v > 127) return false;
    velocity = v / 127.0;
    return true;
  }
  if (!parseNumber(text, v) || !(v > 0) || v > 1) return false;
  velocity = v;
  return true;
}

}  // namespace

bool parseNote(std::string_view text, NoteSpec& note, std::string& error) {
  const std::string shown(text);
  const auto at = text.find('@');
  if (at == std::string_view::npos) {
    error = "bad --note '" + shown + "': expected PITCH@START:DURATION[:VELOCITY]";
    return false;
  }
  std::string_view fields[3];
  int count = 0;
  if (!splitFields(text.substr(at + 1), fields, count)) {
    error = "bad --note '" + shown + "': too many fields";
    return false;
  }
  if (count < 2) {
    error = "bad --note '" + shown + "': expected PITCH@START:DURATION[:VELOCITY]";
    return false;
  }
  double pitch = 0, start = 0, duration = 0, velocity = 0.8;
  if (!parseNumber(text.substr(0, at), pitch) || pitch != std::floor(pitch) || pitch < 0 ||
      pitch > 127) {
    error = "bad --note '" + shown + "': the pitch must be a whole number from 0 to 127";
    return false;
  }
  if (!parseNumber(fields[0], start) || start < 0) {
    error = "bad --note '" + shown + "': the start must be a number of seconds, 0 or more";
    return false;
  }
  if (!parseNumber(fields[1], duration) || duration <= 0) {
    error = "bad --note '" + shown + "': the duration must be a number of seconds above 0";
    return false;
  }
  if (count == 3 && !parseVelocity(fields[2], velocity)) {
    error = "bad --note '" + shown +
            "': the velocity is a fraction above 0 and at most 1 (0.8), or a MIDI "
            "velocity written v=1..v=127 (v=100)";
    return false;
  }
  note.pitch = static_cast<int>(pitch);
  note.startSeconds = start;
  note.durationSeconds = duration;
  note.velocity = velocity;
  return true;
}

bool parseSetting(std::string_view text, ParamSetting& setting, std::string& error) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0 || eq + 1 == text.size()) {
    error = "bad --set '" + std::string(text) + "': expected PATH=VALUE";
    return false;
  }
  setting.path = std::string(text.substr(0, eq));
  setting.value = std::string(text.substr(eq + 1));
  return true;
}

bool parseAutomation(std::string_view text, AutomationSpec& point, std::string& error) {
  const std::string shown(text);
  const auto at = text.find('@');
  const auto eq = text.find('=', at == std::string_view::npos ? 0 : at);
  if (at == std::string_view::npos || at == 0 || eq == std::string_view::npos ||
      eq + 1 == text.size()) {
    error = "bad --auto '" + shown + "': expected PATH@SECONDS=VALUE";
    return false;
  }
  double seconds = 0;
  if (!parseNumber(text.substr(at + 1, eq - at - 1), seconds) || seconds < 0) {
    error = "bad --auto '" + shown + "': the time must be a number of seconds, 0 or more";
    return false;
  }
  point.path = std::string(text.substr(0, at));
  point.seconds = seconds;
  point.value = std::string(text.substr(eq + 1));
  return true;
}

bool parseTransport(std::string_view text, TransportSpec& transport, std::string& error) {
  const std::string shown(text);
  TransportSpec parsed;
  std::string_view fields[3];
  int count = 0;
  if (!splitFields(text, fields, count)) {
    error = "bad --transport '" + shown + "': too many fields";
    return false;
  }
  if (!parseNumber(fields[0], parsed.tempo) || parsed.tempo <= 0 || parsed.tempo > 999) {
    error = "bad --transport '" + shown +
            "': the tempo must be above 0 and at most 999 beats per minute";
    return false;
  }
  for (int i = 1; i < count; ++i) {
    const std::string_view field = fields[i];
    if (field == "play" || field == "stop") {
      parsed.playing = field == "play";
      continue;
    }
    const auto slash = field.find('/');
    double numerator = 0, denominator = 0;
    if (slash == std::string_view::npos || !parseNumber(field.substr(0, slash), numerator) ||
        !parseNumber(field.substr(slash + 1), denominator) || numerator != std::floor(numerator) ||
        denominator != std::floor(denominator) || numerator < 1 || numerator > 64 ||
        denominator < 1 || denominator > 64) {
      error = "bad --transport '" + shown +
              "': expected TEMPO[:NUM/DEN][:play|stop], e.g. 128:3/4:play";
      return false;
    }
    parsed.numerator = static_cast<int32_t>(numerator);
    parsed.denominator = static_cast<int32_t>(denominator);
  }
  transport = parsed;
  return true;
}

namespace {

bool takeValue(int argc, const char* const* argv, int& i, std::string& value, std::string& error) {
  if (i + 1 >= argc) {
    error = std::string("option ") + argv[i] + " needs a value";
    return false;
  }
  value = argv[++i];
  return true;
}

bool parseBridgeOption(std::string_view opt, const std::string& value, BridgeOptions& b,
                       std::string& error) {
  if (opt == "--send") {
    b.sends.push_back(value);
    return true;
  }
  if (!parseNumber(value, b.speed) || b.speed < 1 || b.speed > 1000) {
    error = "bad --speed '" + value + "': expected how many times real time, from 1 to 1000";
    return false;
  }
  return true;
}

bool parseEditorOption(int argc, const char* const* argv, int& i, ProbeCommand& command,
                       std::string& error) {
  const std::string_view opt = argv[i];
  if (opt != "--screenshot" && opt != "--size" && opt != "--seconds") {
    error = "unknown option '" + std::string(opt) + "' for 'editor'";
    return false;
  }
  std::string value;
  if (!takeValue(argc, argv, i, value, error)) return false;
  if (opt == "--screenshot") {
    command.editor.screenshotPath = value;
    return true;
  }
  if (opt == "--seconds") {
    double seconds = 0;
    if (!parseNumber(value, seconds) || seconds <= 0 || seconds > 86400) {
      error = "bad --seconds '" + value + "': expected a time above 0 and at most 86400 seconds";
      return false;
    }
    command.render.seconds = seconds;
    return true;
  }
  const auto x = value.find('x');
  double width = 0, height = 0;
  if (x == std::string::npos || !parseNumber(std::string_view(value).substr(0, x), width) ||
      !parseNumber(std::string_view(value).substr(x + 1), height) || width != std::floor(width) ||
      height != std::floor(height) || width < 1 || height < 1 || width > 16384 || height > 16384) {
    error = "bad --size '" + value + "': expected WIDTHxHEIGHT in pixels, e.g. 1400x1000";
    return false;
  }
  command.editor.width = static_cast<int>(width);
  command.editor.height = static_cast<int>(height);
  return true;
}

bool parseRenderOption(int argc, const char* const* argv, int& i, ProbeCommand& command,
                       std::string& error) {
  const std::string_view opt = argv[i];
  static constexpr std::string_view known[] = {
      "--out",     "-o",       "--load-state", "--save-state", "--midi", "--rate",     "--block",
      "--seconds", "--format", "--note",       "--set",        "--auto", "--transport"};
  static constexpr std::string_view bridgeOnly[] = {"--send", "--speed"};
  bool isKnown = false, isBridge = false;
  for (std::string_view k : known) isKnown = isKnown || k == opt;
  for (std::string_view k : bridgeOnly) isBridge = isBridge || k == opt;
  if (!isKnown && !(isBridge && command.kind == ProbeCommandKind::Bridge)) {
    error = "unknown option '" + std::string(opt) + "'";
    return false;
  }
  std::string value;
  if (!takeValue(argc, argv, i, value, error)) return false;
  if (isBridge) return parseBridgeOption(opt, value, command.bridge, error);
  RenderOptions& r = command.render;
  if (opt == "--transport") return parseTransport(value, r.transport, error);
  if (opt == "--out" || opt == "-o") {
    r.outPath = value;
    return true;
  }
  if (opt == "--load-state") {
    r.loadStatePath = value;
    return true;
  }
  if (opt == "--save-state") {
    r.saveStatePath = value;
    return true;
  }
  if (opt == "--midi") {
    r.midiPath = value;
    return true;
  }
  if (opt == "--rate") {
    if (!parseNumber(value, r.sampleRate) || r.sampleRate <= 0) {
      error = "bad --rate '" + value + "': expected a sample rate in Hz above 0";
      return false;
    }
    return true;
  }
  if (opt == "--block") {
    double block = 0;
    if (!parseNumber(value, block) || block != std::floor(block) || block < 1 || block > 1048576) {
      error = "bad --block '" + value + "': expected a whole number of frames from 1 to 1048576";
      return false;
    }
    r.blockSize = static_cast<long>(block);
    return true;
  }
  if (opt == "--seconds") {
    double seconds = 0;
    if (!parseNumber(value, seconds) || seconds < 0 || seconds > 3600) {
      error = "bad --seconds '" + value + "': expected a length from 0 to 3600 seconds";
      return false;
    }
    r.seconds = seconds;
    return true;
  }
  if (opt == "--format") {
    if (value == "float32" || value == "f32") {
      r.format = WavFormat::Float32;
    } else if (value == "pcm24" || value == "s24") {
      r.format = WavFormat::Pcm24;
    } else if (value == "pcm16" || value == "s16") {
      r.format = WavFormat::Pcm16;
    } else {
      error = "bad --format '" + value + "': expected float32, pcm24 or pcm16";
      return false;
    }
    return true;
  }
  if (opt == "--note") {
    NoteSpec note;
    if (!parseNote(value, note, error)) return false;
    r.notes.push_back(note);
    return true;
  }
  if (opt == "--set") {
    ParamSetting setting;
    if (!parseSetting(value, setting, error)) return false;
    r.settings.push_back(setting);
    return true;
  }
  if (opt == "--auto") {
    AutomationSpec point;
    if (!parseAutomation(value, point, error)) return false;
    r.automation.push_back(point);
    return true;
  }
  error = "unknown option '" + std::string(opt) + "'";
  return false;
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, ProbeCommand& command,
                      std::string& error) {
  command = ProbeCommand{};
  if (argc < 2) {
    error = "no command given (try --help)";
    return false;
  }
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    command.kind = ProbeCommandKind::Help;
    return true;
  }
  if (name == "info") {
    command.kind = ProbeCommandKind::Info;
  } else if (name == "params") {
    command.kind = ProbeCommandKind::Params;
  } else if (name == "render") {
    command.kind = ProbeCommandKind::Render;
  } else if (name == "bridge") {
    command.kind = ProbeCommandKind::Bridge;
  } else if (name == "editor") {
    command.kind = ProbeCommandKind::Editor;
  } else {
    error = "unknown command '" + std::string(name) + "' (try --help)";
    return false;
  }
  int i = 2;
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      command.kind = ProbeCommandKind::Help;
      return true;
    }
    if (!arg.empty() && arg[0] == '-' && arg != "-" && command.kind == ProbeCommandKind::Editor) {
      if (!parseEditorOption(argc, argv, i, command, error)) return false;
      continue;
    }
    if (!arg.empty() && arg[0] == '-' && arg != "-") {
      if (command.kind != ProbeCommandKind::Render && command.kind != ProbeCommandKind::Bridge) {
        error = "unknown option '" + std::string(arg) + "' for '" + std::string(name) + "'";
        return false;
      }
      if (!parseRenderOption(argc, argv, i, command, error)) return false;
      continue;
    }
    if (!command.bundlePath.empty()) {
      error = "unexpected argument '" + std::string(arg) + "' (one bundle path only)";
      return false;
    }
    command.bundlePath = std::string(arg);
  }
  if (command.bundlePath.empty()) {
    error = "'" + std::string(name) + "' needs a bundle path";
    return false;
  }
  if (command.kind == ProbeCommandKind::Render && command.render.outPath.empty()) {
    error = "'render' needs --out FILE.wav";
    return false;
  }
  return true;
}

const char* probeUsage() {
  return R"(orbel-probe: a command-line VST 3 host for Linux

Usage:
  orbel-probe info   BUNDLE.vst3     factory information and classes
  orbel-probe params BUNDLE.vst3     the controller's parameters with their display texts
  orbel-probe render BUNDLE.vst3 --out FILE.wav [options]
  orbel-probe bridge BUNDLE.vst3 [options]
                                     a console on the editor bridge (below)
  orbel-probe editor BUNDLE.vst3 [--screenshot FILE.png] [--seconds N] [--size WxH]
                                     the plug-in's editor in a window (below)
  orbel-probe --help

Render options:
  --out FILE              the WAV file to write (stereo); it appears when the
                          rendering is complete (Ctrl-C leaves no file)
  --format float32|pcm24|pcm16
                          sample format of the WAV file (default float32; the
                          PCM formats clip at full scale, with a warning)
  --rate HZ               sample rate (default 48000)
  --block FRAMES          block size of each process call (default 512)
  --seconds N             length of the rendering; default: until the sound
                          after the last note or automation point has died
                          away (at most 30 seconds after it)
  --note PITCH@START:DUR[:VEL]
                          a note: MIDI pitch 0..127, start and duration in
                          seconds, velocity as a fraction 0..1 (default 0.8)
                          or as a MIDI velocity v=1..v=127. Repeatable.
  --set PATH=VALUE        set a parameter before the first block. PATH is the
                          parameter's path (filter.cutoff), title or id; VALUE
                          is a finite plain value in the parameter's units (a
                          whole number for stepped ones, e.g. osc.octave), or,
                          for a list, an option text (any case) or its index.
                          Repeatable.
  --auto PATH@SECONDS=VALUE
                          a sample-accurate automation point: the parameter
                          takes VALUE at that exact sample. Repeatable.
  --midi FILE.mid         also play the notes of a Standard MIDI File
  --load-state FILE       load the processor state from FILE before rendering
                          (the controller is synchronised with it); a file the
                          plug-in refuses is explained (not JSON, too large,
                          the member it stumbles on)
  --save-state FILE       save the processor state to FILE after rendering
                          (its folder is checked before the rendering starts)
  --transport TEMPO[:NUM/DEN][:play|stop]
                          what the host transport reports (default
                          120:4/4:play); the position moves only while playing

Bridge console (bridge):
  Loads the module as a host does, with a run loop of its own offered to the
  plug-in through the host context, installs a sink through the module's
  exported bridge functions and talks to the controller as its editor page
  would. Page messages are read from standard input, one JSON object per line
  (and from --send first); every announcement the controller sends is printed
  on standard output, one per line, with control characters inside strings
  written as \u escapes. The processor runs in real time (or faster) with the
  host transport, and the plug-in's cadence clock ticks at 30 Hz on the probe's
  run loop. A malformed line is reported on standard error and skipped.
  The session ends at the end of input or, with --seconds, after that much
  audio (the end of input then no longer ends it).
  --send JSON             a page message to deliver before reading input.
                          Repeatable.
  --speed X               run the processor X times faster than real time
                          (1 to 1000, default 1)
  All render options apply too (--out records the session's audio).

Editor (editor):
  Opens the plug-in's editor view in an X11 window of the probe's own (needs
  an X display: DISPLAY, or Xvfb on a headless machine), lending the view
  the probe's run loop (descriptor handlers and timers) through its plug
  frame, as a Linux host does. The processor runs in real time at 48 kHz
  with the transport stopped, and the page's edits reach it. Prints when
  the page has drawn the hello;
  at the end it lists the edits the controller reported to the host
  (beginEdit/performEdit/endEdit) and the parameters that changed, removes
  the view and checks that the process that showed the page is gone. The
  session ends when the window is closed, on ^C or SIGTERM, or after
  --seconds.
  --screenshot FILE.png   write the window's picture once the hello has been
                          drawn (the session fails if it never is)
  --seconds N             close the editor N seconds after the page has drawn
                          (or after 60 s when it never does)
  --size WxH              open at this size (kept within the view's limits)

Exit status: 0 on success, 1 when the module or the plug-in fails, 2 for a
usage error.

Examples:
  orbel-probe render Mirel.vst3 --out phrase.wav --rate 48000 --block 512 \
    --set osc.type=Saw --set filter.cutoff=1200 --note 57@0.0:0.4:0.9
  orbel-probe editor Mirel.vst3 --screenshot mirel.png --seconds 3
  orbel-probe bridge Mirel.vst3 --transport 128:3/4:play --seconds 5 \
    --send '{"type":"orbel.ready"}' \
    --send '{"type":"orbel.diag.subscribe","feeds":["transport","lifecycle"],"hz":2}'
)";
}

}  // namespace orbel
