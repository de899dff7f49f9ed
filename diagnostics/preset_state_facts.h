// Preset facts the controller keeps for the page's "presetState" block.
// Minimal form: the records and the compiled-bank queries the controller
// needs today. The block writers and the feed bookkeeping that read these
// records belong with the diagnostic feeds and are not written yet; when
// they are, these records move there.
#pragma once

#include <cstdint>

namespace orbel {

struct BankFacts {
  int32_t valid = 0;   // non-zero when the facts describe a bank
  int32_t index = -1;  // -1 when unknown
  char id[128] = {};
  char name[128] = {};
  char kind[16] = {};
  char version[32] = {};
  char sha256[65] = {};
  char source[24] = {};
  char entryId[99] = {};
  int32_t zoneCount = -1;
  int32_t roundRobinGroups = -1;
  int32_t chokeGroups = -1;
  int32_t velocityLayers = -1;
  int32_t padCount = -1;

  // Not valid, index -1, texts empty, counts -1.
  void reset() { *this = BankFacts{}; }
};

struct PresetStateFacts {
  uint32_t factoryCount = 0;
  char currentId[96] = {};
  char currentName[96] = {};
  bool dirty = false;
  bool userPresetsSupported = false;
  int64_t lastStateBytes = -1;  // length of the last state text read or written; -1 when none
  BankFacts bank;
};

// Banks compiled into the instrument: none.
inline uint32_t compiledBankCount() { return 0; }

// Resets `facts`; false because there is no compiled bank to describe.
inline bool describeCompiledBank(uint32_t /*index*/, BankFacts& facts) {
  facts.reset();
  return false;
}

}  // namespace orbel
