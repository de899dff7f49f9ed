// Stands in for orbel-webview in tests: speaks the helper's side of the line
// protocol on descriptors 3 and 4, without any window. What it receives is
// logged, one line per command, to $ORBEL_FAKE_HELPER_LOG; how it behaves
// is $ORBEL_FAKE_HELPER_MODE:
//   page        (default) "ready", then asks for every path of
//               $ORBEL_FAKE_HELPER_REQUESTS (comma-separated); once all are
//               answered it posts {"type":"orbel.ready"}; answers "frame"
//   quit-early  reads "open" and exits before "ready"
//   give-up     answers "open" with "failed" and exits
//   deaf        "ready", then never reads again (until killed)
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/pipe_lines.h"
#include "platform/linux/webview_protocol.h"

using namespace orbel;

namespace {

std::FILE* logFile = nullptr;

void logLine(const std::string& text) {
  if (logFile == nullptr) return;
  std::fprintf(logFile, "%s\n", text.c_str());
  std::fflush(logFile);
}

void send(const WebViewPipeMessage& m) {
  std::string line;
  appendWebViewPipeLine(line, m);
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(4, line.data() + done, line.size() - done);
    if (n <= 0) std::_Exit(0);
    done += static_cast<size_t>(n);
  }
}

std::vector<std::string> split(const char* text) {
  std::vector<std::string> out;
  if (text == nullptr || *text == 0) return out;
  std::string all(text);
  size_t start = 0;
  for (;;) {
    const size_t comma = all.find(',', start);
    out.push_back(all.substr(start, comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

}  // namespace

int main() {
  std::signal(SIGPIPE, SIG_IGN);
  const char* mode = std::getenv("ORBEL_FAKE_HELPER_MODE");
  const std::string how = mode != nullptr ? mode : "page";
  if (const char* path = std::getenv("ORBEL_FAKE_HELPER_LOG")) logFile = std::fopen(path, "a");
  const std::vector<std::string> requests = split(std::getenv("ORBEL_FAKE_HELPER_REQUESTS"));
  size_t answered = 0;

  PipeLineReader reader(kWebViewPipeMaxLine);
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(3, chunk, sizeof chunk);
    if (got <= 0) {
      logLine("eof");
      return 0;
    }
    reader.append(chunk, static_cast<size_t>(got));
    std::string line;
    while (reader.next(line)) {
      WebViewPipeMessage m;
      if (!parseWebViewPipeLine(line, m)) {
        logLine("malformed");
        continue;
      }
      switch (m.kind) {
        case WebViewPipeKind::Open: {
          logLine("open " + std::to_string(m.window) + " " + std::to_string(m.width) + "x" +
                  std::to_string(m.height) + " " + m.url + " " + m.scheme + " " + m.handler +
                  " script " + std::to_string(m.script.size()));
          if (how == "quit-early") return 3;
          if (how == "give-up") {
            WebViewPipeMessage failed;
            failed.kind = WebViewPipeKind::Failed;
            failed.text = "no display here";
            send(failed);
            return 1;
          }
          WebViewPipeMessage ready;
          ready.kind = WebViewPipeKind::Ready;
          send(ready);
          if (how == "deaf") {
            for (;;) ::pause();
          }
          for (size_t i = 0; i < requests.size(); ++i) {
            WebViewPipeMessage request;
            request.kind = WebViewPipeKind::Request;
            request.id = i + 1;
            request.text = requests[i];
            send(request);
          }
          break;
        }
        case WebViewPipeKind::Answer:
        case WebViewPipeKind::Fail: {
          if (m.kind == WebViewPipeKind::Answer)
            logLine("answer " + std::to_string(m.id) + " " + m.text + " " +
                    std::string(m.data.begin(), m.data.end()));
          else
            logLine("fail " + std::to_string(m.id) + " " + std::to_string(m.code));
          if (++answered == requests.size()) {
            WebViewPipeMessage message;
            message.kind = WebViewPipeKind::Message;
            message.text = R"({"type":"orbel.ready"})";
            send(message);
          }
          break;
        }
        case WebViewPipeKind::Eval:
          logLine("eval " + m.script.substr(0, 70));
          break;
        case WebViewPipeKind::Frame: {
          logLine("frame " + std::to_string(m.id));
          WebViewPipeMessage frame;
          frame.kind = WebViewPipeKind::Frame;
          frame.id = m.id;
          send(frame);
          break;
        }
        case WebViewPipeKind::Resize:
          logLine("resize " + std::to_string(m.width) + "x" + std::to_string(m.height));
          break;
        default:
          logLine("unexpected " + std::string(webViewPipeTypeName(m.kind)));
          break;
      }
    }
  }
}
