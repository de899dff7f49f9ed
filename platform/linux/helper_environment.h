#pragma once
// The environment the web view helper starts with: the host's, less what
// points a process at the host's own builds of libraries and toolkit
// modules. Hosts that ship their own GLib, GTK 2, cairo or gdk-pixbuf set
// LD_LIBRARY_PATH, GTK_PATH, GDK_PIXBUF_MODULE_FILE and the like for
// themselves; the helper, linked against the system's WebKitGTK and GTK 3,
// would load those and crash. Everything else (DISPLAY, HOME, XDG_*, locale,
// accessibility, fonts) passes unchanged.
#include <string>
#include <vector>

namespace orbel {

// The entries of a NUL-terminated "NAME=value" array that the helper keeps.
std::vector<std::string> webViewHelperEnvironment(const char* const* environment);

}  // namespace orbel
