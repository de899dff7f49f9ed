// Request paths as the page (or anything in it) may send them: the
// containment rule never admits a file outside the root, however the path
// is written, and every MIME type comes from the table.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "editor/ui_scheme.h"

namespace {

// <tmp>/ui with a page, a sibling <tmp>/ui-x and a file outside, and links
// that lead out; made once per process.
struct Tree {
  std::string base;
  std::string root;
  std::string realRoot;
  Tree() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orbel-scheme-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    base = pattern;
    root = base + "/ui";
    std::filesystem::create_directories(root + "/js");
    std::filesystem::create_directories(base + "/ui-x");
    std::ofstream(root + "/index.html") << "<!doctype html>";
    std::ofstream(root + "/js/main.js") << "export {};";
    std::ofstream(base + "/ui-x/index.html") << "sibling";
    std::ofstream(base + "/secret") << "secret";
    std::filesystem::create_symlink(base + "/secret", root + "/s");
    std::filesystem::create_directory_symlink(base + "/ui-x", root + "/d");
    std::filesystem::create_directory_symlink("/", root + "/top");
    char* real = ::realpath(root.c_str(), nullptr);
    realRoot = real;
    ::free(real);
  }
  ~Tree() {
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
  }
};

bool fromTable(const char* mime) {
  static const char* kKnown[] = {"text/css",         "image/gif",  "text/html",
                                 "image/x-icon",     "image/jpeg", "text/javascript",
                                 "application/json", "image/png",  "image/svg+xml",
                                 "font/ttf",         "text/plain", "application/wasm",
                                 "font/woff",        "font/woff2", "application/octet-stream"};
  for (const char* known : kKnown)
    if (std::string(mime) == known) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Tree tree;
  const std::string path(reinterpret_cast<const char*>(data), size);
  if (!fromTable(orbel::uiMimeTypeForPath(path))) std::abort();
  std::string file;
  if (!orbel::resolveUiSchemePath(tree.root, path, file)) return 0;
  const std::string& real = tree.realRoot;
  const bool inside =
      file == real || (file.size() > real.size() && file.compare(0, real.size(), real) == 0 &&
                       file[real.size()] == '/');
  if (!inside) std::abort();
  orbel::UiSchemeFile served;
  if (orbel::serveUiSchemeRequest(tree.root, path, served)) {
    const std::string body(served.bytes.begin(), served.bytes.end());
    if (body == "secret" || body == "sibling") std::abort();
  }
  return 0;
}
