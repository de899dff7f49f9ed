// The controller's parameters as the probe addresses them: by dotted path
// (for modules whose parameter table the probe knows), by title or by id,
// with values given as plain numbers or option texts and converted through
// the controller's own normalization.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace orbel {

struct ParamEntry {
  Steinberg::Vst::ParameterInfo info{};
  std::string title;
  std::string shortTitle;
  std::string units;
  std::string path;   // empty when the module's table is not known
  double step = 0.0;  // a continuous value's plain quantum (osc.octave: 1), 0 for none or unknown
};

class ParamCatalog {
public:
  // Reads every parameter of `controller` (which must outlive the catalog).
  void build(Steinberg::Vst::IEditController* controller);

  const std::vector<ParamEntry>& entries() const { return entries_; }

  // Path, then exact title, then title ignoring case, then a numeric id.
  const ParamEntry* find(std::string_view name) const;

  // VALUE of --set/--auto to a normalized value. Lists take an option text
  // (any case) or their index; everything else a plain value in the
  // parameter's units, or as a last resort any text the controller parses.
  bool toNormalized(const ParamEntry& entry, std::string_view value, double& normalized,
                    std::string& error) const;

  std::string displayText(Steinberg::Vst::ParamID id, double normalized) const;
  double toPlain(Steinberg::Vst::ParamID id, double normalized) const;

  // The display texts of a stepped parameter's values (empty for continuous
  // parameters or more than 128 steps).
  std::vector<std::string> optionTexts(const ParamEntry& entry) const;

  // "osc.type, osc.octave, ..." (or the titles) for error hints.
  std::string knownNames() const;

private:
  Steinberg::Vst::IEditController* controller_ = nullptr;
  std::vector<ParamEntry> entries_;
};

}  // namespace orbel
