#include "tools/param_catalog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cmath>

#include "json/json_read.h"
#include "params/param_table.h"
#include "tools/probe_options.h"
#include "sdk/missing/utf16.h"
#include "tools/text16.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return std::string(text);
}

constexpr int32 kMaxListedSteps = 128;

}  // namespace

void ParamCatalog::build(IEditController* controller) {
  controller_ = controller;
  entries_.clear();
  if (controller == nullptr) return;
  const int32 count = controller->getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    ParamEntry e;
    if (controller->getParameterInfo(i, e.info) != kResultOk) continue;
    e.title = utf16ToUtf8(reinterpret_cast<const char16_t*>(e.info.title), 128);
    e.shortTitle = utf16ToUtf8(reinterpret_cast<const char16_t*>(e.info.shortTitle), 128);
    e.units = utf16ToUtf8(reinterpret_cast<const char16_t*>(e.info.units), 128);
    entries_.push_back(std::move(e));
  }
  // Dotted paths come from the instrument's parameter table, but only when
  // this controller really is that instrument's: every row's id and title
  // must match, so another module's "Cutoff" is never taken for ours.
  bool known = true;
  for (const orbel_param_desc& desc : ORBEL_PARAMS) {
    bool matched = false;
    for (const ParamEntry& e : entries_)
      matched = matched || (e.info.id == desc.id && e.title == desc.name);
    known = known && matched;
  }
  if (!known) return;
  for (ParamEntry& e : entries_) {
    for (const orbel_param_desc& desc : ORBEL_PARAMS)
      if (e.info.id == desc.id) {
        e.path = desc.path;
        e.step = desc.step;
      }
  }
}

const ParamEntry* ParamCatalog::find(std::string_view name) const {
  for (const ParamEntry& e : entries_)
    if (!e.path.empty() && e.path == name) return &e;
  for (const ParamEntry& e : entries_)
    if (e.title == name) return &e;
  for (const ParamEntry& e : entries_)
    if (equalsIgnoringCase(e.title, name) || (!e.path.empty() && equalsIgnoringCase(e.path, name)))
      return &e;
  double id = 0;
  if (parseNumber(name, id) && id >= 0 && id == std::floor(id) && id <= 4294967295.0) {
    for (const ParamEntry& e : entries_)
      if (e.info.id == static_cast<ParamID>(id)) return &e;
  }
  return nullptr;
}

std::vector<std::string> ParamCatalog::optionTexts(const ParamEntry& entry) const {
  std::vector<std::string> texts;
  const int32 steps = entry.info.stepCount;
  if (controller_ == nullptr || steps <= 0 || steps > kMaxListedSteps) return texts;
  for (int32 k = 0; k <= steps; ++k)
    texts.push_back(displayText(entry.info.id, static_cast<double>(k) / steps));
  return texts;
}

bool ParamCatalog::toNormalized(const ParamEntry& entry, std::string_view valueText,
                                double& normalized, std::string& error) const {
  const std::string value = trimmed(valueText);
  const std::string name = entry.path.empty() ? entry.title : entry.path;
  if (controller_ == nullptr) {
    error = "no edit controller to convert '" + value + "' for " + name;
    return false;
  }
  const std::vector<std::string> options = optionTexts(entry);
  const bool isList = (entry.info.flags & ParameterInfo::kIsList) != 0;
  if (isList || !options.empty()) {
    for (std::size_t k = 0; k < options.size(); ++k) {
      if (!options[k].empty() && equalsIgnoringCase(options[k], value)) {
        normalized = static_cast<double>(k) / entry.info.stepCount;
        return true;
      }
    }
  }
  // "inf", "nan", "1e999": numbers no parameter can take.
  double spelled = 0;
  if (!value.empty() &&
      jsonScanNumber(value.data(), value.data() + value.size(), &spelled) == value.size() &&
      !std::isfinite(spelled)) {
    error = "bad value '" + value + "' for " + name + ": not a finite number";
    return false;
  }
  double plain = 0;
  if (parseNumber(value, plain)) {
    const double lo = controller_->normalizedParamToPlain(entry.info.id, 0.0);
    const double hi = controller_->normalizedParamToPlain(entry.info.id, 1.0);
    // A stepped parameter takes whole steps only: 1.5 would silently become
    // one of its neighbours.
    const int32 steps = entry.info.stepCount;
    const double position = steps > 0
                                ? controller_->plainParamToNormalized(entry.info.id, plain) * steps
                            : entry.step > 0 ? (plain - std::min(lo, hi)) / entry.step
                                             : 0.0;
    if (std::fabs(position - std::round(position)) > 1e-9) {
      error = "bad value '" + value + "' for " + name + ": it takes whole steps";
      if (!options.empty()) {
        error += " (an index 0.." + std::to_string(options.size() - 1) + ", or one of:";
        for (std::size_t k = 0; k < options.size(); ++k) error += (k ? ", " : " ") + options[k];
        error += ")";
      } else if (std::isfinite(lo) && std::isfinite(hi)) {
        char range[96];
        std::snprintf(range, sizeof range, " of %g from %g to %g",
                      entry.step > 0 ? entry.step : (hi - lo) / steps, std::min(lo, hi),
                      std::max(lo, hi));
        error += range;
      }
      return false;
    }
    if (std::isfinite(lo) && std::isfinite(hi) &&
        (plain < std::min(lo, hi) || plain > std::max(lo, hi))) {
      std::fprintf(stderr,
                   "orbel-probe: warning: %s=%s is outside the range %g..%g and is clamped\n",
                   name.c_str(), value.c_str(), std::min(lo, hi), std::max(lo, hi));
    }
    const double n = controller_->plainParamToNormalized(entry.info.id, plain);
    if (!std::isfinite(n)) {
      error = "the controller cannot normalize " + value + " for " + name;
      return false;
    }
    normalized = std::clamp(n, 0.0, 1.0);
    return true;
  }
  String128 text16{};
  utf8ToUtf16(value.data(), value.size(), reinterpret_cast<char16_t*>(text16), 128);
  ParamValue n = 0;
  if (controller_->getParamValueByString(entry.info.id, text16, n) == kResultOk &&
      std::isfinite(n)) {
    normalized = std::clamp(n, 0.0, 1.0);
    return true;
  }
  error = "bad value '" + value + "' for " + name;
  if (!options.empty()) {
    error += " (expected one of:";
    for (std::size_t k = 0; k < options.size(); ++k) error += (k ? ", " : " ") + options[k];
    error += ", or an index 0.." + std::to_string(options.size() - 1) + ")";
  } else {
    error += " (expected a number";
    if (!entry.units.empty()) error += " in " + entry.units;
    error += ")";
  }
  return false;
}

std::string ParamCatalog::displayText(ParamID id, double normalized) const {
  if (controller_ == nullptr) return {};
  String128 text{};
  if (controller_->getParamStringByValue(id, normalized, text) != kResultOk) return {};
  return utf16ToUtf8(reinterpret_cast<const char16_t*>(text), 128);
}

double ParamCatalog::toPlain(ParamID id, double normalized) const {
  return controller_ ? controller_->normalizedParamToPlain(id, normalized) : normalized;
}

std::string ParamCatalog::knownNames() const {
  std::string names;
  for (const ParamEntry& e : entries_) {
    if (!names.empty()) names += ", ";
    names += e.path.empty() ? e.title : e.path;
  }
  return names;
}

}  // namespace orbel
