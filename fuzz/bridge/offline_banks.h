// For fuzzers that drive a whole controller: a hosted bank request the input
// happens to spell out must reach neither the network nor the user's home.
// Downloads go through a proxy on a port where nothing listens (refused at
// once, no name is looked up), and the bank cache lives in a scratch folder
// removed at exit.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "platform/folders.h"

namespace orbel::fuzz {

inline void keepHostedBanksOffline() {
  ::setenv("https_proxy", "http://127.0.0.1:9", 1);
  ::setenv("HTTPS_PROXY", "http://127.0.0.1:9", 1);
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");
  static std::string data;
  const char* tmp = std::getenv("TMPDIR");
  data = std::string(tmp && *tmp ? tmp : "/tmp") + "/orbel-fuzz-data-XXXXXX";
  if (::mkdtemp(data.data()) == nullptr) std::abort();
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  std::atexit([] { orbel::removeTree(data); });
}

}  // namespace orbel::fuzz
