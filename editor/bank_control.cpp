#include "editor/bank_control.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "banks/hosted_bank.h"
#include "banks/hosted_bank_fetcher.h"
#include "editor/bridge_message.h"
#include "json/json_read.h"
#include "json/json_write.h"

namespace orbel {

namespace {

constexpr char kPresetMark = '\x01';
constexpr char kParamSeparator = '\x1F';

// Cuts `text` at its first count - 1 separators; the last field is the rest
// (further separators included). Always exactly `count` fields.
std::vector<std::string> splitFields(const std::string& text, char separator, size_t count) {
  std::vector<std::string> fields;
  fields.reserve(count);
  size_t start = 0;
  while (fields.size() + 1 < count) {
    const size_t end = text.find(separator, start);
    if (end == std::string::npos) break;
    fields.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (count != 0) fields.push_back(start <= text.size() ? text.substr(start) : std::string());
  while (fields.size() < count) fields.emplace_back();
  return fields;
}

// "%.17g" in the C locale whatever the host set: a comma would break the JSON.
void appendPreciseNumber(std::string& out, double value) {
  char text[40];
  const std::to_chars_result r =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
  out.append(text, r.ec == std::errc() ? r.ptr : text);
}

// path=value pieces separated by 0x1F. A piece counts when its first '=' has
// at least one character before it and a finite number after it.
void parsePresetParams(const std::string& field, BankControlPreset& preset) {
  size_t start = 0;
  while (start <= field.size()) {
    size_t end = field.find(kParamSeparator, start);
    if (end == std::string::npos) end = field.size();
    const std::string piece = field.substr(start, end - start);
    start = end + 1;
    const size_t equals = piece.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    const char* value = piece.data() + equals + 1;
    double number = 0;
    if (jsonScanNumber(value, piece.data() + piece.size(), &number) == 0 || !std::isfinite(number))
      continue;
    preset.params.emplace_back(piece.substr(0, equals), number);
  }
}

void appendTriple(std::string& out, const std::string& line) {
  const std::vector<std::string> f = splitFields(line, '\t', 3);
  out += "{\"id\":";
  jsonAppendQuoted(out, f[0].data(), f[0].size());
  out += ",\"name\":";
  jsonAppendQuoted(out, f[1].data(), f[1].size());
  out += ",\"list\":";
  jsonAppendQuoted(out, f[2].data(), f[2].size());
  out += '}';
}

void appendQuoted(std::string& out, const std::string& text) {
  jsonAppendQuoted(out, text.data(), text.size());
}

}  // namespace

BankControl::BankControl(BankControlHost* host, std::unique_ptr<HostedBankFetcher> fetcher)
    : host(host), fetcher_(std::move(fetcher)) {}

BankControl::~BankControl() = default;

bool BankControl::handleMessage(const BridgeMessage& message) {
  const std::string& type = message.type;
  if (type == "orbel.setPadOverrides") {
    // Without a parsed map the message is nobody's.
    if (!message.hasPads) return false;
    if (!host->applyPadOverrides(message.pads)) return true;
    padOverrides = message.pads;
    sendBankState("setPadOverrides", nullptr, nullptr);
    return true;
  }
  if (type == "orbel.loadBankPreset") {
    if (message.id.empty()) return false;
    handleBankPreset(message.id);
    return true;
  }
  if (type == "orbel.loadBank") {
    if (!message.source.empty() && message.source != "embedded") {
      handleRuntimeBank(message.source, message.bankPath, message.instrument, message.url,
                        message.sha256);
    } else if (!message.id.empty()) {
      handleCompiledBank(message.id);
    }
    return true;
  }
  if (type == "orbel.pickFolder") {
    handlePickFolder();
    return true;
  }
  if (type == "orbel.getBankState") {
    sendBankState("query", nullptr, nullptr);
    return true;
  }
  return false;
}

void BankControl::handleRuntimeBank(const std::string& source, const std::string& path,
                                    const std::string& instrument, const std::string& url,
                                    const std::string& sha256) {
  // The newest request wins: a download still on its way for an earlier one
  // is stopped and never continues.
  if (source != "hosted") {
    cancelDownloads();
    requestLocalBank(source, path, instrument, url, sha256);
    return;
  }
  if (!fetcher_) fetcher_ = makeHostedBankFetcher();
  fetcher_->fetch(url, sha256,
                  [this, source, instrument, url, sha256](const HostedBankResult& result) {
                    if (!result.ok) {
                      std::fprintf(stderr, "orbel-plugin-shell: hosted bank %s not fetched: %s\n",
                                   url.c_str(), result.error.c_str());
                      sendBankState("loadBank", "bank-fetch-failed", url.c_str());
                      return;
                    }
                    requestLocalBank(source, result.path, instrument, url, sha256);
                  });
}

void BankControl::requestLocalBank(const std::string& source, const std::string& path,
                                   const std::string& instrument, const std::string& url,
                                   const std::string& sha256) {
  if (path.empty()) {
    sendBankState("loadBank", "bank-missing", source.c_str());
    return;
  }
  // Copies first: the arguments may be this object's own fields.
  const std::string newLocator = source == "hosted" ? url : path;
  const std::string newSource = source, newSha256 = sha256, newInstrument = instrument,
                    folder = path;
  this->source = newSource;
  locator = newLocator;
  this->sha256 = newSha256;
  requestedInstrument = newInstrument;
  // The report follows when the reply arrives (possibly before this returns).
  host->requestRuntimeBank(newSource, folder, newSha256, newInstrument);
}

void BankControl::adoptRuntimeBankReply(const std::string& reply) {
  const size_t firstBreak = reply.find('\n');
  const std::string outcome = reply.substr(0, firstBreak);
  if (outcome != "ok") {
    const std::string remembered = !requestedInstrument.empty() ? requestedInstrument : locator;
    clearRuntimeFacts();
    sendBankState("loadBank", outcome.c_str(), remembered.c_str());
    return;
  }
  hasRuntimeBank = true;
  instrumentId.clear();
  instrumentName.clear();
  instrumentList.clear();
  entries.clear();
  presets.clear();
  // Past the outcome and the message line.
  size_t start = std::string::npos;
  if (firstBreak != std::string::npos) {
    const size_t secondBreak = reply.find('\n', firstBreak + 1);
    if (secondBreak != std::string::npos) start = secondBreak + 1;
  }
  bool instrumentSeen = false;
  while (start != std::string::npos && start <= reply.size()) {
    size_t end = reply.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = reply.size();
    const std::string line = reply.substr(start, end - start);
    start = last ? std::string::npos : end + 1;

    if (!line.empty() && line[0] == kPresetMark) {
      const std::vector<std::string> f = splitFields(line.substr(1), '\t', 4);
      BankControlPreset preset;
      preset.id = f[0];
      preset.name = f[1];
      preset.instrument = f[2];
      parsePresetParams(f[3], preset);
      if (!preset.id.empty() && !preset.params.empty()) presets.push_back(std::move(preset));
      continue;
    }
    if (!instrumentSeen) {
      instrumentSeen = true;
      if (line.empty()) continue;
      const std::vector<std::string> f = splitFields(line, '\t', 3);
      instrumentId = f[0];
      instrumentName = f[1];
      instrumentList = f[2];
      continue;
    }
    if (!line.empty()) entries.push_back(line);
  }
  sendBankState("loadBank", nullptr, nullptr);
}

void BankControl::clearRuntimeFacts() {
  hasRuntimeBank = false;
  source.clear();
  locator.clear();
  sha256.clear();
  instrumentId.clear();
  instrumentName.clear();
  instrumentList.clear();
  entries.clear();
  presets.clear();
}

void BankControl::handleBankPreset(const std::string& presetId) {
  const BankControlPreset* found = nullptr;
  for (const BankControlPreset& preset : presets)
    if (preset.id == presetId) {
      found = &preset;
      break;
    }
  if (found == nullptr) {
    sendBankState("loadBank", "bank-missing", presetId.c_str());
    return;
  }
  // A copy: a reload's reply may replace the presets before this returns.
  const BankControlPreset preset = *found;
  const bool otherInstrument = !preset.instrument.empty() && preset.instrument != instrumentId;
  if (otherInstrument && !source.empty() && !locator.empty()) {
    const std::string reloadSource = source, reloadLocator = locator, reloadSha256 = sha256;
    handleRuntimeBank(reloadSource, reloadLocator, preset.instrument, reloadLocator, reloadSha256);
  }
  for (const auto& [path, value] : preset.params) {
    const int32_t index = bridgeParamIndex(path);
    if (index >= 0) host->editParam(static_cast<unsigned>(index), value);
  }
  currentPreset = preset.id;
  host->notePresetSelected(preset.id, preset.name);
  // Otherwise the reload's reply produces the report.
  if (!otherInstrument) sendBankState("loadBank", nullptr, nullptr);
}

void BankControl::handlePickFolder() {
  std::string path, error;
  const bool ok = host->pickFolder(path, error);
  std::string out = "{\"type\":\"orbel.folderPicked\",\"ok\":";
  out += ok ? "true" : "false";
  if (ok) {
    out += ",\"path\":";
    appendQuoted(out, path);
  } else if (!error.empty()) {
    out += ",\"error\":";
    appendQuoted(out, error);
  } else {
    out += ",\"cancelled\":true";
  }
  out += '}';
  host->sendBankJson(out);
}

void BankControl::handleCompiledBank(const std::string& id) {
  sendBankState("loadBank", "bank-missing", id.c_str());
}

void BankControl::sendBankState(const char* reason, const char* errorCode,
                                const char* requestedId) {
  std::string out = "{\"type\":\"orbel.bankState\",\"reason\":";
  jsonAppendQuoted(out, reason != nullptr ? reason : "query");
  out += ",\"stateVersion\":1,\"pads\":";
  writeSamplerPadOverridesJson(out, padOverrides);
  out += ",\"banks\":[]";
  if (hasRuntimeBank && !source.empty()) {
    out += ",\"runtime\":{\"source\":";
    appendQuoted(out, source);
    out += ",\"locator\":";
    appendQuoted(out, locator);
    if (!instrumentId.empty()) {
      out += ",\"instrument\":{\"id\":";
      appendQuoted(out, instrumentId);
      out += ",\"name\":";
      appendQuoted(out, instrumentName);
      out += ",\"list\":";
      appendQuoted(out, instrumentList);
      out += '}';
    }
    out += ",\"positionings\":[";
    for (size_t i = 0; i < entries.size(); ++i) {
      if (i) out += ',';
      appendTriple(out, entries[i]);
    }
    out += "]}";
  }
  const bool bankScoped = hasRuntimeBank && !presets.empty();
  out += ",\"presets\":{\"bankScoped\":";
  out += bankScoped ? "true" : "false";
  out += ",\"items\":[";
  if (bankScoped) {
    for (size_t i = 0; i < presets.size(); ++i) {
      const BankControlPreset& preset = presets[i];
      if (i) out += ',';
      out += "{\"id\":";
      appendQuoted(out, preset.id);
      out += ",\"name\":";
      appendQuoted(out, preset.name);
      out += ",\"instrument\":";
      appendQuoted(out, preset.instrument);
      out += ",\"params\":{";
      for (size_t p = 0; p < preset.params.size(); ++p) {
        if (p) out += ',';
        appendQuoted(out, preset.params[p].first);
        out += ':';
        appendPreciseNumber(out, preset.params[p].second);
      }
      out += "}}";
    }
  }
  out += "]}";
  if (errorCode != nullptr) {
    out += ",\"error\":{\"code\":";
    jsonAppendQuoted(out, errorCode);
    out += ",\"requestedId\":";
    jsonAppendQuoted(out, requestedId != nullptr ? requestedId : "");
    out += '}';
  }
  out += '}';
  host->sendBankJson(out);
}

void BankControl::adoptRestoredRef(const std::string& source, const std::string& locator,
                                   const std::string& sha256, const std::string& instrument,
                                   const std::string& presetId) {
  this->source = source;
  this->locator = locator;
  this->sha256 = sha256;
  requestedInstrument = instrument;
  currentPreset = presetId;
}

void BankControl::adoptRestoredPadOverrides(const SamplerPadOverrides& overrides) {
  padOverrides = overrides;
}

void BankControl::cancelDownloads() {
  if (fetcher_) fetcher_->cancel();
}

bool BankControl::downloadPending() const { return fetcher_ && fetcher_->busy(); }

}  // namespace orbel
