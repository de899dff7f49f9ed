// Controller activity seen on the audio thread, collected per controller
// number so the editor can show it at a limited rate ("orbel.midiCc").
//
// One recording thread (the audio thread) and one draining thread. Each
// controller number has its own atomic word, so the newest value per
// controller wins and nothing is queued: recording never allocates, never
// locks and never fails.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace orbel {

struct CcActivityRecord {
  uint8_t cc = 0;
  uint8_t channel = 0;
  uint8_t value = 0;
};

class CcActivityFeed {
public:
  static constexpr unsigned kControllers = 128;
  // At most one record per controller in this many milliseconds plus one.
  static constexpr int64_t kMinIntervalMs = 32;

  // Audio thread. A controller number outside 0..127 is ignored; the value is
  // clamped to 0..127 and the channel to 0..255.
  void record(int cc, int channel, int value);

  // The monotonic clock in whole milliseconds.
  static int64_t nowMs();

  // Draining thread: hands out at most `capacity` waiting records, lowest
  // controller number first, skipping controllers that were handed out
  // within the last 33 ms (they stay waiting).
  unsigned drain(int64_t nowMs, CcActivityRecord* out, unsigned capacity);

  // Whether some controller may be waiting.
  bool isPending() const { return pending.load(std::memory_order_acquire); }

  // Slot word: bit 16 = waiting, bits 8..15 channel, bits 0..6 value.
  std::atomic<uint32_t> slots[kControllers]{};
  std::atomic<bool> pending{false};
  int64_t lastEmitMs[kControllers] = {};  // draining thread only
};

static_assert(std::atomic<uint32_t>::is_always_lock_free);

// Appends {"type":"orbel.midiCc","cc":…,"channel":…,"value":…}.
void writeMidiCcJson(std::string& out, const CcActivityRecord& record);

}  // namespace orbel
