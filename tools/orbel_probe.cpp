// orbel-probe: loads a VST 3 bundle by path like a host, lists its classes
// and parameters, renders a phrase of notes and parameter changes into a WAV
// file, opens a console on a module's editor bridge, and shows its editor.
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/bridge_session.h"
#include "tools/diagnostic_bridge_client.h"
#include "tools/editor_session.h"
#include "tools/factory_info.h"
#include "tools/memory_stream.h"
#include "tools/midi_file.h"
#include "tools/module_loader.h"
#include "tools/output_file.h"
#include "tools/param_catalog.h"
#include "tools/plugin_instance.h"
#include "tools/probe_options.h"
#include "tools/probe_run_loop.h"
#include "tools/renderer.h"
#include "tools/state_diagnosis.h"
#include "tools/wav_writer.h"

using namespace orbel;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;
// Without --seconds a rendering goes on after the last note or automation
// point until the sound has stayed silent this long, for at most kMaxTail.
constexpr double kSilentSeconds = 0.05;
constexpr double kMaxTailSeconds = 30.0;

// Shortest text that reads back to the same double.
std::string shortest(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

int fail(const std::string& message, int code = kExitFailure) {
  std::fprintf(stderr, "orbel-probe: error: %s\n", message.c_str());
  return code;
}

// Loads the module and finds its audio module class.
int openModule(const std::string& bundle, VstModule& module, FactoryInfo& info,
               const FactoryClass** audio) {
  std::string error;
  if (!module.load(bundle, error)) return fail(error);
  if (!readFactoryInfo(module.factory(), info, error)) return fail(error);
  if (audio != nullptr) {
    *audio = findClass(info, kVstAudioEffectClass);
    if (*audio == nullptr)
      return fail("bundle '" + bundle +
                  "' has no audio module class (category \"" kVstAudioEffectClass "\")");
  }
  return 0;
}

std::string flagNames(uint32_t flags,
                      std::initializer_list<std::pair<uint32_t, const char*>> names) {
  std::string out;
  for (const auto& [bit, name] : names) {
    if (flags & bit) {
      if (!out.empty()) out += ", ";
      out += name;
    }
  }
  return out;
}

int runInfo(const ProbeCommand& command) {
  VstModule module;
  FactoryInfo info;
  if (int rc = openModule(command.bundlePath, module, info, nullptr)) return rc;
  std::printf("module: %s\n", module.binaryPath().c_str());
  std::printf("factory:\n");
  std::printf("  vendor: %s\n", info.vendor.c_str());
  std::printf("  url: %s\n", info.url.c_str());
  std::printf("  email: %s\n", info.email.c_str());
  const std::string factoryFlags =
      flagNames(static_cast<uint32_t>(info.flags),
                {{PFactoryInfo::kClassesDiscardable, "classes discardable"},
                 {PFactoryInfo::kLicenseCheck, "license check"},
                 {PFactoryInfo::kComponentNonDiscardable, "non-discardable"},
                 {PFactoryInfo::kUnicode, "unicode"}});
  std::printf("  flags: %d%s%s%s\n", info.flags, factoryFlags.empty() ? "" : " (",
              factoryFlags.c_str(), factoryFlags.empty() ? "" : ")");
  std::printf("  interface: IPluginFactory%s\n",
              info.interfaceVersion == 1 ? "" : std::to_string(info.interfaceVersion).c_str());
  std::printf("classes: %zu\n", info.classes.size());
  for (std::size_t i = 0; i < info.classes.size(); ++i) {
    const FactoryClass& c = info.classes[i];
    std::printf("  [%zu] %s\n", i, c.name.c_str());
    std::printf("      category: %s\n", c.category.c_str());
    std::printf("      class id: %s\n", classIdHex(c.cid).c_str());
    if (c.cardinality == PClassInfo::kManyInstances)
      std::printf("      cardinality: many instances\n");
    else
      std::printf("      cardinality: %d\n", c.cardinality);
    if (info.interfaceVersion >= 2) {
      std::printf("      sub-categories: %s\n", c.subCategories.c_str());
      std::printf("      class flags: %u%s\n", c.classFlags,
                  (c.classFlags & 1) ? " (distributable)" : "");
      std::printf("      vendor: %s\n", c.vendor.empty() ? "(the factory's)" : c.vendor.c_str());
      std::printf("      version: %s\n", c.version.c_str());
      std::printf("      sdk version: %s\n", c.sdkVersion.c_str());
    }
  }
  if (findClass(info, kVstAudioEffectClass) == nullptr)
    return fail("bundle '" + command.bundlePath +
                "' has no audio module class (category \"" kVstAudioEffectClass "\")");
  return 0;
}

std::string paramFlagNames(int32 flags) {
  return flagNames(static_cast<uint32_t>(flags),
                   {{ParameterInfo::kCanAutomate, "automate"},
                    {ParameterInfo::kIsReadOnly, "read-only"},
                    {ParameterInfo::kIsWrapAround, "wrap-around"},
                    {ParameterInfo::kIsList, "list"},
                    {ParameterInfo::kIsHidden, "hidden"},
                    {ParameterInfo::kIsProgramChange, "program-change"},
                    {ParameterInfo::kIsBypass, "bypass"}});
}

int runParams(const ProbeCommand& command) {
  VstModule module;
  FactoryInfo info;
  const FactoryClass* audio = nullptr;
  if (int rc = openModule(command.bundlePath, module, info, &audio)) return rc;
  PluginInstance instance;
  std::string error;
  if (!instance.open(module.factory(), *audio, error)) return fail(error);
  if (instance.controller() == nullptr)
    return fail("'" + audio->name + "' has no edit controller to list");
  ParamCatalog catalog;
  catalog.build(instance.controller());
  std::printf("parameters of %s: %zu\n", audio->name.c_str(), catalog.entries().size());
  for (const ParamEntry& e : catalog.entries()) {
    const ParameterInfo& p = e.info;
    std::printf("  %u %s\n", p.id, e.path.empty() ? e.title.c_str() : e.path.c_str());
    std::printf("      title: %s", e.title.c_str());
    if (!e.shortTitle.empty() && e.shortTitle != e.title)
      std::printf(" (short: %s)", e.shortTitle.c_str());
    std::printf("\n");
    std::printf("      units: %s\n", e.units.empty() ? "(none)" : e.units.c_str());
    std::printf("      default: %s (normalized %s)\n",
                catalog.displayText(p.id, p.defaultNormalizedValue).c_str(),
                shortest(p.defaultNormalizedValue).c_str());
    std::printf("      steps: %d%s\n", p.stepCount, p.stepCount == 0 ? " (continuous)" : "");
    std::printf("      flags: %d (%s)\n", p.flags, paramFlagNames(p.flags).c_str());
    std::printf("      unit id: %d\n", p.unitId);
    const std::vector<std::string> options = catalog.optionTexts(e);
    if (!options.empty()) {
      std::printf("      values:");
      for (std::size_t k = 0; k < options.size(); ++k)
        std::printf("%s%s", k ? " | " : " ", options[k].c_str());
      std::printf("\n");
    } else {
      std::printf("      range: %s .. %s (plain %s .. %s)\n",
                  catalog.displayText(p.id, 0.0).c_str(), catalog.displayText(p.id, 1.0).c_str(),
                  shortest(catalog.toPlain(p.id, 0.0)).c_str(),
                  shortest(catalog.toPlain(p.id, 1.0)).c_str());
    }
  }
  return 0;
}

bool resolveChange(const ParamCatalog& catalog, const std::string& path, const std::string& value,
                   TimedChange& change, std::string& error, int& code) {
  const ParamEntry* entry = catalog.find(path);
  if (entry == nullptr) {
    error = "unknown parameter path '" + path + "' (known: " + catalog.knownNames() + ")";
    code = kExitUsage;
    return false;
  }
  change.id = entry->info.id;
  if (!catalog.toNormalized(*entry, value, change.normalized, error)) {
    code = kExitUsage;
    return false;
  }
  return true;
}

// Loads the state file of --load-state into the instance, if one is given.
int loadStateOption(const RenderOptions& opt, PluginInstance& instance) {
  if (opt.loadStatePath.empty()) return 0;
  std::vector<uint8_t> bytes;
  std::string error;
  if (!readFileBytes(opt.loadStatePath, bytes, error)) return fail(error);
  if (!instance.loadState(bytes, error)) {
    const std::string why = explainRefusedState(
        bytes, [&instance](const std::string& text) { return instance.processorAccepts(text); });
    return fail("the plug-in refused the state file '" + opt.loadStatePath + "' (" + error +
                "): " + why);
  }
  return 0;
}

// The job the options describe: everything given on the command line is
// checked before any audio runs. Without --seconds the job lasts until the
// last note or automation point plus one second, or, when `endless`, until
// stopped.
int buildJob(const RenderOptions& opt, PluginInstance& instance, bool endless, RenderJob& job,
             double& seconds) {
  ParamCatalog catalog;
  catalog.build(instance.controller());
  job.sampleRate = opt.sampleRate;
  job.blockSize = static_cast<int32_t>(opt.blockSize);
  job.transport = opt.transport;
  std::string error;
  int code = kExitFailure;
  for (const ParamSetting& s : opt.settings) {
    TimedChange change;
    if (!resolveChange(catalog, s.path, s.value, change, error, code)) return fail(error, code);
    job.initialChanges.push_back(change);
  }
  double lastSeconds = 0.0;
  for (const AutomationSpec& a : opt.automation) {
    TimedChange change;
    if (!resolveChange(catalog, a.path, a.value, change, error, code)) return fail(error, code);
    change.frame = secondsToFrame(a.seconds, opt.sampleRate);
    job.automation.push_back(change);
    lastSeconds = std::max(lastSeconds, a.seconds);
  }
  std::vector<NoteSpec> notes = opt.notes;
  if (!opt.midiPath.empty()) {
    std::vector<uint8_t> bytes;
    if (!readFileBytes(opt.midiPath, bytes, error)) return fail(error);
    MidiFileNotes midi;
    if (!readMidiFileNotes(bytes.data(), bytes.size(), midi, error))
      return fail("'" + opt.midiPath + "': " + error);
    notes.insert(notes.end(), midi.notes.begin(), midi.notes.end());
  }
  for (const NoteSpec& n : notes) {
    addNote(job.events, opt.sampleRate, n.pitch, n.startSeconds, n.durationSeconds, n.velocity);
    lastSeconds = std::max(lastSeconds, n.startSeconds + n.durationSeconds);
  }
  sortEvents(job.events);
  sortChanges(job.automation);
  if (!opt.seconds && endless) {
    seconds = INFINITY;
    job.totalFrames = INT64_MAX / 2;
    return 0;
  }
  seconds = opt.seconds ? *opt.seconds : lastSeconds + kMaxTailSeconds;
  if (!opt.seconds) {
    job.stopWhenSilentFrom = secondsToFrame(lastSeconds, opt.sampleRate);
    job.silentFramesToStop = std::max<int64_t>(1, secondsToFrame(kSilentSeconds, opt.sampleRate));
  }
  if (!opt.outPath.empty()) {
    if (opt.sampleRate > 4294967295.0)
      return fail("a sample rate above 4294967295 Hz cannot be stored in a WAV file", kExitUsage);
    if (!(seconds * opt.sampleRate <= static_cast<double>(wavMaxFrames(2, opt.format))))
      return fail("the rendering is too long for a WAV file (4 GiB at most)", kExitUsage);
  }
  job.totalFrames = std::llround(seconds * opt.sampleRate);

  std::size_t lateNotes = 0, latePoints = 0;
  for (const TimedEvent& e : job.events)
    lateNotes += e.frame >= job.totalFrames && e.event.type == Event::kNoteOnEvent;
  for (const TimedChange& c : job.automation) latePoints += c.frame >= job.totalFrames;
  if (lateNotes + latePoints > 0)
    std::fprintf(
        stderr,
        "orbel-probe: warning: %zu notes and %zu automation points start after the end (%.9g s)\n",
        lateNotes, latePoints, seconds);
  return 0;
}

// Opens the WAV file of --out, when one is given. It takes its name only
// once it is finished.
int openWav(const RenderOptions& opt, WavWriter& wav) {
  if (opt.outPath.empty()) return 0;
  const auto wavRate = static_cast<uint32_t>(std::llround(opt.sampleRate));
  if (static_cast<double>(wavRate) != opt.sampleRate)
    std::fprintf(stderr, "orbel-probe: warning: the WAV header holds the rate rounded to %u Hz\n",
                 wavRate);
  std::string error;
  if (!wav.open(opt.outPath, 2, wavRate, opt.format, error)) return fail(error);
  return 0;
}

// Prepares the file of --save-state before any audio runs, so a path that
// cannot be written fails at once.
int prepareStateFile(const RenderOptions& opt, OutputFile& file) {
  if (opt.saveStatePath.empty()) return 0;
  std::string error;
  if (!file.open(opt.saveStatePath, error)) return fail(error);
  return 0;
}

// Writes the processor state of --save-state, when one is given.
int saveStateOption(const RenderOptions& opt, PluginInstance& instance, OutputFile& file) {
  if (opt.saveStatePath.empty()) return 0;
  std::vector<uint8_t> bytes;
  std::string error;
  if (!instance.saveState(bytes, error)) return fail(error);
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size())
    return fail("cannot write '" + opt.saveStatePath + "'");
  if (!file.commit(error)) return fail(error);
  return 0;
}

// The PCM formats clip at full scale; the summary's peak is the plug-in's.
void warnOfClipping(const RenderOptions& opt, const WavWriter& wav) {
  if (opt.outPath.empty() || wav.clippedSamples() == 0) return;
  std::fprintf(stderr,
               "orbel-probe: warning: %llu samples went beyond full scale and were clipped in '%s' "
               "(%s); use "
               "--format float32 to keep them, or lower the level\n",
               static_cast<unsigned long long>(wav.clippedSamples()), opt.outPath.c_str(),
               opt.format == WavFormat::Pcm16 ? "pcm16" : "pcm24");
}

int failedBlocks(const RenderStats& stats) {
  if (stats.failedBlocks == 0) return 0;
  char line[200];
  std::snprintf(line, sizeof line, "process failed in %lld of %lld blocks (first: block %lld, %s)",
                static_cast<long long>(stats.failedBlocks), static_cast<long long>(stats.blocks),
                static_cast<long long>(stats.firstFailedBlock),
                resultText(stats.firstFailure).c_str());
  return fail(line);
}

double peakDbfs(const RenderStats& stats) {
  return stats.peak > 0 ? 20.0 * std::log10(stats.peak) : -INFINITY;
}

int runRender(const ProbeCommand& command) {
  const RenderOptions& opt = command.render;
  VstModule module;
  FactoryInfo info;
  const FactoryClass* audio = nullptr;
  if (int rc = openModule(command.bundlePath, module, info, &audio)) return rc;
  PluginInstance instance;
  std::string error;
  if (!instance.open(module.factory(), *audio, error)) return fail(error);
  if (int rc = loadStateOption(opt, instance)) return rc;
  RenderJob job;
  double seconds = 0;
  if (int rc = buildJob(opt, instance, false, job, seconds)) return rc;

  // Both output paths are checked before any audio runs.
  WavWriter wav;
  if (int rc = openWav(opt, wav)) return rc;
  OutputFile stateFile;
  if (int rc = prepareStateFile(opt, stateFile)) return rc;
  if (!instance.configure(opt.sampleRate, job.blockSize, error)) return fail(error);
  if (!instance.activate(error)) return fail(error);
  catchInterrupts();
  RenderStats stats;
  const bool rendered = renderJob(
      instance, job,
      [&wav](const float* frames, int32_t count, std::string& why) {
        if (interrupted()) {
          why = "interrupted; nothing was written";
          return false;
        }
        return wav.write(frames, static_cast<std::size_t>(count), why);
      },
      stats, error);
  instance.deactivate();
  if (!rendered)
    return fail(error, interrupted() ? kExitInterrupted : kExitFailure);  // no file is left behind
  if (!wav.finish(error)) return fail(error);
  warnOfClipping(opt, wav);
  if (job.stopWhenSilentFrom >= 0 && !stats.stoppedAtSilence)
    std::fprintf(stderr,
                 "orbel-probe: warning: the sound had not died away %.9g s after the last event; "
                 "the rendering "
                 "stops there (--seconds sets a length)\n",
                 kMaxTailSeconds);

  int rc = saveStateOption(opt, instance, stateFile);
  std::printf(
      "rendered %s: %.3f s, %lld frames at %.9g Hz in %lld blocks of %d, %zu note events, peak "
      "%.1f dBFS\n",
      opt.outPath.c_str(), static_cast<double>(stats.frames) / opt.sampleRate,
      static_cast<long long>(stats.frames), opt.sampleRate, static_cast<long long>(stats.blocks),
      job.blockSize, job.events.size(), peakDbfs(stats));
  if (int blocks = failedBlocks(stats)) rc = blocks;
  return rc;
}

// The console on a module's editor bridge. Standard output carries only the
// announcements; what the probe itself has to say goes to standard error.
int runBridge(const ProbeCommand& command) {
  const RenderOptions& opt = command.render;
  // A reader that goes away (a closed pipe) ends the session with an error
  // instead of killing the probe before it cleans up.
  std::signal(SIGPIPE, SIG_IGN);
  // Declared first, so it outlives the module that registers on it.
  ProbeRunLoop loop;
  int rc = 0;
  {
    VstModule module;
    FactoryInfo info;
    const FactoryClass* audio = nullptr;
    if ((rc = openModule(command.bundlePath, module, info, &audio))) return rc;
    DiagnosticBridgeClient bridge;
    std::string error;
    if (!bridge.resolve(module, error)) return fail(error);
    std::optional<PluginInstance> instance(std::in_place);
    // Offered through the host context from the start: the controller looks
    // for it in initialize.
    instance->host().setRunLoop(&loop);
    if (!instance->open(module.factory(), *audio, error)) return fail(error);
    if (instance->controller() == nullptr)
      return fail("'" + audio->name + "' has no edit controller to talk to");
    if ((rc = loadStateOption(opt, *instance))) return rc;
    RenderJob job;
    double seconds = 0;
    if ((rc = buildJob(opt, *instance, true, job, seconds))) return rc;
    // A host rendering faster than real time processes offline.
    job.realtime = command.bridge.speed == 1.0;
    WavWriter wav;
    if ((rc = openWav(opt, wav))) return rc;
    OutputFile stateFile;
    if ((rc = prepareStateFile(opt, stateFile))) return rc;
    if (!instance->configure(opt.sampleRate, job.blockSize, error, job.realtime))
      return fail(error);
    if (!instance->activate(error)) return fail(error);
    catchInterrupts();
    BlockRenderer renderer(*instance, job);
    if (!renderer.start(error)) return fail(error);

    BridgeSessionOptions session;
    session.sends = command.bridge.sends;
    session.sampleRate = opt.sampleRate;
    session.speed = command.bridge.speed;
    session.endAtEndOfInput = !opt.seconds.has_value();
    BridgeSessionStats stats;
    const bool ran = runBridgeSession(
        *instance, bridge, loop, renderer, session,
        [&wav, &opt](const float* frames, int32_t count, std::string& why) {
          if (interrupted()) {
            why = "interrupted";
            return false;
          }
          return opt.outPath.empty() || wav.write(frames, static_cast<std::size_t>(count), why);
        },
        stats, error);
    instance->deactivate();
    if (interrupted()) {
      // Ctrl-C ends the session; what it recorded and its state are kept.
      std::fprintf(stderr, "orbel-probe: interrupted\n");
      rc = kExitInterrupted;
    } else if (!ran) {
      rc = fail(error);
    }
    if (!opt.outPath.empty() && !wav.finish(error) && (rc == 0 || rc == kExitInterrupted))
      rc = fail(error);
    if (!opt.outPath.empty()) warnOfClipping(opt, wav);
    if (int saved = saveStateOption(opt, *instance, stateFile);
        saved && (rc == 0 || rc == kExitInterrupted))
      rc = saved;
    if (stats.probeTicked)
      std::fprintf(stderr,
                   "orbel-probe: note: the plug-in set no timer on the run loop; the probe ticked "
                   "its cadence\n");
    std::fprintf(stderr,
                 "orbel-probe: bridge session ended after %.3f s of audio (%lld blocks of %d at "
                 "%.9g Hz, peak %.1f "
                 "dBFS): %zu messages delivered, %zu lines skipped, %zu announcements\n",
                 static_cast<double>(renderer.position()) / opt.sampleRate,
                 static_cast<long long>(renderer.stats().blocks), job.blockSize, opt.sampleRate,
                 peakDbfs(renderer.stats()), stats.delivered, stats.skipped, stats.announcements);
    if (int blocks = failedBlocks(renderer.stats()); blocks && rc == 0) rc = blocks;
    // The plug-in's objects go first (its controller takes its clock off the
    // loop in terminate), then the module.
    instance.reset();
    module.unload();
  }
  // Anything still registered belongs to code that is gone: report it and
  // never call it.
  if (loop.timerCount() + loop.handlerCount() > 0) {
    std::fprintf(
        stderr,
        "orbel-probe: warning: the module left %zu timers and %zu handlers on the run loop\n",
        loop.timerCount(), loop.handlerCount());
    loop.abandonAll();
  }
  return rc;
}

// The plug-in's editor in a window of the probe's own.
int runEditor(const ProbeCommand& command) {
  std::signal(SIGPIPE, SIG_IGN);
  // Declared first, so it outlives the module that registers on it.
  ProbeRunLoop loop;
  int rc = 0;
  {
    VstModule module;
    FactoryInfo info;
    const FactoryClass* audio = nullptr;
    if ((rc = openModule(command.bundlePath, module, info, &audio))) return rc;
    std::optional<PluginInstance> instance(std::in_place);
    std::string error;
    // The run loop is lent through the view's plug frame only, as most
    // Linux hosts do.
    if (!instance->open(module.factory(), *audio, error)) return fail(error);
    // The processor plays in real time, transport stopped, as in a host
    // whose user opened the editor without pressing play.
    RenderJob job;
    job.realtime = true;
    job.transport.playing = false;
    job.totalFrames = INT64_MAX / 2;
    if (!instance->configure(job.sampleRate, job.blockSize, error, true)) return fail(error);
    if (!instance->activate(error)) return fail(error);
    BlockRenderer renderer(*instance, job);
    if (!renderer.start(error)) return fail(error);
    EditorSessionOptions session;
    session.renderer = &renderer;
    session.sampleRate = job.sampleRate;
    session.screenshotPath = command.editor.screenshotPath;
    session.seconds = command.render.seconds;
    session.width = command.editor.width;
    session.height = command.editor.height;
    if (!runEditorSession(*instance, loop, session, error)) rc = fail(error);
    instance->deactivate();
    if (int blocks = failedBlocks(renderer.stats()); blocks && rc == 0) rc = blocks;
    instance.reset();
    module.unload();
  }
  if (loop.timerCount() + loop.handlerCount() > 0) {
    std::fprintf(
        stderr,
        "orbel-probe: warning: the module left %zu timers and %zu handlers on the run loop\n",
        loop.timerCount(), loop.handlerCount());
    loop.abandonAll();
    if (rc == 0) rc = kExitFailure;
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  ProbeCommand command;
  std::string error;
  if (!parseCommandLine(argc, argv, command, error)) {
    std::fprintf(stderr, "orbel-probe: error: %s\n", error.c_str());
    return kExitUsage;
  }
  switch (command.kind) {
    case ProbeCommandKind::Help:
      std::fputs(probeUsage(), stdout);
      return 0;
    case ProbeCommandKind::Info:
      return runInfo(command);
    case ProbeCommandKind::Params:
      return runParams(command);
    case ProbeCommandKind::Render:
      return runRender(command);
    case ProbeCommandKind::Bridge:
      return runBridge(command);
    case ProbeCommandKind::Editor:
      return runEditor(command);
  }
  return kExitUsage;
}
