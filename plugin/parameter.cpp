#include "plugin/parameter.h"

#include <cstring>

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// ASCII to the SDK's fixed 128-character UTF-16 string.
void asciiToString128(const char* text, String128 out) {
  size_t i = 0;
  if (text)
    for (; i < 127 && text[i]; ++i)
      out[i] = static_cast<TChar>(static_cast<unsigned char>(text[i]));
  out[i] = 0;
}

}  // namespace

OrbelParameter::OrbelParameter(const orbel_param_desc& desc) : desc_(desc) {
  info.id = desc.id;
  asciiToString128(desc.name, info.title);
  asciiToString128(desc.name, info.shortTitle);
  asciiToString128(desc.units, info.units);
  if (desc.kind == ORBEL_PARAM_KIND_LIST)
    info.stepCount = desc.optionCount - 1 > 1 ? desc.optionCount - 1 : 1;
  else if (desc.kind == ORBEL_PARAM_KIND_TOGGLE)
    info.stepCount = 1;
  else
    info.stepCount = 0;  // "osc.octave" steps only inside the conversions
  info.defaultNormalizedValue = desc.defaultNormalized;
  info.unitId = kRootUnitId;
  info.flags = ParameterInfo::kCanAutomate;
  valueNormalized = desc.defaultNormalized;
}

void OrbelParameter::toString(ParamValue valueNormalized, String128 string) const {
  orbel_param_to_utf16(&desc_, valueNormalized, reinterpret_cast<char16_t*>(string), 128);
}

bool OrbelParameter::fromString(const TChar* string, ParamValue& valueNormalized) const {
  if (!string) return false;
  double v = valueNormalized;
  if (!orbel_param_from_utf16(&desc_, reinterpret_cast<const char16_t*>(string), &v)) return false;
  valueNormalized = v;
  return true;
}

ParamValue OrbelParameter::toPlain(ParamValue valueNormalized) const {
  return orbel_param_to_plain(&desc_, valueNormalized);
}

ParamValue OrbelParameter::toNormalized(ParamValue plainValue) const {
  return orbel_param_normalize(&desc_, plainValue);
}

}  // namespace orbel
