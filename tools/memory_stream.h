// A growable in-memory IBStream, the host side of getState/setState. State
// files are read into one and written from one, so a module sees the same
// stream whether the bytes came from disk or from another instance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pluginterfaces/base/ibstream.h"

namespace orbel {

class MemoryStream : public Steinberg::IBStream {
public:
  MemoryStream();
  explicit MemoryStream(std::vector<uint8_t> bytes);
  virtual ~MemoryStream();

  Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                     Steinberg::int32* numBytesRead) override;
  Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                      Steinberg::int32* numBytesWritten) override;
  Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode,
                                     Steinberg::int64* result) override;
  Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

  DECLARE_FUNKNOWN_METHODS

  const std::vector<uint8_t>& bytes() const { return data_; }
  void rewind() { position_ = 0; }

private:
  std::vector<uint8_t> data_;
  std::size_t position_ = 0;
};

// Whole-file helpers; on failure they return false and fill `error` with a
// one-line reason.
bool readFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error);
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

}  // namespace orbel
