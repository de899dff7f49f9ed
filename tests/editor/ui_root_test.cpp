// Where the editor page is looked for: Contents/Resources/ui beside the
// module image's architecture folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "editor/ui_root.h"

namespace orbel {
namespace {

TEST(UiRoot, TwoComponentsOfTheImagePathGiveWayToResourcesUi) {
  struct Case {
    const char* image;
    const char* root;
  };
  const Case cases[] = {
      {"/home/u/.vst3/Mirel.vst3/Contents/x86_64-linux/Mirel.so",
       "/home/u/.vst3/Mirel.vst3/Contents/Resources/ui"},
      {"/x/Mirel.so", "/Resources/ui"},
      {"Mirel.so", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(uiRootForModulePath(c.image), c.root) << c.image;
}

TEST(UiRoot, OnlyAnExistingFolderCounts) {
  // This test program's own image has no Resources/ui beside it.
  EXPECT_EQ(uiRootForImageAddress(reinterpret_cast<const void*>(&uiRootForModulePath)), "");
  EXPECT_EQ(uiRootForImageAddress(nullptr), "");
}

}  // namespace
}  // namespace orbel
