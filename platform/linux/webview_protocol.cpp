#include "platform/linux/webview_protocol.h"

#include <cmath>

#include "json/json_read.h"
#include "json/json_write.h"
#include "json/line_safe.h"

namespace orbel {

namespace {

constexpr double kMaxId = 9007199254740991.0;  // 2^53 - 1: every integer up to it is exact

struct TypeName {
  WebViewPipeKind kind;
  const char* name;
};

constexpr TypeName kTypeNames[] = {
    {WebViewPipeKind::Open, "open"},       {WebViewPipeKind::Eval, "eval"},
    {WebViewPipeKind::Answer, "answer"},   {WebViewPipeKind::Fail, "fail"},
    {WebViewPipeKind::Frame, "frame"},     {WebViewPipeKind::Resize, "resize"},
    {WebViewPipeKind::Ready, "ready"},     {WebViewPipeKind::Message, "message"},
    {WebViewPipeKind::Request, "request"}, {WebViewPipeKind::Failed, "failed"},
};

void appendKey(std::string& out, const char* key) {
  out += ",\"";
  out += key;
  out += "\":";
}

void appendText(std::string& out, const char* key, const std::string& value) {
  appendKey(out, key);
  jsonAppendQuoted(out, value.data(), value.size());
}

void appendInteger(std::string& out, const char* key, double value) {
  appendKey(out, key);
  jsonAppendNumber(out, value);
}

bool readText(const JsonValue& object, const char* key, std::string& out) {
  const JsonValue* value = object.find(key);
  if (value == nullptr || !value->isString()) return false;
  out = value->text;
  return true;
}

bool readInteger(const JsonValue& object, const char* key, double low, double high, double& out) {
  const JsonValue* value = object.find(key);
  if (value == nullptr || !value->isNumber()) return false;
  const double v = value->number;
  if (!std::isfinite(v) || v != std::floor(v) || v < low || v > high) return false;
  out = v;
  return true;
}

bool readSides(const JsonValue& object, WebViewPipeMessage& out) {
  double width = 0, height = 0;
  if (!readInteger(object, "width", 1, kWebViewPipeMaxSide, width) ||
      !readInteger(object, "height", 1, kWebViewPipeMaxSide, height))
    return false;
  out.width = static_cast<int32_t>(width);
  out.height = static_cast<int32_t>(height);
  return true;
}

bool readId(const JsonValue& object, WebViewPipeMessage& out) {
  double id = 0;
  if (!readInteger(object, "id", 0, kMaxId, id)) return false;
  out.id = static_cast<uint64_t>(id);
  return true;
}

}  // namespace

const char* webViewPipeTypeName(WebViewPipeKind kind) {
  for (const TypeName& t : kTypeNames)
    if (t.kind == kind) return t.name;
  return "unknown";
}

void appendWebViewPipeLine(std::string& out, const WebViewPipeMessage& m) {
  std::string line = "{\"type\":\"";
  line += webViewPipeTypeName(m.kind);
  line += '"';
  switch (m.kind) {
    case WebViewPipeKind::Open:
      appendInteger(line, "window", static_cast<double>(m.window));
      appendInteger(line, "width", m.width);
      appendInteger(line, "height", m.height);
      appendText(line, "url", m.url);
      appendText(line, "scheme", m.scheme);
      appendText(line, "script", m.script);
      appendText(line, "handler", m.handler);
      break;
    case WebViewPipeKind::Eval:
      appendText(line, "script", m.script);
      break;
    case WebViewPipeKind::Answer:
      appendInteger(line, "id", static_cast<double>(m.id));
      appendText(line, "mime", m.text);
      appendKey(line, "data");
      line += '"';
      base64Append(line, m.data.data(), m.data.size());
      line += '"';
      break;
    case WebViewPipeKind::Fail:
      appendInteger(line, "id", static_cast<double>(m.id));
      appendInteger(line, "code", m.code);
      break;
    case WebViewPipeKind::Frame:
      appendInteger(line, "id", static_cast<double>(m.id));
      break;
    case WebViewPipeKind::Resize:
      appendInteger(line, "width", m.width);
      appendInteger(line, "height", m.height);
      break;
    case WebViewPipeKind::Ready:
      break;
    case WebViewPipeKind::Message:
      appendText(line, "text", m.text);
      break;
    case WebViewPipeKind::Request:
      appendInteger(line, "id", static_cast<double>(m.id));
      appendText(line, "path", m.text);
      break;
    case WebViewPipeKind::Failed:
      appendText(line, "reason", m.text);
      break;
  }
  line += '}';
  appendLineSafeJson(out, line);
  out += '\n';
}

bool parseWebViewPipeLine(std::string_view line, WebViewPipeMessage& out) {
  out = WebViewPipeMessage{};
  // The document reader wants a terminated range; a copy gives it one.
  const std::string text(line);
  JsonReader reader(text.data(), text.data() + text.size());
  JsonValue object;
  if (!reader.value(object, 0)) return false;
  reader.skipWhitespace();
  if (!reader.atEnd() || !object.isObject()) return false;
  std::string type;
  if (!readText(object, "type", type)) return false;
  bool known = false;
  for (const TypeName& t : kTypeNames) {
    if (type == t.name) {
      out.kind = t.kind;
      known = true;
    }
  }
  if (!known) return false;
  switch (out.kind) {
    case WebViewPipeKind::Open: {
      double window = 0;
      if (!readInteger(object, "window", 0, kMaxId, window)) return false;
      out.window = static_cast<uint64_t>(window);
      return readSides(object, out) && readText(object, "url", out.url) &&
             readText(object, "scheme", out.scheme) && readText(object, "script", out.script) &&
             readText(object, "handler", out.handler);
    }
    case WebViewPipeKind::Eval:
      return readText(object, "script", out.script);
    case WebViewPipeKind::Answer: {
      std::string data;
      return readId(object, out) && readText(object, "mime", out.text) &&
             readText(object, "data", data) && base64Decode(data, out.data, kWebViewPipeMaxBody);
    }
    case WebViewPipeKind::Fail: {
      double code = 0;
      if (!readId(object, out) || !readInteger(object, "code", -2147483648.0, 2147483647.0, code))
        return false;
      out.code = static_cast<int32_t>(code);
      return true;
    }
    case WebViewPipeKind::Frame:
      return readId(object, out);
    case WebViewPipeKind::Resize:
      return readSides(object, out);
    case WebViewPipeKind::Ready:
      return true;
    case WebViewPipeKind::Message:
      return readText(object, "text", out.text);
    case WebViewPipeKind::Request:
      return readId(object, out) && readText(object, "path", out.text);
    case WebViewPipeKind::Failed:
      return readText(object, "reason", out.text);
  }
  return false;
}

}  // namespace orbel
