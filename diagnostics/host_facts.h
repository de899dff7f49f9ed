// What the page is told about the host: its identity and processing
// configuration (HostFacts) and transport snapshots (TransportFact). Both are
// fixed-layout records that cross from the processor to the controller as
// binary message images, so their layout is part of the message format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orbel {

struct HostBusFact {
  char id[32];  // "in0", "out0", ...; at most 31 characters
  uint8_t isInput;
  uint8_t padding0[3];
  int32_t channels;
  uint8_t active;
  char layout[24];  // "stereo", "mono" or empty; at most 23 characters
  uint8_t padding1[3];
};

struct HostFacts {
  static constexpr uint32_t kMaxBuses = 8;

  // Values of validatorHost.
  enum : uint8_t {
    kValidatorNone = 0,
    kValidatorPluginval = 1,
    kValidatorClap = 2,
    kValidatorAuval = 3,
    kValidatorSteinberg = 4,
    kValidatorOrbelProbe = 5,
  };
  // Values of processMode.
  enum : uint8_t { kProcessRealtime = 0, kProcessOffline = 1, kProcessPrefetch = 2 };
  // Values of tailKind.
  enum : uint8_t { kTailUnreported = 0, kTailSamples = 1, kTailInfinite = 2 };

  char hostName[128];
  char hostVersion[64];
  char hostPath[512];
  uint8_t validatorHost;
  uint8_t padding0[7];
  double sampleRate;  // Hz; 0 before set-up
  int32_t maxBlockFrames;
  int32_t lastBlockFrames;  // -1 when unknown
  uint8_t processMode;
  uint8_t padding1[3];
  int32_t sampleSize;  // 32 or 64
  int32_t latencySamples;
  uint8_t tailKind;
  uint8_t padding2[3];
  int32_t tailSamples;  // used when tailKind is kTailSamples
  uint8_t padding3[4];
  double internalSampleRate;  // 0 when the kernel runs at the host rate
  uint8_t bypassKnown;
  bool bypassed;
  uint8_t padding4[2];
  HostBusFact buses[kMaxBuses];
  uint32_t busCount;  // 0..8

  // All zero except lastBlockFrames -1 and sampleSize 32.
  HostFacts();

  // Appends a bus while fewer than 8 are held (a ninth is ignored). Null texts
  // are stored empty; id keeps at most 31 characters, layout 23.
  void addBus(const char* id, bool isInput, int32_t channels, bool active, const char* layout);
};

struct TransportFact {
  // Values of source.
  enum : uint8_t { kSourceNone = 0, kSourceHost = 1, kSourceInternal = 2 };

  uint64_t atFrame = 0;
  uint8_t source = kSourceNone;
  bool playing = false;
  bool recording = false;
  bool looping = false;
  bool hasTempo = false;
  bool hasTimeSignature = false;
  bool hasPosition = false;
  bool hasLoop = false;
  bool canSetTempo = false;
  uint8_t padding0[7] = {};
  double tempo = 120.0;
  int32_t numerator = 4;
  int32_t denominator = 4;
  double ppqPosition = 0.0;
  double barPositionPpq = 0.0;
  double loopStartPpq = 0.0;
  double loopEndPpq = 0.0;
  double sampleRate = 0.0;
  int64_t projectTimeSamples = 0;

  // True when anything but the playhead (atFrame, ppqPosition,
  // barPositionPpq, projectTimeSamples) differs. Two NaNs count as equal, so a
  // host reporting no usable tempo is not a change on every block.
  bool differsFrom(const TransportFact& other) const;
};

inline constexpr std::size_t kHostFactsImageSize = 1312;
inline constexpr std::size_t kTransportFactImageSize = 88;

static_assert(sizeof(HostBusFact) == 68);
static_assert(offsetof(HostBusFact, isInput) == 32);
static_assert(offsetof(HostBusFact, channels) == 36);
static_assert(offsetof(HostBusFact, active) == 40);
static_assert(offsetof(HostBusFact, layout) == 41);
static_assert(sizeof(HostFacts) == kHostFactsImageSize);
static_assert(offsetof(HostFacts, hostVersion) == 128);
static_assert(offsetof(HostFacts, hostPath) == 192);
static_assert(offsetof(HostFacts, validatorHost) == 704);
static_assert(offsetof(HostFacts, sampleRate) == 712);
static_assert(offsetof(HostFacts, maxBlockFrames) == 720);
static_assert(offsetof(HostFacts, lastBlockFrames) == 724);
static_assert(offsetof(HostFacts, processMode) == 728);
static_assert(offsetof(HostFacts, sampleSize) == 732);
static_assert(offsetof(HostFacts, latencySamples) == 736);
static_assert(offsetof(HostFacts, tailKind) == 740);
static_assert(offsetof(HostFacts, tailSamples) == 744);
static_assert(offsetof(HostFacts, internalSampleRate) == 752);
static_assert(offsetof(HostFacts, bypassKnown) == 760);
static_assert(offsetof(HostFacts, bypassed) == 761);
static_assert(offsetof(HostFacts, buses) == 764);
static_assert(offsetof(HostFacts, busCount) == 1308);
static_assert(sizeof(TransportFact) == kTransportFactImageSize);
static_assert(offsetof(TransportFact, source) == 8);
static_assert(offsetof(TransportFact, playing) == 9);
static_assert(offsetof(TransportFact, canSetTempo) == 16);
static_assert(offsetof(TransportFact, tempo) == 24);
static_assert(offsetof(TransportFact, numerator) == 32);
static_assert(offsetof(TransportFact, denominator) == 36);
static_assert(offsetof(TransportFact, ppqPosition) == 40);
static_assert(offsetof(TransportFact, barPositionPpq) == 48);
static_assert(offsetof(TransportFact, loopStartPpq) == 56);
static_assert(offsetof(TransportFact, loopEndPpq) == 64);
static_assert(offsetof(TransportFact, sampleRate) == 72);
static_assert(offsetof(TransportFact, projectTimeSamples) == 80);

// Reading a record from a message image. The bytes come from another
// component (or a host replaying messages), so they are made safe: false for
// any size but the exact image size (out untouched); otherwise every text is
// terminated within its field, busCount is capped at 8 and flag bytes are
// read as 0 or 1.
bool hostFactsFromImage(const void* data, std::size_t size, HostFacts& out);
bool transportFactFromImage(const void* data, std::size_t size, TransportFact& out);

// Names used in the JSON; values without a name give "realtime" and "none".
// diagnosticValidatorName gives nullptr for 0 and unknown values.
const char* diagnosticProcessModeName(uint8_t processMode);
const char* diagnosticTransportSourceName(uint8_t source);
const char* diagnosticValidatorName(uint8_t validatorHost);

// The host block object.
void writeDiagnosticHostJson(std::string& out, const HostFacts& facts);

// The members of `after` that changed since `before` as one object; false and
// nothing appended when none did. Identity fields are not compared.
bool writeDiagnosticHostDeltaJson(std::string& out, const HostFacts& before,
                                  const HostFacts& after);

// The lifecycle kind name that best describes the change, or nullptr.
const char* diagnosticHostChangeKind(const HostFacts& before, const HostFacts& after);

// The "orbel.hostChanged" announcement; false and nothing appended when the
// delta is empty.
bool writeDiagnosticHostChangedJson(std::string& out, const HostFacts& before,
                                    const HostFacts& after, uint32_t seq, double timeMs);

// The "orbel.transport" announcement.
void writeDiagnosticTransportJson(std::string& out, const TransportFact& fact);

}  // namespace orbel
