// The module's exported entry points and its factory, loaded from the built
// bundle as a host loads it. Entry/exit counting is process-wide state, so the
// sequence lives in one test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "sdk/missing/utf16.h"
#include "tests/support/vst3_host.h"

namespace orbel::testhost {
namespace {

LoadedModule& module() {
  static LoadedModule m(ORBEL_BUNDLE_PATH);
  return m;
}

TEST(ModuleEntry, CountsEntriesAndExits) {
  LoadedModule& m = module();
  ASSERT_TRUE(m.ok()) << m.error;
  // An exit without an entry is refused, and does not unbalance later counting.
  EXPECT_FALSE(m.moduleExit());
  EXPECT_FALSE(m.moduleExit());
  // A null handle is accepted and not counted.
  EXPECT_TRUE(m.moduleEntry(nullptr));
  EXPECT_FALSE(m.moduleExit());

  int other = 0;
  EXPECT_TRUE(m.moduleEntry(m.handle));
  EXPECT_TRUE(m.moduleEntry(&other));
  EXPECT_TRUE(m.moduleExit());
  EXPECT_TRUE(m.moduleExit());
  EXPECT_FALSE(m.moduleExit());
  // A fresh cycle after de-initialisation works the same way.
  EXPECT_TRUE(m.moduleEntry(m.handle));
  EXPECT_TRUE(m.moduleExit());
  EXPECT_FALSE(m.moduleExit());
}

TEST(ModuleEntry, ExportsExactlyTheEntryPoints) {
  LoadedModule& m = module();
  ASSERT_TRUE(m.ok()) << m.error;
  EXPECT_NE(m.symbol("scpr_music_orbel_mirel_9ff6eb2b48a9_process"), nullptr);
  // SDK and C++ internals stay private to the module.
  EXPECT_EQ(m.symbol("gPluginFactory"), nullptr);
  EXPECT_EQ(m.symbol("_ZN9Steinberg4FUID8generateEv"), nullptr);
}

class Factory : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(module().ok()) << module().error;
    ASSERT_TRUE(module().moduleEntry(module().handle));
    factory = module().getPluginFactory();
    ASSERT_NE(factory, nullptr);
  }
  void TearDown() override {
    if (factory) factory->release();
    module().moduleExit();
  }
  IPluginFactory* factory = nullptr;
};

TEST_F(Factory, SecondCallReturnsSameObjectWithOneMoreReference) {
  IPluginFactory* again = module().getPluginFactory();
  EXPECT_EQ(again, factory);
  // Two references held by this test: one more added and removed shows the count.
  EXPECT_EQ(factory->addRef(), 3u);
  EXPECT_EQ(factory->release(), 2u);
  EXPECT_EQ(again->countClasses(), 2);  // not registered twice
  again->release();
}

TEST_F(Factory, AnswersFactoryInfo) {
  PFactoryInfo info;
  ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
  EXPECT_STREQ(info.vendor, "Orbel Music");
  EXPECT_EQ(info.flags, 16);
  EXPECT_EQ(std::strncmp(info.email, "mailto:", 7), 0);
  EXPECT_TRUE(std::strncmp(info.url, "https://", 8) == 0 ||
              std::strncmp(info.url, "http://", 7) == 0);

  IPluginFactory3* f3 = nullptr;
  ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&f3)),
            kResultOk);
  f3->release();
}

TEST_F(Factory, ReportsBothClassRecords) {
  struct Expected {
    uint8_t cid[16];
    const char* category;
    const char* name;
    uint32 flags;
    const char* subCategories;
  };
  const Expected expected[2] = {
      {{0x62, 0xF4, 0x03, 0x10, 0x63, 0xF4, 0x04, 0xA3, 0x64, 0xF4, 0x06, 0x36, 0x65, 0xF4, 0x07,
        0xC9},
       "Audio Module Class",
       "Mirel",
       1,
       "Instrument|Synth"},
      {{0x66, 0xD9, 0x5B, 0xE4, 0x67, 0xD9, 0x5D, 0x77, 0x68, 0xD9, 0x5F, 0x0A, 0x69, 0xD9, 0x60,
        0x9D},
       "Component Controller Class",
       "Mirel Controller",
       0,
       ""},
  };
  IPluginFactory3* f3 = nullptr;
  ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&f3)),
            kResultOk);
  ASSERT_EQ(factory->countClasses(), 2);
  for (int32 i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const Expected& e = expected[i];
    PClassInfo2 c2;
    ASSERT_EQ(f3->getClassInfo2(i, &c2), kResultOk);
    EXPECT_EQ(std::memcmp(c2.cid, e.cid, 16), 0);
    EXPECT_EQ(c2.cardinality, 0x7FFFFFFF);
    EXPECT_STREQ(c2.category, e.category);
    EXPECT_STREQ(c2.name, e.name);
    EXPECT_EQ(c2.classFlags, e.flags);
    EXPECT_STREQ(c2.subCategories, e.subCategories);
    EXPECT_STREQ(c2.vendor, "");
    EXPECT_STREQ(c2.version, "0.0.0");
    EXPECT_STREQ(c2.sdkVersion, "VST 3.8.1");

    PClassInfoW cw;
    ASSERT_EQ(f3->getClassInfoUnicode(i, &cw), kResultOk);
    EXPECT_EQ(std::memcmp(cw.cid, e.cid, 16), 0);
    EXPECT_EQ(utf16ToUtf8(reinterpret_cast<const char16_t*>(cw.name)), e.name);
    EXPECT_EQ(utf16ToUtf8(reinterpret_cast<const char16_t*>(cw.sdkVersion)), "VST 3.8.1");
    EXPECT_EQ(utf16ToUtf8(reinterpret_cast<const char16_t*>(cw.version)), "0.0.0");
    EXPECT_STREQ(cw.subCategories, e.subCategories);

    PClassInfo c1;
    ASSERT_EQ(factory->getClassInfo(i, &c1), kResultOk);
    EXPECT_STREQ(c1.name, e.name);
  }
  PClassInfo2 none;
  EXPECT_NE(f3->getClassInfo2(2, &none), kResultOk);
  EXPECT_NE(f3->getClassInfo2(-1, &none), kResultOk);
  f3->release();
}

TEST_F(Factory, CreatesBothClassesAndRefusesUnknownIds) {
  PClassInfo2 processorInfo, controllerInfo;
  factory->queryInterface(IPluginFactory2::iid, nullptr);  // a null out-pointer must not crash
  IPluginFactory2* f2 = nullptr;
  ASSERT_EQ(factory->queryInterface(IPluginFactory2::iid, reinterpret_cast<void**>(&f2)),
            kResultOk);
  f2->getClassInfo2(0, &processorInfo);
  f2->getClassInfo2(1, &controllerInfo);
  f2->release();

  void* obj = nullptr;
  ASSERT_EQ(factory->createInstance(processorInfo.cid, IComponent::iid, &obj), kResultOk);
  auto* component = static_cast<IComponent*>(obj);
  TUID controllerCid;
  EXPECT_EQ(component->getControllerClassId(controllerCid), kResultOk);
  EXPECT_EQ(std::memcmp(controllerCid, controllerInfo.cid, 16), 0);
  IAudioProcessor* audio = nullptr;
  EXPECT_EQ(component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&audio)),
            kResultOk);
  if (audio) audio->release();
  component->release();

  obj = nullptr;
  ASSERT_EQ(factory->createInstance(controllerInfo.cid, IEditController::iid, &obj), kResultOk);
  auto* controller = static_cast<IEditController*>(obj);
  ASSERT_EQ(controller->initialize(nullptr), kResultOk);
  EXPECT_EQ(controller->getParameterCount(), 11);
  controller->terminate();
  controller->release();

  // The processor class does not offer the controller interface.
  obj = reinterpret_cast<void*>(1);
  EXPECT_NE(factory->createInstance(processorInfo.cid, IEditController::iid, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
  const TUID unknown = {};
  obj = reinterpret_cast<void*>(1);
  EXPECT_NE(factory->createInstance(unknown, IComponent::iid, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
}

}  // namespace
}  // namespace orbel::testhost
