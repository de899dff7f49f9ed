#include "ccmap/cc_activity_feed.h"

#include <chrono>

#include "json/json_write.h"

namespace orbel {
namespace {

constexpr uint32_t kWaitingBit = 1u << 16;

int clampInt(int x, int lo, int hi) { return x < lo ? lo : (x > hi ? hi : x); }

}  // namespace

void CcActivityFeed::record(int cc, int channel, int value) {
  if (cc < 0 || cc >= static_cast<int>(kControllers)) return;
  // Out-of-range input is clamped rather than masked: a value of 128 must not
  // show up as 0.
  const uint32_t word = kWaitingBit | static_cast<uint32_t>(clampInt(channel, 0, 255)) << 8 |
                        static_cast<uint32_t>(clampInt(value, 0, 127));
  // Sequentially consistent, together with the drainer's clearing of
  // `pending` and its re-check of the slots: either the drainer sees this
  // word, or it sees `pending` raised again. Plain stores on x86.
  slots[cc].store(word, std::memory_order_seq_cst);
  pending.store(true, std::memory_order_seq_cst);
}

int64_t CcActivityFeed::nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

unsigned CcActivityFeed::drain(int64_t now, CcActivityRecord* out, unsigned capacity) {
  if (out == nullptr || capacity == 0) return 0;
  unsigned written = 0;
  bool more = false;
  for (unsigned cc = 0; cc < kControllers; ++cc) {
    if ((slots[cc].load(std::memory_order_relaxed) & kWaitingBit) == 0) continue;
    if (written == capacity || now - lastEmitMs[cc] <= kMinIntervalMs) {
      more = true;
      continue;
    }
    const uint32_t word = slots[cc].exchange(0, std::memory_order_acquire);
    if ((word & kWaitingBit) == 0) continue;
    out[written].cc = static_cast<uint8_t>(cc);
    out[written].channel = static_cast<uint8_t>((word >> 8) & 0xFF);
    out[written].value = static_cast<uint8_t>(word & 0x7F);
    ++written;
    lastEmitMs[cc] = now;
  }
  pending.store(more, std::memory_order_seq_cst);
  if (!more) {
    // A record that arrived during the scan may have had its `pending` flag
    // overwritten just now: look once more.
    for (unsigned cc = 0; cc < kControllers; ++cc) {
      if (slots[cc].load(std::memory_order_seq_cst) & kWaitingBit) {
        pending.store(true, std::memory_order_seq_cst);
        break;
      }
    }
  }
  return written;
}

void writeMidiCcJson(std::string& out, const CcActivityRecord& record) {
  out += "{\"type\":\"orbel.midiCc\",\"cc\":";
  jsonAppendNumber(out, static_cast<double>(record.cc));
  out += ",\"channel\":";
  jsonAppendNumber(out, static_cast<double>(record.channel));
  out += ",\"value\":";
  jsonAppendNumber(out, static_cast<double>(record.value));
  out += "}";
}

}  // namespace orbel
