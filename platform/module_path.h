#pragma once
// Path of the loaded module image (the shared object that contains a given
// address) and of the bundle folder around it.
#include <string>

namespace orbel {

// File-system path of the loaded image that contains `address`, or an empty
// string when the address belongs to no loaded image.
std::string modulePathForAddress(const void* address);

// The bundle folder of a module image path: for ".../Name.vst3/Contents/<arch>/Name.so"
// this is ".../Name.vst3"; any other layout gives the image path unchanged.
std::string bundlePathForModulePath(const std::string& modulePath);

}  // namespace orbel
