#pragma once
// Sound pack loader: reads a pack folder (bank.json, instrument and preset
// documents, WAV assets) into memory, verifies every asset against the
// manifest and stages one instrument's samples in a single float arena.
// Runs on the thread that asks for a bank, never on the audio thread.
#include <cstdint>
#include <string>
#include <vector>

#include "banks/bank_preset.h"

namespace orbel {

enum RuntimeBankOutcome : uint8_t {
  kRuntimeBankOk = 0,
  kRuntimeBankMissing = 1,
  kRuntimeBankHashMismatch = 2,
  kRuntimeBankMalformed = 3,
  kRuntimeBankUnsupportedCodec = 4,
  kRuntimeBankTooLarge = 5,
  kRuntimeBankInstrumentUnknown = 6,
};

// "ok", "bank-missing", ...; a value above 6 is named "bank-missing".
const char* runtimeBankOutcomeName(RuntimeBankOutcome outcome);

// One instrument or kit that the manifest lists.
struct StagedPositioning {
  std::string id;
  std::string name;
  std::string kind;  // "instruments" or "kits"
};

struct StagedPreset {
  BankControlPreset preset;
};

struct StagedZone {
  std::string id;
  uint32_t assetOffset = 0;  // arena index of the asset's first frame
  uint32_t assetFrames = 0;
  int32_t loopStartDeclared = -1;  // as declared (negative as 0), -1 when not declared
  int32_t loopEndDeclared = -1;
  int32_t loopCrossfadeDeclared = -1;
  uint32_t start = 0;   // arena index of the first playable frame
  uint32_t frames = 0;  // playable frame count
  double sampleRate = 48000.0;
  uint32_t lowKey = 0;
  uint32_t highKey = 127;
  uint32_t rootKey = 60;
  uint32_t keyTracking = 1;
  uint32_t lowVelocity = 0;
  uint32_t highVelocity = 127;
  double gain = 1.0;
  double pan = 0.0;
  double fineTuneCents = 0.0;
  uint32_t roundRobinGroup = 0;
  uint32_t chokeGroup = 0;
  uint32_t trigger = 0;    // 0 attack, 1 release, 2 legato
  uint32_t loop = 0;       // a forward loop is in force
  uint32_t loopStart = 0;  // frames relative to `start`
  uint32_t loopEnd = 0;
  uint32_t loopCrossfade = 0;
  double attackSeconds = 0.001;
  double releaseSeconds = 0.05;
  uint32_t reverse = 0;
  double filterCutoffHz = 0.0;
  double filterResonance = 0.0;
};

struct StagedBank {
  std::string id;
  std::string version;
  std::string instrumentId;
  std::string instrumentName;
  std::string instrumentKind;  // "instruments" or "kits"
  std::vector<StagedPositioning> entries;
  std::vector<StagedPreset> presets;
  std::string sha256;  // lowercase hex digest of the bank.json bytes
  std::string name;
  std::vector<float> samples;  // the arena: mono frames, assets end to end in order of first use
  std::vector<StagedZone> zones;
  double sampleRate = 48000.0;  // of the first zone
};

struct RuntimeBankLoad {
  RuntimeBankOutcome outcome = kRuntimeBankMissing;
  StagedBank bank;
  std::string message;  // empty on success, one line otherwise
};

// What one load may read: the assets the manifest may declare, and the bytes
// of every file read (manifest, documents, presets, assets) together. A pack
// beyond either fails as "bank-too-large" before the file that would pass the
// byte limit is read.
struct RuntimeBankLimits {
  uint32_t maxAssets = 4096;
  uint64_t maxBytes = uint64_t{512} << 20;  // 512 MiB
};

// Loads the pack in `bankDir`. `arenaCapacity` is the kernel's arena size in
// frames (0: no limit); an empty `instrumentId` takes the first instrument or
// kit that names a document. On any failure `bank` is left empty.
RuntimeBankLoad loadRuntimeBank(const std::string& bankDir, unsigned long arenaCapacity,
                                const std::string& instrumentId,
                                const RuntimeBankLimits& limits = {});

}  // namespace orbel
