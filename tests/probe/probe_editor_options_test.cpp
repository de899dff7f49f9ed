// orbel-probe editor's command line: --screenshot, --seconds and --size,
// and nothing of the render or bridge options.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "tools/probe_options.h"

namespace orbel {
namespace {

TEST(ProbeEditorOptions, TakesScreenshotSecondsAndSize) {
  const char* argv[] = {"orbel-probe", "editor", "/x/Mirel.vst3", "--screenshot", "shot.png",
                        "--seconds",   "2.5",    "--size",        "1400x1000"};
  ProbeCommand cmd;
  std::string error;
  ASSERT_TRUE(parseCommandLine(static_cast<int>(std::size(argv)), argv, cmd, error)) << error;
  EXPECT_EQ(cmd.kind, ProbeCommandKind::Editor);
  EXPECT_EQ(cmd.bundlePath, "/x/Mirel.vst3");
  EXPECT_EQ(cmd.editor.screenshotPath, "shot.png");
  EXPECT_EQ(cmd.render.seconds, 2.5);
  EXPECT_EQ(cmd.editor.width, 1400);
  EXPECT_EQ(cmd.editor.height, 1000);

  const char* plain[] = {"orbel-probe", "editor", "/x/Mirel.vst3"};
  ASSERT_TRUE(parseCommandLine(3, plain, cmd, error)) << error;
  EXPECT_FALSE(cmd.render.seconds.has_value());  // until closed
  EXPECT_EQ(cmd.editor.width, 0);
  EXPECT_NE(std::string(probeUsage()).find("--screenshot"), std::string::npos);
}

TEST(ProbeEditorOptions, RejectsWhatItDoesNotTake) {
  const std::vector<std::vector<const char*>> bad = {
      {"orbel-probe", "editor"},
      {"orbel-probe", "editor", "b.vst3", "--screenshot"},
      {"orbel-probe", "editor", "b.vst3", "--seconds", "0"},
      {"orbel-probe", "editor", "b.vst3", "--seconds", "soon"},
      {"orbel-probe", "editor", "b.vst3", "--size", "800"},
      {"orbel-probe", "editor", "b.vst3", "--size", "800x0"},
      {"orbel-probe", "editor", "b.vst3", "--size", "12.5x600"},
      {"orbel-probe", "editor", "b.vst3", "--out", "x.wav"},
      {"orbel-probe", "editor", "b.vst3", "--send", "{}"},
      {"orbel-probe", "render", "b.vst3", "--out", "x.wav", "--screenshot", "x.png"},
  };
  for (const auto& args : bad) {
    ProbeCommand cmd;
    std::string error;
    EXPECT_FALSE(parseCommandLine(static_cast<int>(args.size()), args.data(), cmd, error))
        << args.back();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace orbel
