#include "ccmap/cc_map_store.h"

#include <new>

namespace orbel {

CcMapStore::~CcMapStore() {
  for (const Retired& r : retired) delete r.map;
  retired.clear();
  CcMap* last = current.load(std::memory_order_acquire);
  if (last != &own) delete last;
}

bool CcMapStore::publish(const CcMap& map) {
  CcMap* copy = new (std::nothrow) CcMap(map);
  if (copy == nullptr) return false;
  // Make room for the replaced map's record before swapping, so that nothing
  // can fail (or throw) once the new map is visible to the reader.
  if (retired.size() == retired.capacity()) {
    try {
      retired.reserve(retired.size() < 4 ? 8 : retired.size() * 2);
    } catch (const std::bad_alloc&) {
      delete copy;
      return false;
    }
  }

  CcMap* replaced = current.exchange(copy, std::memory_order_seq_cst);
  if (replaced != &own) {
    // Sequentially consistent (stronger than acquire) so that this read is
    // ordered after the swap against the reader's epoch ticks.
    retired.push_back(Retired{replaced, epoch.load(std::memory_order_seq_cst)});
  }
  sweep();
  changed.store(true, std::memory_order_release);
  return true;
}

void CcMapStore::collect() { sweep(); }

void CcMapStore::sweep() {
  const uint64_t now = epoch.load(std::memory_order_acquire);
  size_t kept = 0;
  for (size_t i = 0; i < retired.size(); ++i) {
    // Difference rather than epoch + 2, so a wrapped counter cannot free
    // a map early.
    if (now - retired[i].epoch < 2) {
      retired[kept++] = retired[i];
    } else {
      delete retired[i].map;
    }
  }
  retired.resize(kept);
}

}  // namespace orbel
