// Reading and writing a whole state text through a host's stream, shared by
// the processor and the controller so both treat streams alike.
#pragma once

#include <cstddef>
#include <string>

#include "pluginterfaces/base/ibstream.h"

namespace orbel {

// Far above any real document (the largest member, authored bytes, is capped
// at 1 MiB before base64); stops a runaway stream from exhausting memory.
inline constexpr size_t kMaxStateStreamBytes = 16u << 20;

// Appends the stream's bytes to `text` in 4096-byte reads until a read hands
// over no bytes, whatever each read's result: every byte handed over is kept.
// Hosts may hand out fewer bytes than asked for before the end, so a short
// read does not end the text either. False when the stream holds more than
// kMaxStateStreamBytes (the text is then incomplete).
bool readStateStream(Steinberg::IBStream* stream, std::string& text);

// Writes `text` with one write call and returns the stream's result. A stream
// that reports having taken only part of the text fails the save: the project
// would hold a state that cannot be read back. A stream that leaves the
// written count unreported is trusted on its result.
Steinberg::tresult writeStateStream(Steinberg::IBStream* stream, const std::string& text);

}  // namespace orbel
