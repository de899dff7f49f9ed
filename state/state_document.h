// The plug-in state document: the processor's VST 3 state (and the
// controller's component state) as one JSON text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "banks/pad_overrides.h"
#include "ccmap/cc_map.h"
#include "params/param_table.h"

namespace orbel {

constexpr int kStateParamCount = static_cast<int>(ORBEL_PARAM_COUNT);
// Decoded size limit of the "authoredState" bytes.
constexpr size_t kAuthoredStateMaxBytes = 1048576;

enum SamplerAssetDiagnostic : uint32_t {
  kSamplerAssetNone = 0,
  kSamplerAssetMissingInMemory = 0x53410001,
  kSamplerAssetCorruptInMemory = 0x53410002,
  kSamplerAssetMovedInMemory = 0x53410003,
  kSamplerAssetChangedInMemory = 0x53410004,
  kSamplerAssetUnsupportedStereoSource = 0x53410005,
};

enum SamplerZoneProgram : uint32_t {
  kZoneLegacySingleZone = 0,
  kZoneOneShotDrum = 1,
  kZoneLoopedPadRelease = 2,
  kZoneVelocityRoundRobin = 3,
  kZoneKeyZonesPitch = 4,
  kZoneStereoMultiMic = 5,
  kZoneChokeAndSustain = 6,
  kZoneVoiceLimitSteal = 7,
};

// Document name of a fault code; "none" for 0 and unknown codes.
const char* samplerAssetDiagnosticName(SamplerAssetDiagnostic code);
// Code of a document name; 0 for null and unknown names.
SamplerAssetDiagnostic samplerAssetDiagnosticFromName(const char* name);

// Program names; a number of 8 or more gives "legacy-single-zone".
const char* samplerZoneProgramName(SamplerZoneProgram program);
bool samplerZoneProgramNameKnown(const char* name);
SamplerZoneProgram samplerZoneProgramFromName(const char* name);

// "embedded", "module-relative", "user-folder", "hosted".
bool bankSourceNameKnown(const char* name);

// Writer input: the bank reference (null or empty texts are absent).
struct BankStateRefOut {
  const char* id = nullptr;
  const char* bankVersion = nullptr;
  const char* sha256 = nullptr;
  const char* source = nullptr;
  const char* presetId = nullptr;
  const char* instrument = nullptr;
  const char* locator = nullptr;
};

// Writer input: opaque authored bytes carried as base64.
struct AuthoredStateOut {
  const uint8_t* bytes = nullptr;
  size_t length = 0;
  int32_t version = 0;
};

// What parseStateJson found. A default-constructed chunk is the cleared one.
struct StateChunk {
  double params[kStateParamCount] = {};
  bool hasParam[kStateParamCount] = {};
  int32_t variation = -1;  // -1: absent

  CcMap ccMap;
  bool hasCcMap = false;

  SamplerAssetDiagnostic assetFault = kSamplerAssetNone;
  bool hasAssetFault = false;

  SamplerZoneProgram zoneProgram = kZoneLegacySingleZone;
  bool hasZoneProgram = false;

  SamplerPadOverrides padOverrides;
  bool hasPadOverrides = false;

  std::vector<uint8_t> authoredBytes;
  int32_t authoredVersion = 0;
  bool hasAuthoredState = false;

  // Bank reference, NUL-terminated texts.
  char id[128] = {};
  char bankVersion[32] = {};
  char sha256[65] = {};
  char source[24] = {};
  char presetId[64] = {};
  char instrument[64] = {};
  char locator[1024] = {};
  bool hasLocator = false;
  bool hasRef = false;
  bool hasPresetId = false;
};

// The slot paths, in slot order (the paths of ORBEL_PARAMS).
const char* stateParamPath(int slot);

// Writes the document. `params` points at 11 values in slot order; every
// other pointer may be null. Non-finite values are written as null.
std::string writeStateJson(const double* params, int variation, const CcMap* ccMap,
                           SamplerAssetDiagnostic fault, SamplerZoneProgram program,
                           const BankStateRefOut* bank, const SamplerPadOverrides* overrides,
                           const AuthoredStateOut* authored);

// Reads the document into `out`: members found overwrite the corresponding
// fields, the others keep their values (start from a cleared chunk for a
// fresh read). On failure `out` is left exactly as it was.
bool parseStateJson(const char* data, size_t length, StateChunk& out);

// 2 when the chunk holds a bank reference (hasRef and a non-empty id), else 0.
// `unused` is not touched.
unsigned resolveBankStateRef(const StateChunk& chunk, unsigned& unused);

}  // namespace orbel
