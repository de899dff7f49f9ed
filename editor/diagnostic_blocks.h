// The diagnostic side of the page's hello: the feed names a page can
// subscribe to, and the blocks the hello carries after the parameters
// ("identity", "host", "diagnostics", "presetState").
//
// This instrument produces announcements for two feeds only, "transport" and
// "lifecycle"; the other names are accepted and remembered without effect.
// It offers no stimulus commands, so the capabilities block lists none. The
// identity block carries the UI bundle's facts (editor/ui_manifest.h) as its
// "ui" member when the manifest gave any.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "diagnostics/host_facts.h"
#include "editor/ui_manifest.h"
#include "diagnostics/preset_state_facts.h"

namespace orbel {

// Feed bits of a subscription.
enum : uint32_t {
  kDiagnosticFeedHost = 1,
  kDiagnosticFeedTransport = 2,
  kDiagnosticFeedMidiIn = 4,
  kDiagnosticFeedMidiOut = 8,
  kDiagnosticFeedMeters = 16,
  kDiagnosticFeedScope = 32,
  kDiagnosticFeedLifecycle = 64,
  kDiagnosticFeedCounters = 128,
  kDiagnosticFeedParams = 256,
  kDiagnosticFeedPresets = 512,
  kDiagnosticFeedClock = 1024,
};

// The bit of a feed name (exact match), 0 for any other name.
uint32_t diagnosticFeedBit(std::string_view name);

// The plug-in format the identity block describes.
enum class DiagnosticTarget : uint8_t { Vst3 = 0, Clap = 1, Au = 2, Standalone = 3, Offline = 4 };

// "vst3", "clap", "au", "standalone"; "offline" for 4 and above.
const char* diagnosticTargetName(DiagnosticTarget target);

// The identity block with this module's UI bundle facts (read once per
// process), or with the facts given.
void writeDiagnosticIdentityJson(std::string& out, DiagnosticTarget target);
void writeDiagnosticIdentityJson(std::string& out, DiagnosticTarget target,
                                 const UiBundleFacts& ui);
void writeDiagnosticCapabilitiesJson(std::string& out);
void writeDiagnosticPresetStateJson(std::string& out, const PresetStateFacts& facts);
void writeDiagnosticBankJson(std::string& out, const BankFacts& facts);
// The compiled banks: none, so nothing is appended.
void writeDiagnosticBanksJson(std::string& out);

// Appends ",\"identity\":…", ",\"host\":…" (only when the host reported a
// sample rate), ",\"diagnostics\":…" and ",\"presetState\":…" to a hello
// under construction.
void appendDiagnosticHelloBlocks(std::string& out, DiagnosticTarget target, const HostFacts& host,
                                 const PresetStateFacts& presetState);

}  // namespace orbel
