#pragma once
// The per-user folder where applications keep their data. On Linux this is
// $XDG_DATA_HOME when it holds an absolute path, otherwise ".local/share" in
// the home folder ($HOME, else the password database).
#include <string>

namespace orbel {

// The folder, without a trailing slash; empty when no home is known. It is
// not created here.
std::string userDataFolder();

}  // namespace orbel
