// Hands CC maps from the non-realtime side to one realtime reader without
// locks. A publish swaps in an immutable copy; a replaced map is freed only
// once the reader has advanced the epoch counter twice since the swap, so the
// reader never sees a map freed under it.
//
// Threads: one publishing thread calls publish() and collect() (never at
// the same time); one reading thread calls load() and advanceEpoch(). The
// reader must stop using a map it loaded before it advances the epoch for
// the second time after that load; advancing once after each use of the map
// (for example at the end of each audio block) satisfies that.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "ccmap/cc_map.h"

namespace orbel {

class CcMapStore {
public:
  struct Retired {
    CcMap* map;
    uint64_t epoch;  // the epoch when the map was replaced
  };

  CcMapStore() = default;
  ~CcMapStore();
  CcMapStore(const CcMapStore&) = delete;
  CcMapStore& operator=(const CcMapStore&) = delete;

  // Publishes a copy of `map`. Never throws: returns false, changing nothing,
  // when memory for the copy or its bookkeeping is not available.
  bool publish(const CcMap& map);

  // Frees the replaced maps the reader can no longer hold.
  void collect();

  // Reading side (realtime-safe): the published map, and the epoch tick that
  // declares earlier loads finished. takeChanged() reports (once) that a
  // publish happened since the last call. The load and the tick are
  // sequentially consistent, like the publisher's swap and epoch read: a
  // load that follows two ticks the publisher has not yet seen must see the
  // new map (acquire/release alone would not promise that; on x86 it costs
  // nothing extra).
  const CcMap* load() const { return current.load(std::memory_order_seq_cst); }
  void advanceEpoch() { epoch.fetch_add(1, std::memory_order_seq_cst); }
  bool takeChanged() { return changed.exchange(false, std::memory_order_acq_rel); }

  size_t retiredCount() const { return retired.size(); }

  CcMap own;  // the starting map: empty, never freed
  std::atomic<CcMap*> current{&own};
  std::atomic<uint64_t> epoch{0};
  std::atomic<bool> changed{false};
  std::vector<Retired> retired;

private:
  void sweep();
};

static_assert(std::atomic<CcMap*>::is_always_lock_free);
static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace orbel
