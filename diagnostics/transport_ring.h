// A wait-free single-producer, single-consumer ring of transport snapshots:
// the audio thread pushes one per block, the message side takes only the
// newest. A full ring gives up its oldest snapshot rather than blocking the
// audio thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "diagnostics/host_facts.h"

namespace orbel {

class DiagnosticTransportRing {
public:
  static constexpr uint32_t kSlots = 32;

  DiagnosticTransportRing();

  // Producer (audio thread): wait-free, allocation-free.
  void push(const TransportFact& fact);

  // Consumer (one non-audio thread): the newest snapshot since the last drain;
  // false when nothing was pushed since. Older snapshots are skipped.
  bool drainLatest(TransportFact& out);

  // Snapshots the producer gave up because the ring was full.
  uint32_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
  static constexpr std::size_t kWords = sizeof(TransportFact) / sizeof(uint64_t);
  static_assert(sizeof(TransportFact) % sizeof(uint64_t) == 0);

  // Slots are kept as atomic words: when the producer laps a slow consumer it
  // may rewrite the slot being read, and the consumer then notices and retries
  // instead of returning a torn snapshot.
  std::atomic<uint64_t> slots_[kSlots][kWords];
  std::atomic<uint32_t> writeIndex_{0};
  std::atomic<uint32_t> readIndex_{0};
  std::atomic<uint32_t> dropped_{0};
};

}  // namespace orbel
