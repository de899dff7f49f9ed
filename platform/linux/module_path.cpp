#include "platform/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

namespace orbel {

std::string modulePathForAddress(const void* address) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) return {};
  // dli_fname is the name the image was loaded under (possibly relative or via
  // symbolic links); report the canonical path so it stays valid after a chdir.
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

std::string bundlePathForModulePath(const std::string& modulePath) {
  // .../Name.vst3/Contents/<arch>-linux/Name.so
  std::string path = modulePath;
  for (int level = 0; level < 3; ++level) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return modulePath;
    const std::string component = path.substr(slash + 1);
    if (level == 2 && component != "Contents") return modulePath;
    path.erase(slash);
  }
  const auto slash = path.find_last_of('/');
  const std::string bundle = slash == std::string::npos ? path : path.substr(slash + 1);
  if (bundle.size() <= 5 || bundle.compare(bundle.size() - 5, 5, ".vst3") != 0) return modulePath;
  return path;
}

}  // namespace orbel
