#include "platform/linux/webview_helper/helper_channel.h"

#include <errno.h>
#include <unistd.h>

#include <cstdio>

namespace orbel {

bool HelperChannel::send(const WebViewPipeMessage& event) {
  std::string line;
  appendWebViewPipeLine(line, event);
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t wrote = ::write(eventFd_, line.data() + done, line.size() - done);
    if (wrote > 0) {
      done += static_cast<size_t>(wrote);
      continue;
    }
    if (wrote < 0 && errno == EINTR) continue;
    return false;
  }
  return true;
}

bool HelperChannel::readCommands(const std::function<void(const WebViewPipeMessage&)>& handle) {
  char chunk[65536];
  bool open = true;
  for (;;) {
    const ssize_t got = ::read(commandFd_, chunk, sizeof chunk);
    if (got > 0) {
      reader_.append(chunk, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    open = false;
    break;
  }
  std::string line;
  while (reader_.next(line)) {
    WebViewPipeMessage command;
    if (parseWebViewPipeLine(line, command))
      handle(command);
    else
      std::fprintf(stderr, "orbel-webview: skipped a malformed command (%zu bytes)\n", line.size());
  }
  return open;
}

}  // namespace orbel
