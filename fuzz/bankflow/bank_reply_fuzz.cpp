// The processor's runtime bank reply as the bank control reads it (outcome,
// instrument and entry lines, preset lines with their 0x1F-separated
// parameters), then every adopted preset selected. Nothing may crash; every
// report is one JSON object; only presets with an id and finite parameters
// are adopted, and their values read back from the report exactly; bank
// presets edit only the eleven parameters with finite values.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/bank_control.h"
#include "json/json_read.h"

namespace {

class Host : public orbel::BankControlHost {
public:
  std::vector<std::string> sent;
  void sendBankJson(const std::string& json) override { sent.push_back(json); }
  void editParam(unsigned index, double value) override {
    if (index > 10 || !std::isfinite(value)) std::abort();
  }
  double readParam(unsigned) const override { return 0; }
  void requestRuntimeBank(const std::string&, const std::string& path, const std::string&,
                          const std::string&) override {
    if (path.empty()) std::abort();
    ++requests;
  }
  bool applyPadOverrides(const orbel::SamplerPadOverrides&) override { return true; }
  bool pickFolder(std::string&, std::string&) override { return false; }
  void notePresetSelected(const std::string& id, const std::string&) override {
    if (id.empty()) std::abort();
  }
  int requests = 0;
};

// Downloads never happen here.
class NoDownloads : public orbel::HostedBankFetcher {
public:
  void fetch(const std::string&, const std::string&, Completion) override { std::abort(); }
  void cancel() override {}
  bool busy() const override { return false; }
};

orbel::JsonValue parsed(const std::string& json) {
  orbel::JsonValue value;
  if (!orbel::parseJsonDocument(std::vector<uint8_t>(json.begin(), json.end()), value) ||
      !value.isObject())
    std::abort();
  const orbel::JsonValue* type = value.find("type");
  if (!type || type->text != "orbel.bankState" || !value.find("pads") || !value.find("banks"))
    std::abort();
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  Host host;
  orbel::BankControl bank(&host, std::make_unique<NoDownloads>());
  bank.handleRuntimeBank("user-folder", "/packs/fuzz", "", "", "");
  bank.adoptRuntimeBankReply(reply);

  const bool ok = reply.compare(0, 3, "ok\n") == 0 || reply == "ok";
  if (bank.hasRuntimeBank != ok || host.sent.size() != 1) std::abort();
  const orbel::JsonValue report = parsed(host.sent.back());
  for (const orbel::BankControlPreset& preset : bank.presets) {
    if (preset.id.empty() || preset.params.empty()) std::abort();
    for (const auto& param : preset.params)
      if (!std::isfinite(param.second)) std::abort();
  }
  // The report's numbers are the adopted ones, exactly.
  const orbel::JsonValue* presets = report.find("presets");
  const orbel::JsonValue* items = presets ? presets->find("items") : nullptr;
  if (!items) std::abort();
  if (ok && items->items.size() != bank.presets.size()) std::abort();
  for (size_t i = 0; ok && i < bank.presets.size(); ++i) {
    const orbel::JsonValue* params = items->items[i].find("params");
    if (!params) std::abort();
    const auto& kept = bank.presets[i].params;
    for (const auto& [path, value] : kept) {
      const auto found = params->members.find(path);
      if (found == params->members.end() || !found->second.isNumber()) std::abort();
      // A repeated path keeps one member in the document; a single one reads
      // back as the same double.
      size_t times = 0;
      for (const auto& other : kept) times += other.first == path;
      if (times == 1 && found->second.number != value) std::abort();
    }
  }

  const std::vector<orbel::BankControlPreset> adopted = bank.presets;
  for (const orbel::BankControlPreset& preset : adopted) {
    bank.handleBankPreset(preset.id);
    parsed(host.sent.back());
  }
  return 0;
}
