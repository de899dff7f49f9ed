#pragma once
// Newline-framed messages over a pair of pipes between the plug-in and its
// web view helper. The reader splits whatever arrived into lines and drops a
// line that grows beyond its limit (and only that line). The write queue
// keeps what a non-blocking pipe did not take yet, so the plug-in's side
// never waits for the other; a reader that went away is reported, never
// raised as SIGPIPE in the host.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orbel {

class PipeLineReader {
public:
  explicit PipeLineReader(size_t maxLineBytes) : maxLine_(maxLineBytes) {}

  void append(const char* data, size_t size);
  // The next complete line without its '\n'; false when none is complete.
  bool next(std::string& line);
  // Lines dropped for their length so far.
  size_t droppedLines() const { return dropped_; }
  size_t bufferedBytes() const { return buffer_.size() - start_; }

private:
  size_t maxLine_;
  std::string buffer_;
  size_t start_ = 0;         // first byte not yet handed out
  size_t scanned_ = 0;       // bytes after start_ known to hold no '\n'
  bool discarding_ = false;  // inside a line that was too long
  size_t dropped_ = 0;
};

class PipeWriteQueue {
public:
  enum class Flush : uint8_t {
    Done = 0,     // everything was written
    Pending = 1,  // the pipe is full; call again later
    Broken = 2,   // the reader is gone (or the descriptor failed)
  };

  explicit PipeWriteQueue(size_t maxBytes) : maxBytes_(maxBytes) {}

  // Queues bytes; false (nothing queued) when the queue would exceed its limit.
  bool push(std::string_view bytes);
  // Writes what the descriptor takes without blocking.
  Flush flush(int fd);
  bool empty() const { return start_ == buffer_.size(); }
  size_t size() const { return buffer_.size() - start_; }

private:
  size_t maxBytes_;
  std::string buffer_;
  size_t start_ = 0;
};

// One write(2) that never raises SIGPIPE in the calling process: EPIPE is
// returned as an error instead (the signal is held back on this thread for
// the call and a pending one it caused is consumed).
long writeWithoutSigpipe(int fd, const void* data, size_t size);

}  // namespace orbel
