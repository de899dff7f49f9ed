// Why a plug-in refused a state file, in words a user can act on: the file
// is empty or too large, it is not JSON (and where it stops being JSON), or
// which member the plug-in stumbles on. The last is found by asking the
// plug-in itself: the document is offered again without one member at a time
// (and inside the first object member that explains it, without one of its
// members), so the answer holds for whatever format the plug-in reads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orbel {

// Mirel reads a state of at most this many bytes (a stream guard far above
// any real document).
inline constexpr std::size_t kProbeStateMaxBytes = 16u << 20;

// `accepts` loads a candidate document into the plug-in and says whether it
// took it. Returns one line without a final period.
std::string explainRefusedState(const std::vector<uint8_t>& bytes,
                                const std::function<bool(const std::string&)>& accepts);

}  // namespace orbel
