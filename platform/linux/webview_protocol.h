#pragma once
// The messages between the plug-in and its web view helper
// (orbel-webview), one JSON object per line, each line made line-safe
// (json/line_safe.h) so no string can break the framing:
//
// plug-in → helper
//   {"type":"open","window":N,"width":W,"height":H,"url":S,"scheme":S,"script":S,"handler":S}
//   {"type":"eval","script":S}                   run S in the page
//   {"type":"answer","id":N,"mime":S,"data":B64} the body of request N
//   {"type":"fail","id":N,"code":C}              request N fails with C
//   {"type":"frame","id":N}                      say "frame" N once the page drew
//   {"type":"resize","width":W,"height":H}
// helper → plug-in
//   {"type":"ready"}                             the page is loading
//   {"type":"message","text":S}                  the page posted S
//   {"type":"request","id":N,"path":S}           the page asks for path S
//   {"type":"frame","id":N}
//   {"type":"failed","reason":S}                 the helper gives up and ends
//
// The end of the plug-in's pipe tells the helper to go. Both sides read with
// parseWebViewPipeLine, which accepts exactly these shapes (unknown members
// are skipped) and nothing else.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orbel {

enum class WebViewPipeKind : uint8_t {
  Open = 0,
  Eval,
  Answer,
  Fail,
  Frame,
  Resize,
  Ready,
  Message,
  Request,
  Failed,
};

// Longest line either side reads (an answer carries a whole file in base64).
inline constexpr size_t kWebViewPipeMaxLine = 48u * 1024 * 1024;
// Largest body an answer may carry.
inline constexpr size_t kWebViewPipeMaxBody = 32u * 1024 * 1024;
// Largest window side.
inline constexpr int32_t kWebViewPipeMaxSide = 16384;

struct WebViewPipeMessage {
  WebViewPipeKind kind = WebViewPipeKind::Ready;
  uint64_t id = 0;      // request id, frame token
  int32_t code = 0;     // fail
  uint64_t window = 0;  // open
  int32_t width = 0;    // open, resize: 1..kWebViewPipeMaxSide
  int32_t height = 0;
  std::string url;            // open
  std::string scheme;         // open
  std::string handler;        // open
  std::string script;         // open (document-start script), eval
  std::string text;           // answer: MIME type; message: text; request: path; failed: reason
  std::vector<uint8_t> data;  // answer
};

// The type name of a kind ("open", "eval", …).
const char* webViewPipeTypeName(WebViewPipeKind kind);

// Appends one line (with its '\n') carrying the members `message.kind` uses.
void appendWebViewPipeLine(std::string& out, const WebViewPipeMessage& message);

// Reads one line (without its '\n'). False, with `out` unspecified, for
// anything that is not one object of a known type with all its members of
// the right kinds and in range.
bool parseWebViewPipeLine(std::string_view line, WebViewPipeMessage& out);

}  // namespace orbel
