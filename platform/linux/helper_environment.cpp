#include "platform/linux/helper_environment.h"

#include <cstring>

namespace orbel {

namespace {

// Variables whose values belong to the host's own libraries.
constexpr const char* kDropped[] = {
    "LD_LIBRARY_PATH",
    "LD_PRELOAD",
    "GTK_PATH",
    "GTK_MODULES",
    "GTK_IM_MODULE_FILE",
    "GTK_EXE_PREFIX",
    "GTK_DATA_PREFIX",
    "GDK_PIXBUF_MODULE_FILE",
    "GDK_PIXBUF_MODULEDIR",
    "GIO_MODULE_DIR",
    "GIO_EXTRA_MODULES",
    "GST_PLUGIN_PATH",
    "GST_PLUGIN_PATH_1_0",
    "GST_PLUGIN_SYSTEM_PATH",
    "GST_PLUGIN_SYSTEM_PATH_1_0",
    "GST_PLUGIN_SCANNER",
    "GST_PLUGIN_SCANNER_1_0",
    "GST_REGISTRY",
    "GST_REGISTRY_1_0",
    "GDK_BACKEND",
};

bool dropped(const char* entry) {
  const char* equals = std::strchr(entry, '=');
  const size_t length =
      equals != nullptr ? static_cast<size_t>(equals - entry) : std::strlen(entry);
  for (const char* name : kDropped)
    if (std::strlen(name) == length && std::strncmp(entry, name, length) == 0) return true;
  return false;
}

}  // namespace

std::vector<std::string> webViewHelperEnvironment(const char* const* environment) {
  std::vector<std::string> kept;
  if (environment == nullptr) return kept;
  for (const char* const* entry = environment; *entry != nullptr; ++entry)
    if (!dropped(*entry)) kept.emplace_back(*entry);
  return kept;
}

}  // namespace orbel
