// The controller's face towards the editor glue: the web view (and an outside
// diagnostic client) deliver the page's messages here and install the one
// function through which the controller's announcements reach the page.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace orbel {

class BridgeHost {
public:
  BridgeHost() = default;
  BridgeHost(const BridgeHost&) = delete;
  BridgeHost& operator=(const BridgeHost&) = delete;
  virtual ~BridgeHost() = default;

  // One JSON message from the page; `data` need not be NUL-terminated.
  virtual void handleBridgeMessage(const char* data, size_t length) = 0;
  // Installs the function that delivers JSON to the page; an empty function
  // removes the current one.
  virtual void setBridgeSink(std::function<void(const std::string&)> sink) = 0;
  // The page was loaded into a new web view.
  virtual void onEditorOpened() = 0;
  // The web view was detached.
  virtual void onEditorClosed() = 0;
  // The editor could not be shown; `reason` may be null.
  virtual void onEditorError(const char* reason) = 0;
};

}  // namespace orbel
