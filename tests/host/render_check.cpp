#include "tests/host/render_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace orbel {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDefaultSustain = 0.7;
constexpr double kSilence = 1e-6;  // float render of an idle voice is exact zero
constexpr double kOnsetLevel = 1e-4;
// Ardour's renders of one session may start a note a few samples early or
// late (16 samples seen); a listener hears nothing below a few milliseconds.
constexpr double kOnsetTolerance = 0.005;  // s
constexpr double kSettle = 0.25;           // s: attack and decay are over
constexpr double kHoldMargin = 0.01;       // s before the note off
constexpr double kLevelTolerance = 0.10;
constexpr double kPitchTolerance = 0.005;  // about 9 cents
constexpr double kMaxHarmonic = 0.02;
constexpr double kReleaseDone = 0.45;    // s after the note off: release (0.3 s) has faded
constexpr double kReleaseQuiet = 0.05;   // of the sustain peak
constexpr double kEnvelopeBlock = 0.01;  // s

std::string format(const char* fmt, double a, double b = 0, double c = 0, double d = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
  return buf;
}

std::size_t frameAt(double seconds, int rate) {
  return seconds <= 0 ? 0 : std::size_t(std::llround(seconds * rate));
}

double goertzelAmplitude(const std::vector<float>& x, std::size_t from, std::size_t to, int rate,
                         double f) {
  const std::size_t n = to - from;
  const double w = 2 * kPi * f / rate;
  const double coeff = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * kPi * double(i) / double(n - 1));
    const double s0 = hann * x[from + i] + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coeff * s1 * s2));
}

}  // namespace

std::size_t firstOnset(const std::vector<float>& x, std::size_t from) {
  for (std::size_t i = from; i < x.size(); ++i)
    if (std::fabs(x[i]) > kOnsetLevel) return i;
  return x.size();
}

bool parseRenderPlan(const std::string& text, RenderPlan& plan, std::string& error) {
  plan = RenderPlan{};
  std::istringstream lines(text);
  std::string line;
  int lineNo = 0;
  auto bad = [&](const std::string& why) {
    error = "plan line " + std::to_string(lineNo) + ": " + why;
    plan = RenderPlan{};
    return false;
  };
  while (std::getline(lines, line)) {
    ++lineNo;
    std::istringstream in(line);
    std::string word;
    if (!(in >> word)) continue;
    if (word == "rate") {
      if (!(in >> plan.sampleRate) || plan.sampleRate <= 0) return bad("bad rate");
    } else if (word == "length") {
      if (!(in >> plan.length) || plan.length <= 0) return bad("bad length");
    } else if (word == "param") {
      std::string name;
      double value;
      if (!(in >> name >> value) || !std::isfinite(value)) return bad("bad param");
      plan.params[name] = value;
    } else if (word == "note") {
      RenderNote n;
      if (!(in >> n.key >> n.velocity >> n.start >> n.end)) return bad("bad note");
      if (n.key < 0 || n.key > 127 || n.velocity < 1 || n.velocity > 127 || n.start < 0 ||
          n.end <= n.start)
        return bad("note out of range");
      if (!plan.notes.empty() && n.start < plan.notes.back().end)
        return bad("notes overlap or are out of order");
      plan.notes.push_back(n);
    } else {
      return bad("unknown entry '" + word + "'");
    }
    std::string rest;
    if (in >> rest) return bad("trailing text");
  }
  if (plan.sampleRate == 0 || plan.length == 0 || plan.notes.empty()) {
    error = "plan needs a rate, a length and at least one note";
    plan = RenderPlan{};
    return false;
  }
  if (plan.notes.back().end > plan.length) {
    error = "a note ends after the render";
    plan = RenderPlan{};
    return false;
  }
  return true;
}

double peakOf(const std::vector<float>& x, std::size_t from, std::size_t to) {
  to = std::min(to, x.size());
  double peak = 0;
  for (std::size_t i = from; i < to; ++i) peak = std::max(peak, double(std::fabs(x[i])));
  return peak;
}

double rmsOf(const std::vector<float>& x, std::size_t from, std::size_t to) {
  to = std::min(to, x.size());
  if (from >= to) return 0;
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += double(x[i]) * x[i];
  return std::sqrt(sum / double(to - from));
}

double estimatePitch(const std::vector<float>& x, std::size_t from, std::size_t to,
                     int sampleRate) {
  to = std::min(to, x.size());
  double first = -1, last = -1;
  long crossings = 0;
  for (std::size_t i = from + 1; i < to; ++i) {
    if (x[i - 1] < 0 && x[i] >= 0) {
      const double t = double(i - 1) + double(x[i - 1]) / double(x[i - 1] - x[i]);
      if (crossings == 0) first = t;
      last = t;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return double(crossings - 1) * sampleRate / (last - first);
}

double harmonicRatio(const std::vector<float>& x, std::size_t from, std::size_t to, int sampleRate,
                     double f0) {
  to = std::min(to, x.size());
  if (to <= from + 2 || f0 <= 0) return 0;
  const double fundamental = goertzelAmplitude(x, from, to, sampleRate, f0);
  if (fundamental <= 0) return 0;
  double worst = 0;
  for (int k = 2; k <= 5 && k * f0 < 0.5 * sampleRate; ++k)
    worst = std::max(worst, goertzelAmplitude(x, from, to, sampleRate, k * f0) / fundamental);
  return worst;
}

double expectedSustainPeak(const RenderNote& note, double gain) {
  return kDefaultSustain * (note.velocity / 127.0) * gain;
}

std::vector<std::string> checkRender(const RenderPlan& plan, const WavAudio& render) {
  std::vector<std::string> problems;
  const int rate = plan.sampleRate;
  if (render.sampleRate != rate)
    problems.push_back(
        format("render runs at %.0f Hz, the session at %.0f Hz", render.sampleRate, rate));
  if (render.channels.size() != 2)
    problems.push_back(
        format("render has %.0f channels, expected stereo", double(render.channels.size())));
  if (render.frames() < std::size_t(plan.length))
    problems.push_back(format("render is %.0f frames long, expected %.0f", double(render.frames()),
                              double(plan.length)));
  if (!problems.empty()) return problems;

  const auto wave = plan.params.find("Wave");
  const auto gainEntry = plan.params.find("Gain");
  if (wave == plan.params.end() || wave->second != 0 || gainEntry == plan.params.end()) {
    problems.push_back("the plan must set Wave to 0 (sine) and give the Gain");
    return problems;
  }
  const double gain = gainEntry->second;
  const std::vector<float>& left = render.channels[0];
  const std::vector<float>& right = render.channels[1];

  const std::size_t firstStart = std::size_t(plan.notes.front().start);
  const std::size_t tolerance = frameAt(kOnsetTolerance, rate);
  const std::size_t quietUntil = firstStart > tolerance ? firstStart - tolerance : 0;
  for (const auto* ch : {&left, &right}) {
    const double before = peakOf(*ch, 0, quietUntil);
    if (before > kSilence)
      problems.push_back(format("not silent before the first note: peak %.3g in the first %.3f s",
                                before, double(quietUntil) / rate));
  }
  const std::size_t onset = firstOnset(left, quietUntil);
  if (onset > firstStart + tolerance)
    problems.push_back(format("first note starts late: sound at %.4f s, note at %.4f s",
                              double(onset) / rate, double(firstStart) / rate));
  // Ardour's exports of one session start a few samples apart (16 seen): the
  // whole render moves, sample for sample. Judge every note where this render
  // put the first one, within the onset tolerance.
  const std::int64_t shift =
      onset <= firstStart + tolerance ? std::int64_t(onset) - std::int64_t(firstStart) : 0;

  for (std::size_t n = 0; n < plan.notes.size(); ++n) {
    const RenderNote& note = plan.notes[n];
    const double seconds = double(note.start) / rate;
    const std::int64_t holdFrom = note.start + shift + std::int64_t(frameAt(kSettle, rate));
    const std::int64_t holdTo = note.end + shift - std::int64_t(frameAt(kHoldMargin, rate));
    if (holdTo <= holdFrom + std::int64_t(frameAt(0.05, rate))) {
      problems.push_back(format("note at %.3f s is too short to judge", seconds));
      continue;
    }
    const std::size_t from = std::size_t(holdFrom), to = std::size_t(holdTo);
    const double want = expectedSustainPeak(note, gain);
    const double level = rmsOf(left, from, to) * std::sqrt(2.0);
    if (std::fabs(level - want) > kLevelTolerance * want)
      problems.push_back(
          format("note %.0f at %.3f s: level %.4f, expected %.4f", note.key, seconds, level, want));
    const double rightLevel = rmsOf(right, from, to) * std::sqrt(2.0);
    if (std::fabs(rightLevel - level) > 0.01 * want)
      problems.push_back(format("note %.0f at %.3f s: right channel level %.4f, left %.4f",
                                note.key, seconds, rightLevel, level));
    const double hz = 440.0 * std::pow(2.0, (note.key - 69) / 12.0);
    const double pitch = estimatePitch(left, from, to, rate);
    if (std::fabs(pitch - hz) > kPitchTolerance * hz)
      problems.push_back(format("note %.0f at %.3f s: pitch %.2f Hz, expected %.2f Hz", note.key,
                                seconds, pitch, hz));
    const double harmonics = harmonicRatio(left, from, to, rate, hz);
    if (harmonics > kMaxHarmonic)
      problems.push_back(
          format("note %.0f at %.3f s: harmonics at %.3f of the fundamental, not a sine", note.key,
                 seconds, harmonics));

    // After the note off the release must fade out before the next note
    // (which this render starts `shift` frames off its plan, like the first).
    const std::size_t quietFrom = std::size_t(note.end + shift) + frameAt(kReleaseDone, rate);
    const std::size_t quietTo =
        n + 1 < plan.notes.size()
            ? std::size_t(plan.notes[n + 1].start + shift) - frameAt(kHoldMargin, rate)
            : left.size();
    if (quietFrom < quietTo) {
      const double tail =
          std::max(peakOf(left, quietFrom, quietTo), peakOf(right, quietFrom, quietTo));
      if (tail > kReleaseQuiet * want)
        problems.push_back(
            format("note %.0f at %.3f s still sounds %.2f s after its note off (peak %.4f)",
                   note.key, seconds, kReleaseDone, tail));
    }
  }
  return problems;
}

std::vector<std::string> compareRenders(const WavAudio& first, const WavAudio& second, long* lag) {
  std::vector<std::string> problems;
  if (lag) *lag = 0;
  if (first.sampleRate != second.sampleRate || first.channels.size() != second.channels.size() ||
      first.frames() != second.frames()) {
    problems.push_back(format("renders differ in shape: %.0f vs %.0f frames, %.0f vs %.0f channels",
                              double(first.frames()), double(second.frames()),
                              double(first.channels.size()), double(second.channels.size())));
    return problems;
  }
  if (first.channels.empty()) return problems;
  // The same session exported twice may start a few samples apart (see
  // checkRender): compare the second render where its sound begins.
  const long tolerance = long(frameAt(kOnsetTolerance, first.sampleRate));
  const long a = long(firstOnset(first.channels[0], 0)),
             b = long(firstOnset(second.channels[0], 0));
  const long shift =
      a < long(first.frames()) && b < long(second.frames()) && std::labs(b - a) <= tolerance ? b - a
                                                                                             : 0;
  if (lag) *lag = shift;
  const std::size_t block = std::max<std::size_t>(1, frameAt(kEnvelopeBlock, first.sampleRate));
  const std::size_t skip = std::size_t(std::labs(shift));  // frames one of them lacks at an end
  for (std::size_t c = 0; c < first.channels.size(); ++c) {
    for (std::size_t at = skip; at + skip < first.frames(); at += block) {
      const std::size_t to = std::min(at + block, first.frames() - skip);
      const double x = rmsOf(first.channels[c], at, to);
      const double y =
          rmsOf(second.channels[c], std::size_t(long(at) + shift), std::size_t(long(to) + shift));
      if (std::fabs(x - y) > 0.02 * std::max(x, y) + 1e-4) {
        problems.push_back(format("renders differ at %.3f s on channel %.0f: RMS %.4f vs %.4f",
                                  double(at) / first.sampleRate, double(c), x, y));
        break;
      }
    }
  }
  return problems;
}

}  // namespace orbel
