#pragma once
// What the module entry learned about the loaded image.

namespace orbel {

// File-system path of the bundle ("…/Mirel.vst3"), or of the shared object
// when it is not inside a bundle; empty before the first ModuleEntry.
const char* moduleBundlePath();

// The first handle the host passed to ModuleEntry, or null.
void* moduleHandle();

}  // namespace orbel
