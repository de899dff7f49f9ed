// A scratch folder under the system's temporary directory, removed with
// everything in it when the test ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace orbel::test {

class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orbel-banks-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  // Writes a file (creating its folders) below the scratch folder.
  void write(const std::string& relative, const std::string& text) const {
    write(relative, std::vector<uint8_t>(text.begin(), text.end()));
  }
  void write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    const std::filesystem::path file = std::filesystem::path(path_) / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }

private:
  std::string path_;
};

}  // namespace orbel::test
