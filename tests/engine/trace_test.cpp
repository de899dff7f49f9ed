// The optional kernel trace file named by ORBEL_KERNEL_TRACE. The variable is
// read once per process, so this program sets it before any engine runs.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/engine/engine_fixture.h"

namespace orbel::enginetest {
namespace {

std::string gTracePath;

std::string wholeTrace() {
  std::ifstream in(gTracePath);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string pointerText(const void* p) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", p);
  return buffer;
}

// The stream stays open for the life of the process, so each test reads only
// what was appended since it started.
class TraceTest : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    start_ = wholeTrace().size();
  }
  std::string readTrace() const { return wholeTrace().substr(start_); }
  size_t start_ = 0;
};

TEST_F(TraceTest, SetupBlocksAndEventsAreTracedLineByLine) {
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(44100.0, 512));
  const std::string self = pointerText(&engine);
  const std::string handle = std::to_string(engine.instanceToken());
  engine.setParamValue(3, 5000.0);
  ASSERT_TRUE(engine.pushNoteOn(60, 0.75, 200, 0, 0));
  ASSERT_TRUE(engine.pushController(7, 100, 10, 0, 0));
  ASSERT_TRUE(engine.pushNoteOff(60, 290, 0, 0));
  StereoOut out(300);
  render(engine, out, 300);
  const std::string e = "E this=" + self + " blk=1 ";
  const std::string b = "B this=" + self + " blk=1 ";
  // Lines written to the stream are shared process-wide; the block counter
  // starts at 0 in this program, so this first block is block 1.
  const std::string expected = "S this=" + self + " rate=44100 kernelRate=44100 handle=" + handle +
                               "\n" + b + "off=0 chunk=128 frames=300 events=3\n" + e +
                               "frame=0 kind=1 a=3 value=5000 src=republish status=0\n" + e +
                               "frame=10 kind=0 a=0 value=100 src=queue status=-1\n" + b +
                               "off=128 chunk=128 frames=300 events=3\n" + e +
                               "frame=72 kind=2 a=60 value=0.75 src=queue status=0\n" + b +
                               "off=256 chunk=44 frames=300 events=3\n" + e +
                               "frame=34 kind=3 a=60 value=0 src=queue status=0\n";
  EXPECT_EQ(readTrace(), expected);
}

TEST_F(TraceTest, FallbackInstanceShowsTheKernelRate) {
  testkernel::config().only48k = true;
  KernelEngine engine(testkernel::binding());
  ASSERT_TRUE(engine.setup(44100.5, 64));
  const std::string line = readTrace();
  EXPECT_EQ(line, "S this=" + pointerText(&engine) + " rate=44100.5 kernelRate=48000 handle=" +
                      std::to_string(engine.instanceToken()) + "\n");
}

}  // namespace
}  // namespace orbel::enginetest

int main(int argc, char** argv) {
  orbel::enginetest::gTracePath =
      "/tmp/orbel-engine-trace-" + std::to_string(static_cast<long>(getpid())) + ".txt";
  setenv("ORBEL_KERNEL_TRACE", orbel::enginetest::gTracePath.c_str(), 1);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::remove(orbel::enginetest::gTracePath.c_str());
  return result;
}
