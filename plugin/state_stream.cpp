#include "plugin/state_stream.h"

namespace orbel {

using namespace Steinberg;

bool readStateStream(IBStream* stream, std::string& text) {
  constexpr int32 kReadChunk = 4096;
  char buffer[kReadChunk];
  for (;;) {
    int32 got = 0;
    // The result is not trusted to mean "no bytes": some streams answer
    // kResultFalse for the read that reaches the end while still handing over
    // what it read. Only a read that hands over nothing ends the text.
    stream->read(buffer, kReadChunk, &got);
    if (got <= 0) return true;
    if (got > kReadChunk) got = kReadChunk;  // a stream that claims more than it was given
    if (text.size() + static_cast<size_t>(got) > kMaxStateStreamBytes) return false;
    text.append(buffer, static_cast<size_t>(got));
  }
}

Steinberg::tresult writeStateStream(Steinberg::IBStream* stream, const std::string& text) {
  Steinberg::int32 written = -1;
  const Steinberg::tresult result = stream->write(
      const_cast<char*>(text.data()), static_cast<Steinberg::int32>(text.size()), &written);
  if (result != Steinberg::kResultOk) return result;
  if (written >= 0 && written != static_cast<Steinberg::int32>(text.size()))
    return Steinberg::kResultFalse;
  return Steinberg::kResultOk;
}

}  // namespace orbel
