#pragma once
// An embedded web view inside a native window of the host, as the editor
// needs it: load one address through the private scheme whose requests the
// caller answers, run a script at document start in the top frame, receive
// the page's posted messages as text, evaluate script text in the page.
// Where the web view really runs is the platform's business (on Linux a
// helper program, platform/linux/helper_web_view.*), so the host process
// never loads a GUI toolkit.
//
// Everything here is called, and calls back, on the thread of the run loop
// it was opened on (the host's UI thread). Nothing blocks that thread: what
// cannot be handed over at once waits in a queue.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/run_loop.h"

namespace orbel {

// What the web view reports, on the run loop's thread. A callback may close
// the web view (destroy it) from inside the call.
class WebViewEvents {
public:
  // One message the page posted (its text, as posted).
  virtual void onWebViewMessage(std::string_view text) = 0;
  // The page asks for `path` (the request URL's path, percent escapes
  // kept) of the private scheme; answer with answerRequest or failRequest.
  virtual void onWebViewRequest(uint64_t request, std::string_view path) = 0;
  // The page has painted at least one frame since requestFrame(`token`).
  virtual void onWebViewFrame(uint64_t token) = 0;
  // The web view can no longer show anything (it could not be created, or
  // it went away); `reason` is a short text. Nothing more is reported.
  virtual void onWebViewFailed(std::string_view reason) = 0;

protected:
  ~WebViewEvents() = default;
};

struct WebViewSetup {
  uint64_t parentWindow = 0;  // the host's native window (an X11 window id on Linux)
  int width = 0;
  int height = 0;
  std::string url;                  // the address to load
  std::string scheme;               // the private scheme whose requests are reported
  std::string documentStartScript;  // injected at document start, top frame only
  std::string messageHandler;  // the name the page posts to (window.webkit.messageHandlers.<name>)
  // Where the platform's web view program is, for platforms that run one;
  // empty: the one shipped beside the loaded module image.
  std::string helperPath;
  // What may wait for the web view to read it; beyond that it is taken as
  // stuck and reported failed.
  size_t writeQueueLimit = 64u * 1024 * 1024;
};

class WebView {
public:
  WebView() = default;
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;
  // Closes the web view: it leaves the host's window, and whatever runs it
  // ends (a helper program is waited for, briefly, then killed).
  virtual ~WebView() = default;

  // Runs `script` in the page (no result is returned). Dropped after failure.
  virtual void evaluateScript(std::string_view script) = 0;
  // The answer to a request: the whole body and its MIME type.
  virtual void answerRequest(uint64_t request, std::string_view mimeType, const uint8_t* data,
                             size_t size) = 0;
  // A failed load with `code` (the page sees a network error).
  virtual void failRequest(uint64_t request, int code) = 0;
  // Asks for onWebViewFrame(token) once the page has drawn what it was last
  // asked to show (two animation frames later).
  virtual void requestFrame(uint64_t token) = 0;
  virtual void resize(int width, int height) = 0;
  // The process that runs the web view, 0 when none or gone.
  virtual int processId() const = 0;
};

// The kind of host window this platform's web view embeds into, named as
// VST 3 names platform types: "X11EmbedWindowID" (an X11 window id) on
// Linux; a macOS build would answer "NSView".
const char* webViewWindowType();

// Opens a web view on `loop`; null (with `error` set) when it cannot start.
// Failures after the start are reported through events.onWebViewFailed.
std::unique_ptr<WebView> openWebView(RunLoop& loop, WebViewEvents& events,
                                     const WebViewSetup& setup, std::string& error);

}  // namespace orbel
