// Path of the loaded module image and of the bundle around it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>

#include "platform/module_path.h"

namespace orbel {
namespace {

void marker() {}

TEST(ModulePath, FindsTheImageOfAnAddress) {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(modulePathForAddress(reinterpret_cast<const void*>(&marker)),
            std::string(self, size_t(n)));
  EXPECT_EQ(modulePathForAddress(nullptr), "");
}

TEST(ModulePath, BundleFolderOfAModulePath) {
  struct Case {
    const char* image;
    const char* bundle;
  };
  const Case cases[] = {
      {"/home/u/.vst3/Mirel.vst3/Contents/x86_64-linux/Mirel.so", "/home/u/.vst3/Mirel.vst3"},
      {"/Mirel.vst3/Contents/x86_64-linux/Mirel.so", "/Mirel.vst3"},
      {"/usr/lib/vst3/Mirel.so", "/usr/lib/vst3/Mirel.so"},  // not in a bundle
      {"/x/Mirel.vst3/Other/x86_64-linux/Mirel.so", "/x/Mirel.vst3/Other/x86_64-linux/Mirel.so"},
      {"/x/Mirel/Contents/x86_64-linux/Mirel.so", "/x/Mirel/Contents/x86_64-linux/Mirel.so"},
      {"Mirel.so", "Mirel.so"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(bundlePathForModulePath(c.image), c.bundle) << c.image;
}

}  // namespace
}  // namespace orbel
