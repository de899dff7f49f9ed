// Splits a byte stream into lines as it arrives: "\n" ends a line, a "\r"
// before it is dropped, and a last line without "\n" counts at the end. A
// line longer than the limit is not kept; it is reported as too long once
// its end arrives.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace orbel {

struct InputLine {
  std::string_view text;   // empty for a line that was too long
  std::size_t number = 0;  // 1 for the first line
  bool tooLong = false;
};

class LineReader {
public:
  using OnLine = std::function<void(const InputLine&)>;

  explicit LineReader(std::size_t maxLineBytes) : maxLineBytes_(maxLineBytes) {}

  void feed(const char* data, std::size_t length, const OnLine& onLine);
  // The end of the stream: an unterminated last line is handed over.
  void finish(const OnLine& onLine);

private:
  void emit(const OnLine& onLine);

  std::size_t maxLineBytes_;
  std::string pending_;
  bool overflowed_ = false;
  std::size_t lines_ = 0;
};

}  // namespace orbel
