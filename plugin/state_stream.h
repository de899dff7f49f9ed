// Reading a whole state text from a host's stream, shared by the processor's
// and the controller's state restores so both accept the same streams.
#pragma once

#include <cstddef>
#include <string>

#include "pluginterfaces/base/ibstream.h"

namespace orbel {

// Far above any real document (the largest member, authored bytes, is capped
// at 1 MiB before base64); stops a runaway stream from exhausting memory.
inline constexpr size_t kMaxStateStreamBytes = 16u << 20;

// Appends the stream's bytes to `text` in 4096-byte reads until a read fails
// or returns no bytes. Hosts may hand out fewer bytes than asked for before
// the end, so a short read does not end the text. False when the stream holds
// more than kMaxStateStreamBytes (the text is then incomplete).
bool readStateStream(Steinberg::IBStream* stream, std::string& text);

} // namespace orbel
