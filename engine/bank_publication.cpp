// KernelEngine: sample-bank and pad-override publication. Pad-override sets
// cross to the audio side as immutable objects by atomic pointer; old sets are
// released on the main thread once the audio side no longer holds them.
#include <cstdio>

#include "engine/kernel_engine.h"
#include "state/state_document.h"

namespace orbel {

void KernelEngine::recordBankRecallFailure(BankRecallOutcome outcome, const char* bankId) {
  const char* message = nullptr;
  uint32_t code = 0;
  if (outcome == kBankRecallMissing) {
    code = ORBEL_DIAG_BANK_MISSING;
    message =
        "state recall named a bank this build does not contain; parameters kept, output silent, "
        "no bank substituted";
  } else if (outcome == kBankRecallHashDiffers) {
    code = ORBEL_DIAG_BANK_HASH_MISMATCH;
    message =
        "state recall named a bank whose manifest hash differs from the one compiled in; "
        "parameters kept, output silent";
  } else {
    return;
  }
  char detail[ORBEL_RUNTIME_DIAGNOSTIC_DETAIL_BYTES];
  // No bank is compiled into this instrument.
  std::snprintf(detail, sizeof detail, "{\"bank\":\"%s\",\"banks\":%u}", bankId ? bankId : "", 0u);
  recordDiagnostic(code, ORBEL_DIAG_SEVERITY_ERROR, ORBEL_DIAG_PHASE_STATE, message, detail);
}

void KernelEngine::recordRuntimeBankFailure(RuntimeBankOutcome outcome, const char* message,
                                            const char* source) {
  if (outcome == kRuntimeBankOk) return;
  const uint32_t code =
      outcome == kRuntimeBankHashMismatch ? ORBEL_DIAG_BANK_HASH_MISMATCH : ORBEL_DIAG_BANK_MISSING;
  const char* name = runtimeBankOutcomeName(outcome);
  char text[192];
  std::snprintf(text, sizeof text, "runtime bank load refused (%s): %s", name,
                message ? message : "");
  char detail[128];
  std::snprintf(detail, sizeof detail, "{\"reason\":\"%s\",\"source\":\"%s\"}", name,
                source ? source : "");
  recordDiagnostic(code, ORBEL_DIAG_SEVERITY_ERROR, ORBEL_DIAG_PHASE_LOAD, text, detail);
}

bool KernelEngine::publishRuntimeBank(std::shared_ptr<const StagedBank> bank) {
  // This instrument's kernel has no sampler, so it keeps no bank: every bank is
  // refused and withdrawing (an empty pointer) has nothing to do.
  (void)bank;
  return false;
}

uint32_t KernelEngine::recallSampleBank(const StateChunk& chunk) {
  // Every bank a state names is missing here: none is compiled in.
  if (!chunk.hasRef || chunk.id[0] == '\0') return kBankRecallNone;
  recordBankRecallFailure(kBankRecallMissing, chunk.id);
  return kBankRecallMissing;
}

bool KernelEngine::publishSamplerPadOverrides(const SamplerPadOverrides& overrides) {
  if (overrides.size() > kPadOverrideMaxRecords) return false;
  for (const SamplerPadOverride& record : overrides) {
    if (record.pad.empty() || record.pad.size() > kPadOverrideMaxKeyBytes || record.mask == 0)
      return false;
  }

  auto next = std::make_shared<const SamplerPadOverrides>(overrides);
  if (padOverrides_) retiredOverrides_.push_back(padOverrides_);
  padOverrides_ = next;
  publishedOverrides_.store(next.get(), std::memory_order_seq_cst);

  const std::shared_ptr<const StagedBank> bank = stagedBank_;
  refreshSamplerPadVelocitySensitivity(next.get(), bank.get());

  // The audio side announces the set it reads in the acknowledged pointer
  // (after checking it is still the published one, see
  // acquireSamplerPadOverrides); every retired set other than that one can go.
  const SamplerPadOverrides* inUse = acknowledgedOverrides_.load(std::memory_order_seq_cst);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < retiredOverrides_.size(); ++i) {
    if (retiredOverrides_[i].get() == inUse) retiredOverrides_[kept++] = retiredOverrides_[i];
  }
  retiredOverrides_.resize(kept);

  const uint32_t old = overridesGeneration_.load(std::memory_order_relaxed);
  overridesGeneration_.store(old == 0 || old == 0xFFFFFFFFu ? 1u : old + 1u,
                             std::memory_order_seq_cst);
  return true;
}

void KernelEngine::refreshSamplerPadVelocitySensitivity(const SamplerPadOverrides* overrides,
                                                        const StagedBank* bank) {
  // Built aside and written back only where a value changes: the audio thread
  // reads the table while resolving note velocities.
  std::array<float, 128> table;
  table.fill(1.0f);
  if (overrides && !overrides->empty() && bank) {
    std::array<bool, 128> set{};
    for (const StagedZone& zone : bank->zones) {
      if (zone.keyTracking != 0 || zone.lowKey != zone.highKey || zone.lowKey >= 128) continue;
      if (set[zone.lowKey]) continue;
      for (const SamplerPadOverride& record : *overrides) {
        if (record.pad != zone.id) continue;
        if (record.has(kPadVelocitySensitivity)) {
          table[zone.lowKey] = float(record.value(kPadVelocitySensitivity));
          set[zone.lowKey] = true;
        }
        break;
      }
    }
  }
  for (std::size_t key = 0; key < table.size(); ++key) {
    if (padVelocitySensitivity_[key] != table[key]) padVelocitySensitivity_[key] = table[key];
  }
}

const SamplerPadOverrides* KernelEngine::acquireSamplerPadOverrides() {
  // Announce the set before relying on it, then confirm it is still the
  // published one: a publication that retired it in between either sees the
  // announcement (and keeps the set) or has replaced the pointer (and we try
  // again with the new set). Without the re-check the main thread could free
  // a set between our load and our announcement.
  const SamplerPadOverrides* current = publishedOverrides_.load(std::memory_order_seq_cst);
  for (;;) {
    acknowledgedOverrides_.store(current, std::memory_order_seq_cst);
    const SamplerPadOverrides* again = publishedOverrides_.load(std::memory_order_seq_cst);
    if (again == current) return current;
    current = again;
  }
}

}  // namespace orbel
