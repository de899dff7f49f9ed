#include "tools/line_reader.h"

#include <cstring>

namespace orbel {

void LineReader::feed(const char* data, std::size_t length, const OnLine& onLine) {
  while (length > 0) {
    const char* newline = static_cast<const char*>(std::memchr(data, '\n', length));
    const std::size_t take = newline ? static_cast<std::size_t>(newline - data) : length;
    if (!overflowed_) {
      if (pending_.size() + take > maxLineBytes_) {
        overflowed_ = true;
        pending_.clear();
        pending_.shrink_to_fit();
      } else {
        pending_.append(data, take);
      }
    }
    if (newline == nullptr) return;
    emit(onLine);
    data = newline + 1;
    length -= take + 1;
  }
}

void LineReader::finish(const OnLine& onLine) {
  if (!pending_.empty() || overflowed_) emit(onLine);
}

void LineReader::emit(const OnLine& onLine) {
  InputLine line;
  line.number = ++lines_;
  line.tooLong = overflowed_;
  if (!overflowed_) {
    if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
    line.text = pending_;
  }
  onLine(line);
  pending_.clear();
  overflowed_ = false;
}

}  // namespace orbel
