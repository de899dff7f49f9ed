// mirel_render_check <plan> <render.wav> [<render.wav> ...]
// Checks every render against the plan and every later render against the
// first (the same session, reopened, must sound the same). Prints what it
// measured; exits 0 when all is well, 1 otherwise.

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/render_check.h"
#include "tests/host/wav_file.h"

using namespace orbel;

namespace {

void describe(const RenderPlan& plan, const WavAudio& render) {
  const auto gain = plan.params.count("Gain") ? plan.params.at("Gain") : 0.0;
  for (const RenderNote& note : plan.notes) {
    const std::size_t from = std::size_t(note.start + plan.sampleRate / 4);
    const std::size_t to = std::size_t(note.end - plan.sampleRate / 100);
    if (to <= from || render.channels.empty()) continue;
    const auto& x = render.channels[0];
    const double hz = 440.0 * std::pow(2.0, (note.key - 69) / 12.0);
    std::printf(
        "  note %d at %.3f s: level %.4f (expected %.4f), pitch %.2f Hz (expected %.2f), harmonics "
        "%.4f\n",
        note.key, double(note.start) / plan.sampleRate, rmsOf(x, from, to) * std::sqrt(2.0),
        expectedSustainPeak(note, gain), estimatePitch(x, from, to, plan.sampleRate), hz,
        harmonicRatio(x, from, to, plan.sampleRate, hz));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <plan> <render.wav> [<render.wav> ...]\n", argv[0]);
    return 2;
  }
  std::ifstream planFile(argv[1]);
  std::stringstream planText;
  planText << planFile.rdbuf();
  RenderPlan plan;
  std::string error;
  if (!planFile || !parseRenderPlan(planText.str(), plan, error)) {
    std::fprintf(stderr, "bad plan %s: %s\n", argv[1], error.c_str());
    return 1;
  }

  int failures = 0;
  std::vector<WavAudio> renders;
  for (int i = 2; i < argc; ++i) {
    WavAudio render;
    if (!readWavFile(argv[i], render, error)) {
      std::printf("FAIL %s: %s\n", argv[i], error.c_str());
      ++failures;
      continue;
    }
    std::printf("%s: %zu frames, %zu channels, %d Hz\n", argv[i], render.frames(),
                render.channels.size(), render.sampleRate);
    describe(plan, render);
    for (const std::string& problem : checkRender(plan, render)) {
      std::printf("FAIL %s: %s\n", argv[i], problem.c_str());
      ++failures;
    }
    if (!renders.empty()) {
      long lag = 0;
      for (const std::string& problem : compareRenders(renders.front(), render, &lag)) {
        std::printf("FAIL %s vs %s: %s\n", argv[2], argv[i], problem.c_str());
        ++failures;
      }
      if (lag != 0)
        std::printf("  starts %ld frames %s than %s (the host's export alignment)\n",
                    std::labs(lag), lag < 0 ? "earlier" : "later", argv[2]);
    }
    renders.push_back(std::move(render));
  }
  if (failures == 0)
    std::printf("all renders match the plan\n");
  else
    std::printf("%d problem(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
