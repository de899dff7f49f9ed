// Bytes as they come down a helper pipe, cut into reads of any length: the
// line reader never keeps more than its limit of one line, every line either
// is refused or parses to a message that writes back to a line parsing to
// the same message.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/linux/pipe_lines.h"
#include "platform/linux/webview_protocol.h"

namespace {

constexpr size_t kLimit = 4096;  // small, so overlong lines are reached

bool same(const orbel::WebViewPipeMessage& a, const orbel::WebViewPipeMessage& b) {
  return a.kind == b.kind && a.id == b.id && a.code == b.code && a.window == b.window &&
         a.width == b.width && a.height == b.height && a.url == b.url && a.scheme == b.scheme &&
         a.handler == b.handler && a.script == b.script && a.text == b.text && a.data == b.data;
}

void check(const std::string& line) {
  orbel::WebViewPipeMessage message;
  if (!orbel::parseWebViewPipeLine(line, message)) return;
  std::string again;
  orbel::appendWebViewPipeLine(again, message);
  if (again.empty() || again.back() != '\n' || again.find('\n') != again.size() - 1) std::abort();
  orbel::WebViewPipeMessage back;
  if (!orbel::parseWebViewPipeLine(std::string_view(again).substr(0, again.size() - 1), back))
    std::abort();
  if (!same(message, back)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the read size; the rest is the stream.
  const size_t piece = 1 + data[0] % 97;
  const char* stream = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  // Each whole input as one line too.
  check(std::string(stream, length));
  orbel::PipeLineReader reader(kLimit);
  std::string line;
  for (size_t at = 0; at < length; at += piece) {
    const size_t n = length - at < piece ? length - at : piece;
    reader.append(stream + at, n);
    while (reader.next(line)) {
      if (line.size() > kLimit || line.find('\n') != std::string::npos) std::abort();
      check(line);
    }
    if (reader.bufferedBytes() > kLimit + piece) std::abort();
  }
  return 0;
}
