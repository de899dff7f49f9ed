// The opt-in trace of the host's calls (ORBEL_HOST_TRACE): one line per
// set-up, activation, processing switch and process call, with the counts a
// stuck or missing note can be followed by. The variable is read once per
// process, so this program sets it before the first processor exists.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/module/module_fixture.h"

namespace orbel::testhost {
namespace {

std::string gTracePath;

std::string wholeTrace() {
  std::ifstream in(gTracePath);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(HostTrace, NamesEveryHostCallWithItsEventCounts) {
  ASSERT_TRUE(sharedModule().ok()) << sharedModule().error;
  {
    Processor p;
    ASSERT_TRUE(p.ok() && p.start(44100.0, 256));
    Block b(256);
    b.events.noteOn(60, 0.5f, 0);
    b.events.noteOn(64, 0.5f, 10, 0, 0, 7);
    b.events.noteOff(60, 300);  // past the block: lands on its last frame
    b.params.add(3, 0, 0.25);
    b.params.add(3, 100, 0.5);
    b.params.add(10, 0, 0.5);
    EXPECT_EQ(p.audio->process(b.data), kResultOk);
    Block flush(0);
    flush.data.numOutputs = 0;
    flush.data.outputs = nullptr;
    EXPECT_EQ(p.audio->process(flush.data), kResultOk);
  }
  const std::string trace = wholeTrace();
  const char* expected[] = {
      "initialize this=",
      "setupProcessing this=",
      "maxBlock=256 rate=44100 active=0 result=0",
      "setActive this=",
      "state=1 result=0",
      "setProcessing this=",
      "process this=",
      "frames=256 outputs=1 paramQueues=2 points=3 events=3 on=2 off=1 other=0",
      "[on 60 @0 v0.5 id-1] [on 64 @10 v0.5 id7] [off 60 @300 id-1]",
      "frames=0 outputs=0 paramQueues=0 points=0 events=0",
      "state=0 result=0",  // deactivation
      "terminate this=",
  };
  size_t at = 0;
  for (const char* want : expected) {
    const size_t found = trace.find(want, at);
    ASSERT_NE(found, std::string::npos) << "missing, in order: " << want << "\n" << trace;
    at = found;
  }
  // Every line names the call first and ends with a newline.
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) EXPECT_NE(line.find(" this=0x"), std::string::npos) << line;
}

}  // namespace
}  // namespace orbel::testhost

int main(int argc, char** argv) {
  orbel::testhost::gTracePath =
      "/tmp/orbel-host-trace-" + std::to_string(static_cast<long>(getpid())) + ".txt";
  std::remove(orbel::testhost::gTracePath.c_str());
  setenv("ORBEL_HOST_TRACE", orbel::testhost::gTracePath.c_str(), 1);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::remove(orbel::testhost::gTracePath.c_str());
  return result;
}
