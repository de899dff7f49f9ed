#include "diagnostics/transport_ring.h"

#include <cstring>

namespace orbel {

DiagnosticTransportRing::DiagnosticTransportRing() {
  const TransportFact initial{};
  uint64_t words[kWords];
  std::memcpy(words, &initial, sizeof words);
  for (auto& slot : slots_) {
    for (std::size_t i = 0; i < kWords; ++i) slot[i].store(words[i], std::memory_order_relaxed);
  }
}

void DiagnosticTransportRing::push(const TransportFact& fact) {
  const uint32_t w = writeIndex_.load(std::memory_order_relaxed);
  uint32_t r = readIndex_.load(std::memory_order_acquire);
  if (w - r >= kSlots) {
    // Full: give up the oldest snapshot. If the consumer moved the read index
    // meanwhile, it has made room itself and nothing is lost.
    if (readIndex_.compare_exchange_strong(r, r + 1, std::memory_order_release,
                                           std::memory_order_relaxed)) {
      dropped_.fetch_add(1, std::memory_order_relaxed);
    }
  }
  uint64_t words[kWords];
  std::memcpy(words, &fact, sizeof words);
  // Orders the previous write-index store before the slot stores, so a
  // consumer that sees any of them also sees that the slot was reused.
  std::atomic_thread_fence(std::memory_order_release);
  auto& slot = slots_[w % kSlots];
  for (std::size_t i = 0; i < kWords; ++i) slot[i].store(words[i], std::memory_order_relaxed);
  writeIndex_.store(w + 1, std::memory_order_release);
}

bool DiagnosticTransportRing::drainLatest(TransportFact& out) {
  // A producer that laps us while we copy forces a retry; a few are plenty
  // (the producer pushes once per audio block).
  for (int attempt = 0; attempt < 16; ++attempt) {
    const uint32_t w = writeIndex_.load(std::memory_order_acquire);
    if (w == readIndex_.load(std::memory_order_relaxed)) return false;
    const uint32_t index = w - 1;
    uint64_t words[kWords];
    const auto& slot = slots_[index % kSlots];
    for (std::size_t i = 0; i < kWords; ++i) words[i] = slot[i].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    // The slot is rewritten only by the push of index + kSlots, which starts
    // after the write index reached index + kSlots.
    if (writeIndex_.load(std::memory_order_relaxed) - index >= kSlots) continue;
    std::memcpy(&out, words, sizeof words);
    // Move the read index up to w, never back (the producer may have moved it).
    uint32_t current = readIndex_.load(std::memory_order_relaxed);
    while (static_cast<int32_t>(w - current) > 0 &&
           !readIndex_.compare_exchange_weak(current, w, std::memory_order_release,
                                             std::memory_order_relaxed)) {
    }
    return true;
  }
  return false;
}

}  // namespace orbel
