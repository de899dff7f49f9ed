#include "tools/memory_stream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace orbel {

using namespace Steinberg;

IMPLEMENT_FUNKNOWN_METHODS(MemoryStream, IBStream, IBStream::iid)

MemoryStream::MemoryStream(){FUNKNOWN_CTOR}

MemoryStream::MemoryStream(std::vector<uint8_t> bytes)
    : data_(std::move(bytes)){FUNKNOWN_CTOR}

      MemoryStream::~MemoryStream(){FUNKNOWN_DTOR}

      tresult PLUGIN_API MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
  if (numBytesRead) *numBytesRead = 0;
  if (numBytes < 0 || (buffer == nullptr && numBytes > 0)) return kInvalidArgument;
  std::size_t available = position_ < data_.size() ? data_.size() - position_ : 0;
  std::size_t n = std::min<std::size_t>(available, static_cast<std::size_t>(numBytes));
  if (n > 0) std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  if (numBytesRead) *numBytesRead = static_cast<int32>(n);
  return kResultOk;
}

tresult PLUGIN_API MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
  if (numBytesWritten) *numBytesWritten = 0;
  if (numBytes < 0 || (buffer == nullptr && numBytes > 0)) return kInvalidArgument;
  const std::size_t n = static_cast<std::size_t>(numBytes);
  try {
    if (position_ + n > data_.size()) data_.resize(position_ + n);
  } catch (...) {  // bad_alloc or length_error after a far seek
    return kOutOfMemory;
  }
  if (n > 0) std::memcpy(data_.data() + position_, buffer, n);
  position_ += n;
  if (numBytesWritten) *numBytesWritten = numBytes;
  return kResultOk;
}

tresult PLUGIN_API MemoryStream::seek(int64 pos, int32 mode, int64* result) {
  int64 base = 0;
  switch (mode) {
    case kIBSeekSet:
      base = 0;
      break;
    case kIBSeekCur:
      base = static_cast<int64>(position_);
      break;
    case kIBSeekEnd:
      base = static_cast<int64>(data_.size());
      break;
    default:
      return kInvalidArgument;
  }
  if ((pos > 0 && base > std::numeric_limits<int64>::max() - pos)) return kInvalidArgument;
  const int64 target = base + pos;
  if (target < 0) return kInvalidArgument;
  // Seeking past the end is allowed, as with a file; a later write fills the gap.
  position_ = static_cast<std::size_t>(target);
  if (result) *result = target;
  return kResultOk;
}

tresult PLUGIN_API MemoryStream::tell(int64* pos) {
  if (pos == nullptr) return kInvalidArgument;
  *pos = static_cast<int64>(position_);
  return kResultOk;
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  uint8_t chunk[65536];
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
    out.insert(out.end(), chunk, chunk + n);
    if (n < sizeof chunk) break;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    error = "cannot read '" + path + "'";
    return false;
  }
  return true;
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    error = "cannot create '" + path + "': " + std::strerror(errno);
    return false;
  }
  const bool wrote = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!wrote || !closed) {
    error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

}  // namespace orbel
