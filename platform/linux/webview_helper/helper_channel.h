#pragma once
// The helper's ends of its two pipes to the plug-in: commands in (read when
// GLib says the descriptor is readable), events out (blocking writes: the
// helper has nothing better to do than wait for the plug-in to read).
#include <functional>
#include <string>

#include "platform/linux/pipe_lines.h"
#include "platform/linux/webview_protocol.h"

namespace orbel {

class HelperChannel {
public:
  HelperChannel(int commandFd, int eventFd) : commandFd_(commandFd), eventFd_(eventFd) {}

  // Sends one event; false when the plug-in is gone.
  bool send(const WebViewPipeMessage& event);

  // Reads what is there and calls `handle` for each command line that
  // parses. False at the end of the command pipe (the plug-in is done).
  bool readCommands(const std::function<void(const WebViewPipeMessage&)>& handle);

  int commandFd() const { return commandFd_; }

private:
  int commandFd_;
  int eventFd_;
  PipeLineReader reader_{kWebViewPipeMaxLine};
};

}  // namespace orbel
