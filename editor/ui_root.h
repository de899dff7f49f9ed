#pragma once
// Where the editor page lives: the folder "Resources/ui" inside the bundle's
// "Contents" folder, found from the path of the loaded module image
// (".../Mirel.vst3/Contents/x86_64-linux/Mirel.so": the image's name and its
// architecture folder are removed). No such folder means no editor.
#include <string>

namespace orbel {

// The UI root a module image path implies, whether or not it exists; empty
// for a path with fewer than two components to remove.
std::string uiRootForModulePath(const std::string& modulePath);

// The canonical UI root of the image that contains `address`, or empty when
// that folder does not exist.
std::string uiRootForImageAddress(const void* address);

// The UI root of this module, or empty when it has none.
std::string pluginUiRoot();

}  // namespace orbel
