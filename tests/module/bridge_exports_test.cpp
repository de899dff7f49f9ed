// The exported glue functions of the built module, found by name as an
// outside client finds them.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "tests/module/module_fixture.h"

namespace orbel::testhost {
namespace {

using UiRootFn = const char* (*)();

TEST(ModuleBridgeExports, UiRootIsTheBundlesResourcesUiFolderWhenThereIsOne) {
  LoadedModule& module = sharedModule();
  ASSERT_TRUE(module.ok()) << module.error;
  auto uiRoot = reinterpret_cast<UiRootFn>(module.symbol("orbelPluginUiRootForDiagnostics"));
  ASSERT_NE(uiRoot, nullptr);
  namespace fs = std::filesystem;
  EXPECT_EQ(std::string(uiRoot()),
            fs::canonical(fs::path(ORBEL_BUNDLE_PATH) / "Contents" / "Resources" / "ui").string());

  // Copies of the module elsewhere answer their own bundle's folder, or an
  // empty text when that bundle has no page.
  std::string pattern = ::testing::TempDir() + "orbel_ui_XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  for (bool withUi : {true, false}) {
    const fs::path bundle = fs::path(pattern) / (withUi ? "WithUi.vst3" : "NoUi.vst3");
    const fs::path binary = bundle / "Contents" / "x86_64-linux" / "Copy.so";
    fs::create_directories(binary.parent_path());
    if (withUi) fs::create_directories(bundle / "Contents" / "Resources" / "ui");
    fs::copy_file(std::string(ORBEL_BUNDLE_PATH) + "/Contents/x86_64-linux/Mirel.so", binary);
    void* copy = dlopen(binary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(copy, nullptr) << dlerror();
    auto copyRoot = reinterpret_cast<UiRootFn>(dlsym(copy, "orbelPluginUiRootForDiagnostics"));
    ASSERT_NE(copyRoot, nullptr);
    EXPECT_EQ(
        std::string(copyRoot()),
        withUi ? fs::canonical(bundle / "Contents" / "Resources" / "ui").string() : std::string());
    dlclose(copy);
  }
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace orbel::testhost
