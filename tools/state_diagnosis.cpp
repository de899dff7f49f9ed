#include "tools/state_diagnosis.h"

#include <cstdio>

#include "json/json_read.h"

namespace orbel {

namespace {

struct Member {
  std::string key;
  std::size_t begin = 0;       // the key's opening quote
  std::size_t valueBegin = 0;  // the value's first byte
  std::size_t valueEnd = 0;    // one past the value
};

// The members of the object whose '{' is at `at`; false when it is not one
// well-formed object.
bool listMembers(const std::string& text, std::size_t at, std::vector<Member>& out) {
  out.clear();
  Reader r(text.data() + at, text.size() - at);
  const char* base = text.data();
  if (!consumeChar(r, '{')) return false;
  skipWhitespace(r);
  if (consumeChar(r, '}')) return true;
  for (;;) {
    skipWhitespace(r);
    Member m;
    m.begin = std::size_t(r.cursor - base);
    if (!parseString(r, &m.key) || !consumeChar(r, ':')) return false;
    skipWhitespace(r);
    m.valueBegin = std::size_t(r.cursor - base);
    if (!skipValue(r, 1)) return false;
    m.valueEnd = std::size_t(r.cursor - base);
    out.push_back(std::move(m));
    const int more = memberSeparator(r, '}');
    if (more == 0) return true;
    if (more < 0) return false;
  }
}

// The text without member i of `members` (and the comma that joined it).
std::string without(const std::string& text, const std::vector<Member>& members, std::size_t i) {
  std::size_t from = members[i].begin, to = members[i].valueEnd;
  if (i + 1 < members.size()) {
    to = members[i + 1].begin;
  } else if (i > 0) {
    from = members[i - 1].valueEnd;
  }
  return text.substr(0, from) + text.substr(to);
}

std::string excerpt(const std::string& text, std::size_t from, std::size_t to) {
  std::string shown = text.substr(from, std::min<std::size_t>(to - from, 60));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return to - from > 60 ? shown + "..." : shown;
}

std::string lineAndColumn(const std::string& text, std::size_t offset) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Where the text stops being one JSON object; empty when it is one.
std::string whereNotJson(const std::string& text) {
  Reader r(text.data(), text.size());
  skipWhitespace(r);
  const std::size_t start = std::size_t(r.cursor - text.data());
  if (r.atEnd()) return "it holds only white space";
  if (text.compare(start, 3, "\xEF\xBB\xBF") == 0) return "it starts with a byte-order mark";
  if (r.peek() != '{') {
    Reader value = r;
    if (skipValue(value, 0))
      return "it is JSON, but not an object (it starts with '" + text.substr(start, 1) + "')";
    return "it is not JSON (it starts with '" + excerpt(text, start, start + 12) + "')";
  }
  if (!skipValue(r, 0)) {
    const std::size_t at = std::min(std::size_t(r.cursor - text.data()), text.size());
    if (at >= text.size()) return "it is not JSON: the text ends inside the object (cut short?)";
    return "it is not JSON: it breaks off at " + lineAndColumn(text, at) + " ('" +
           excerpt(text, at, at + 16) + "')";
  }
  skipWhitespace(r);
  if (!r.atEnd()) {
    const std::size_t at = std::size_t(r.cursor - text.data());
    return "it is not one JSON object: more text follows at " + lineAndColumn(text, at);
  }
  return {};
}

// The member of the object at `at` that the plug-in stumbles on, as a path
// ("params"."osc.type" = value), or empty.
std::string culprit(const std::string& text, std::size_t at, const std::string& prefix, int depth,
                    const std::function<bool(const std::string&)>& accepts) {
  std::vector<Member> members;
  if (!listMembers(text, at, members)) return {};
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (!accepts(without(text, members, i))) continue;
    const Member& m = members[i];
    const std::string path = prefix + "\"" + m.key + "\"";
    if (depth < 3 && text[m.valueBegin] == '{') {
      const std::string inner = culprit(text, m.valueBegin, path + ".", depth + 1, accepts);
      if (!inner.empty()) return inner;
    }
    return path + " (" + excerpt(text, m.valueBegin, m.valueEnd) + ")";
  }
  return {};
}

}  // namespace

std::string explainRefusedState(const std::vector<uint8_t>& bytes,
                                const std::function<bool(const std::string&)>& accepts) {
  if (bytes.empty()) return "the file is empty";
  if (bytes.size() > kProbeStateMaxBytes) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "the file is %zu bytes; a state is read up to %zu bytes (16 MiB)", bytes.size(),
                  kProbeStateMaxBytes);
    return text;
  }
  const std::string text(bytes.begin(), bytes.end());
  const std::string notJson = whereNotJson(text);
  if (!notJson.empty()) return notJson;
  const std::size_t open = text.find('{');
  const std::string member = culprit(text, open, "", 0, accepts);
  if (!member.empty()) return "the plug-in cannot read its member " + member;
  return "it is a well-formed JSON object, but the plug-in refuses it as a whole";
}

}  // namespace orbel
