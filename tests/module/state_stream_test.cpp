// Writing a state text: how a save answers the streams hosts hand over.
#include <gtest/gtest.h>

#include <string>

#include "plugin/state_stream.h"

namespace orbel {
namespace {

using namespace Steinberg;

// A stream whose write reports what the case asks for.
class ReportingStream final : public IBStream {
public:
  ReportingStream(tresult result, int32 reportedShortBy, bool reports)
      : result_(result), shortBy_(reportedShortBy), reports_(reports) {}
  tresult PLUGIN_API read(void*, int32, int32*) override { return kResultFalse; }
  tresult PLUGIN_API write(void*, int32 numBytes, int32* numBytesWritten) override {
    if (reports_ && numBytesWritten) *numBytesWritten = numBytes - shortBy_;
    return result_;
  }
  tresult PLUGIN_API seek(int64, int32, int64*) override { return kResultFalse; }
  tresult PLUGIN_API tell(int64*) override { return kResultFalse; }
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

private:
  tresult result_;
  int32 shortBy_;
  bool reports_;
};

TEST(StateStreamWrite, AnswersByWhatTheStreamReports) {
  const struct {
    const char* name;
    tresult result;
    int32 shortBy;
    bool reports;
    tresult expected;
  } cases[] = {
      {"whole text taken", kResultOk, 0, true, kResultOk},
      {"part of the text taken", kResultOk, 3, true, kResultFalse},
      {"nothing taken", kResultOk, 19, true, kResultFalse},
      {"count not reported", kResultOk, 0, false, kResultOk},
      {"stream failed", kInternalError, 0, true, kInternalError},
  };
  const std::string text = "{\"v\":1,\"params\":{}}";
  ASSERT_EQ(text.size(), 19u);
  for (const auto& c : cases) {
    ReportingStream stream(c.result, c.shortBy, c.reports);
    EXPECT_EQ(writeStateStream(&stream, text), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace orbel
