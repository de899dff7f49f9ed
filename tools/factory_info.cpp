#include "tools/factory_info.h"

#include <cstdio>
#include <cstring>

#include "sdk/missing/utf16.h"
#include "tools/text16.h"

namespace orbel {

using namespace Steinberg;

bool readFactoryInfo(IPluginFactory* factory, FactoryInfo& info, std::string& error) {
  info = FactoryInfo{};
  if (factory == nullptr) {
    error = "no class factory";
    return false;
  }
  PFactoryInfo raw{};
  if (factory->getFactoryInfo(&raw) != kResultOk) {
    error = "the factory refuses getFactoryInfo";
    return false;
  }
  info.vendor = boundedString(raw.vendor, PFactoryInfo::kNameSize);
  info.url = boundedString(raw.url, PFactoryInfo::kURLSize);
  info.email = boundedString(raw.email, PFactoryInfo::kEmailSize);
  info.flags = raw.flags;

  IPluginFactory2* f2 = nullptr;
  IPluginFactory3* f3 = nullptr;
  if (factory->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&f3)) != kResultOk)
    f3 = nullptr;
  if (f3 == nullptr &&
      factory->queryInterface(IPluginFactory2::iid, reinterpret_cast<void**>(&f2)) != kResultOk)
    f2 = nullptr;
  info.interfaceVersion = f3 ? 3 : f2 ? 2 : 1;

  const int32 count = factory->countClasses();
  for (int32 i = 0; i < count; ++i) {
    FactoryClass c;
    if (f3) {
      PClassInfoW w{};
      if (f3->getClassInfoUnicode(i, &w) != kResultOk) continue;
      std::memcpy(c.cid, w.cid, sizeof(TUID));
      c.cardinality = w.cardinality;
      c.category = boundedString(w.category, PClassInfo::kCategorySize);
      c.name = utf16ToUtf8(reinterpret_cast<const char16_t*>(w.name), PClassInfo::kNameSize);
      c.classFlags = w.classFlags;
      c.subCategories = boundedString(w.subCategories, PClassInfoW::kSubCategoriesSize);
      c.vendor = utf16ToUtf8(reinterpret_cast<const char16_t*>(w.vendor), PClassInfoW::kVendorSize);
      c.version =
          utf16ToUtf8(reinterpret_cast<const char16_t*>(w.version), PClassInfoW::kVersionSize);
      c.sdkVersion =
          utf16ToUtf8(reinterpret_cast<const char16_t*>(w.sdkVersion), PClassInfoW::kVersionSize);
    } else if (f2) {
      PClassInfo2 p{};
      if (f2->getClassInfo2(i, &p) != kResultOk) continue;
      std::memcpy(c.cid, p.cid, sizeof(TUID));
      c.cardinality = p.cardinality;
      c.category = boundedString(p.category, PClassInfo::kCategorySize);
      c.name = boundedString(p.name, PClassInfo::kNameSize);
      c.classFlags = p.classFlags;
      c.subCategories = boundedString(p.subCategories, PClassInfo2::kSubCategoriesSize);
      c.vendor = boundedString(p.vendor, PClassInfo2::kVendorSize);
      c.version = boundedString(p.version, PClassInfo2::kVersionSize);
      c.sdkVersion = boundedString(p.sdkVersion, PClassInfo2::kVersionSize);
    } else {
      PClassInfo p{};
      if (factory->getClassInfo(i, &p) != kResultOk) continue;
      std::memcpy(c.cid, p.cid, sizeof(TUID));
      c.cardinality = p.cardinality;
      c.category = boundedString(p.category, PClassInfo::kCategorySize);
      c.name = boundedString(p.name, PClassInfo::kNameSize);
    }
    info.classes.push_back(std::move(c));
  }
  if (f3) f3->release();
  if (f2) f2->release();
  return true;
}

std::string classIdHex(const TUID cid) {
  std::string out;
  char byte[3];
  for (int i = 0; i < 16; ++i) {
    std::snprintf(byte, sizeof byte, "%02X",
                  static_cast<unsigned>(static_cast<unsigned char>(cid[i])));
    out += byte;
  }
  return out;
}

const FactoryClass* findClass(const FactoryInfo& info, const char* category) {
  for (const FactoryClass& c : info.classes)
    if (c.category == category) return &c;
  return nullptr;
}

}  // namespace orbel
