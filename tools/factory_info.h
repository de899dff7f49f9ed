// What a module's class factory says about itself and its classes, read
// through the richest factory interface the module offers (IPluginFactory3's
// UTF-16 records, else IPluginFactory2, else the plain records).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"

namespace orbel {

struct FactoryClass {
  Steinberg::TUID cid{};
  int32_t cardinality = 0;
  std::string category;
  std::string name;
  uint32_t classFlags = 0;
  std::string subCategories;
  std::string vendor;
  std::string version;
  std::string sdkVersion;
};

struct FactoryInfo {
  std::string vendor;
  std::string url;
  std::string email;
  int32_t flags = 0;
  int interfaceVersion = 1;  // 1, 2 or 3: the factory interface the records came from
  std::vector<FactoryClass> classes;
};

bool readFactoryInfo(Steinberg::IPluginFactory* factory, FactoryInfo& info, std::string& error);

// The 32 hex digits of a class id, in its byte order.
std::string classIdHex(const Steinberg::TUID cid);

// The first class of the given category ("Audio Module Class"), or nullptr.
const FactoryClass* findClass(const FactoryInfo& info, const char* category);

}  // namespace orbel
