#include "editor/ui_root.h"

#include "platform/files.h"
#include "platform/module_path.h"

namespace orbel {

std::string uiRootForModulePath(const std::string& modulePath) {
  std::string contents = modulePath;
  for (int level = 0; level < 2; ++level) {
    const auto slash = contents.find_last_of('/');
    if (slash == std::string::npos) return {};
    contents.erase(slash);
  }
  return contents + "/Resources/ui";
}

std::string uiRootForImageAddress(const void* address) {
  const std::string image = modulePathForAddress(address);
  if (image.empty()) return {};
  const std::string root = uiRootForModulePath(image);
  return root.empty() ? std::string() : existingDirectory(root);
}

std::string pluginUiRoot() {
  // Any code address inside this image identifies it.
  return uiRootForImageAddress(reinterpret_cast<const void*>(&pluginUiRoot));
}

}  // namespace orbel
