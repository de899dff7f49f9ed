#include "params/param_table.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace orbel {

namespace {

double clampUnit(double x) {
  if (std::isnan(x)) return 0.0;
  return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x);
}

double clampRange(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Highest index of a list (optionCount - 1), never negative.
int32_t listTop(const orbel_param_desc* desc) {
  return desc->optionCount > 1 ? desc->optionCount - 1 : 0;
}

// ⌊n·x + 0.5⌋ clamped to 0..n, computed in double so that no out-of-range
// value is ever converted to an integer.
int32_t listIndex(const orbel_param_desc* desc, double normalized) {
  const int32_t n = listTop(desc);
  if (std::isnan(normalized)) return 0;
  const double v = clampRange(std::floor(n * normalized + 0.5), 0.0, static_cast<double>(n));
  return static_cast<int32_t>(v);
}

// Plain value to normalized, shared by toNormalized and the number branch of
// fromString.
double plainToNormalized(const orbel_param_desc* desc, double v) {
  switch (desc->kind) {
    case ORBEL_PARAM_KIND_LIST: {
      const int32_t n = listTop(desc);
      if (desc->optionCount <= 1 || std::isnan(v)) return 0.0;
      return clampRange(v, 0.0, static_cast<double>(n)) / n;
    }
    case ORBEL_PARAM_KIND_TOGGLE:
      return v == 0.0 || std::isnan(v) ? 0.0 : 1.0;
    default:
      if (desc->minValue == desc->maxValue) return 0.0;
      return clampUnit((v - desc->minValue) / (desc->maxValue - desc->minValue));
  }
}

// Hosts may run with a locale whose decimal separator is a comma; parameter
// text always uses the point, so numbers are read in the "C" locale.
locale_t cLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

const orbel_param_desc* orbel_param_by_id(uint32_t id) {
  return id < ORBEL_PARAM_COUNT ? &ORBEL_PARAMS[id] : nullptr;
}

const orbel_param_desc* orbel_param_by_path(std::string_view path) {
  for (const orbel_param_desc& desc : ORBEL_PARAMS) {
    if (path == desc.path) return &desc;
  }
  return nullptr;
}

double orbel_param_to_plain(const orbel_param_desc* desc, double normalized) {
  if (desc == nullptr) return 0.0;
  switch (desc->kind) {
    case ORBEL_PARAM_KIND_LIST:
      return static_cast<double>(listIndex(desc, normalized));
    case ORBEL_PARAM_KIND_TOGGLE:
      return normalized >= 0.5 ? 1.0 : 0.0;
    default: {
      const double x = clampUnit(normalized);
      double v = desc->minValue + x * (desc->maxValue - desc->minValue);
      if (desc->step != 0.0) v = desc->step * std::floor(v / desc->step + 0.5);
      return v;
    }
  }
}

double orbel_param_normalize(const orbel_param_desc* desc, double plain) {
  if (desc == nullptr) return 0.0;
  return plainToNormalized(desc, plain);
}

std::size_t orbel_format_shortest(double value, char* out, std::size_t capacity) {
  if (out == nullptr || capacity == 0) return 0;
  char buf[64];
  std::size_t len = 0;
  if (std::isnan(value)) {
    std::memcpy(buf, "nan", len = 3);
  } else if (std::isinf(value)) {
    if (value < 0) {
      std::memcpy(buf, "-inf", len = 4);
    } else {
      std::memcpy(buf, "inf", len = 3);
    }
  } else {
    if (value == 0.0) value = 0.0;  // no "-0"
    // Without a format, to_chars gives the shortest text that reads back to
    // the same double, choosing fixed or exponent form by length, fixed on a tie.
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    len = static_cast<std::size_t>(result.ptr - buf);
  }
  if (len > capacity - 1) len = capacity - 1;
  std::memcpy(out, buf, len);
  out[len] = '\0';
  return len;
}

std::string orbel_param_to_text(const orbel_param_desc* desc, double normalized) {
  if (desc == nullptr) return std::string();
  switch (desc->kind) {
    case ORBEL_PARAM_KIND_LIST:
      if (desc->options != nullptr) {
        const int32_t index = listIndex(desc, normalized);
        if (index < 0 || index >= desc->optionCount || desc->options[index] == nullptr) {
          return std::string();
        }
        return desc->options[index];
      }
      break;  // a list without options prints its index as a number
    case ORBEL_PARAM_KIND_TOGGLE:
      return normalized >= 0.5 ? "on" : "off";
    default:
      break;
  }
  char buf[64];
  const std::size_t len =
      orbel_format_shortest(orbel_param_to_plain(desc, normalized), buf, sizeof buf);
  return std::string(buf, len);
}

bool orbel_param_from_text(const orbel_param_desc* desc, const char* text, double* normalized) {
  if (desc == nullptr || text == nullptr || normalized == nullptr) return false;
  if (desc->kind == ORBEL_PARAM_KIND_TOGGLE) {
    if (std::strcmp(text, "on") == 0 || std::strcmp(text, "true") == 0) {
      *normalized = 1.0;
      return true;
    }
    if (std::strcmp(text, "off") == 0 || std::strcmp(text, "false") == 0) {
      *normalized = 0.0;
      return true;
    }
  }
  if (desc->kind == ORBEL_PARAM_KIND_LIST && desc->options != nullptr) {
    for (int32_t i = 0; i < desc->optionCount; ++i) {
      if (desc->options[i] != nullptr && std::strcmp(text, desc->options[i]) == 0) {
        *normalized =
            desc->optionCount > 1 ? static_cast<double>(i) / (desc->optionCount - 1) : 0.0;
        return true;
      }
    }
  }
  char* end = nullptr;
  const locale_t loc = cLocale();
  const double v =
      loc != static_cast<locale_t>(nullptr) ? strtod_l(text, &end, loc) : std::strtod(text, &end);
  // "nan" is no value to set a parameter to; treat it like text without a number.
  if (end == text || std::isnan(v)) return false;
  *normalized = plainToNormalized(desc, v);
  return true;
}

void orbel_param_to_utf16(const orbel_param_desc* desc, double normalized, char16_t* out,
                          std::size_t capacity) {
  if (out == nullptr || capacity == 0) return;
  const std::string text = orbel_param_to_text(desc, normalized);
  std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(text[i]);
  out[n] = u'\0';
}

bool orbel_param_from_utf16(const orbel_param_desc* desc, const char16_t* text,
                            double* normalized) {
  if (text == nullptr) return false;
  char ascii[256];
  std::size_t n = 0;
  while (n < sizeof ascii - 1 && text[n] != u'\0') {
    ascii[n] = text[n] < 0x80 ? static_cast<char>(text[n]) : '?';
    ++n;
  }
  ascii[n] = '\0';
  return orbel_param_from_text(desc, ascii, normalized);
}

}  // namespace orbel
