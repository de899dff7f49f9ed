#include "platform/linux/pipe_lines.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace orbel {

void PipeLineReader::append(const char* data, size_t size) {
  if (size == 0) return;
  // Handed-out bytes are dropped before the buffer grows.
  if (start_ > 0 && (start_ == buffer_.size() || start_ >= 65536)) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(data, size);
}

bool PipeLineReader::next(std::string& line) {
  for (;;) {
    const size_t from = start_ + scanned_;
    const void* found = from < buffer_.size()
                            ? std::memchr(buffer_.data() + from, '\n', buffer_.size() - from)
                            : nullptr;
    if (found == nullptr) {
      scanned_ = buffer_.size() - start_;
      if (!discarding_ && scanned_ > maxLine_) {
        discarding_ = true;
        ++dropped_;
      }
      if (discarding_) {
        // Nothing of this line is kept; the rest of it goes when it comes.
        buffer_.clear();
        start_ = 0;
        scanned_ = 0;
      }
      return false;
    }
    const size_t end = static_cast<size_t>(static_cast<const char*>(found) - buffer_.data());
    const size_t length = end - start_;
    const bool keep = !discarding_ && length <= maxLine_;
    if (!discarding_ && !keep) ++dropped_;
    if (keep) line.assign(buffer_, start_, length);
    start_ = end + 1;
    scanned_ = 0;
    discarding_ = false;
    if (keep) return true;
  }
}

bool PipeWriteQueue::push(std::string_view bytes) {
  if (bytes.size() > maxBytes_ - size()) return false;
  if (start_ > 0 && (start_ == buffer_.size() || start_ >= 65536)) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes.data(), bytes.size());
  return true;
}

PipeWriteQueue::Flush PipeWriteQueue::flush(int fd) {
  while (!empty()) {
    const long written = writeWithoutSigpipe(fd, buffer_.data() + start_, size());
    if (written > 0) {
      start_ += static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Flush::Pending;
    return Flush::Broken;
  }
  buffer_.clear();
  start_ = 0;
  return Flush::Done;
}

long writeWithoutSigpipe(int fd, const void* data, size_t size) {
  sigset_t pipeSignal, previous, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  const long written = static_cast<long>(::write(fd, data, size));
  const int error = errno;
  if (written < 0 && error == EPIPE && !alreadyPending) {
    const timespec zero{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return written;
}

}  // namespace orbel
