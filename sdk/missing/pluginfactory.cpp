#include "sdk/missing/pluginfactory.h"

#include <cstring>
#include <string>

#include "sdk/missing/utf16.h"

namespace Steinberg {

IPluginFactory* gPluginFactory = nullptr;

namespace {

// Copies UTF-8 text into a fixed char8 field without splitting a code point.
void copyUtf8(char8* dst, size_t capacity, const std::string& text) {
  size_t n = text.size();
  if (n >= capacity) {
    n = capacity - 1;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(dst, text.data(), n);
  std::memset(dst + n, 0, capacity - n);
}

void copyUtf16ToUtf8(char8* dst, size_t capacity, const char16* src, size_t srcCapacity) {
  copyUtf8(dst, capacity, orbel::utf16ToUtf8(reinterpret_cast<const char16_t*>(src), srcCapacity));
}

void copyUtf8ToUtf16(char16* dst, size_t capacity, const char8* src, size_t srcCapacity) {
  orbel::utf8ToUtf16(src, strnlen(src, srcCapacity), reinterpret_cast<char16_t*>(dst), capacity);
}

template <size_t N>
void copyField(char8 (&dst)[N], const char8* src, size_t srcCapacity) {
  const size_t n = strnlen(src, srcCapacity < N ? srcCapacity : N - 1);
  std::memcpy(dst, src, n);
  std::memset(dst + n, 0, N - n);
}

}  // namespace

CPluginFactory::CPluginFactory(const PFactoryInfo& info) : factoryInfo(info) {}

CPluginFactory::~CPluginFactory() {
  if (gPluginFactory == this) gPluginFactory = nullptr;
  if (hostContext) hostContext->release();
}

tresult PLUGIN_API CPluginFactory::queryInterface(const TUID _iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (FUnknownPrivate::iidEqual(_iid, IPluginFactory::iid) ||
      FUnknownPrivate::iidEqual(_iid, IPluginFactory2::iid) ||
      FUnknownPrivate::iidEqual(_iid, IPluginFactory3::iid) ||
      FUnknownPrivate::iidEqual(_iid, FUnknown::iid)) {
    addRef();
    *obj = static_cast<IPluginFactory3*>(this);
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

uint32 PLUGIN_API CPluginFactory::addRef() {
  return static_cast<uint32>(FUnknownPrivate::atomicAdd(refCount, 1));
}

uint32 PLUGIN_API CPluginFactory::release() {
  const int32 left = FUnknownPrivate::atomicAdd(refCount, -1);
  if (left == 0) {
    delete this;
    return 0;
  }
  return static_cast<uint32>(left);
}

bool CPluginFactory::addEntry(const ClassEntry& entry) {
  if (!entry.createFunc) return false;
  classes.push_back(entry);
  return true;
}

bool CPluginFactory::registerClass(const PClassInfo* info, CreateFunction createFunc,
                                   void* context) {
  if (!info) return false;
  ClassEntry e;
  std::memcpy(e.info.cid, info->cid, sizeof(TUID));
  e.info.cardinality = info->cardinality;
  copyField(e.info.category, info->category, PClassInfo::kCategorySize);
  copyUtf8ToUtf16(e.info.name, PClassInfo::kNameSize, info->name, PClassInfo::kNameSize);
  e.createFunc = createFunc;
  e.context = context;
  return addEntry(e);
}

bool CPluginFactory::registerClass(const PClassInfo2* info, CreateFunction createFunc,
                                   void* context) {
  if (!info) return false;
  ClassEntry e;
  std::memcpy(e.info.cid, info->cid, sizeof(TUID));
  e.info.cardinality = info->cardinality;
  copyField(e.info.category, info->category, PClassInfo::kCategorySize);
  copyUtf8ToUtf16(e.info.name, PClassInfo::kNameSize, info->name, PClassInfo::kNameSize);
  e.info.classFlags = info->classFlags;
  copyField(e.info.subCategories, info->subCategories, PClassInfo2::kSubCategoriesSize);
  copyUtf8ToUtf16(e.info.vendor, PClassInfoW::kVendorSize, info->vendor, PClassInfo2::kVendorSize);
  copyUtf8ToUtf16(e.info.version, PClassInfoW::kVersionSize, info->version,
                  PClassInfo2::kVersionSize);
  copyUtf8ToUtf16(e.info.sdkVersion, PClassInfoW::kVersionSize, info->sdkVersion,
                  PClassInfo2::kVersionSize);
  e.createFunc = createFunc;
  e.context = context;
  e.hasInfo2 = true;
  return addEntry(e);
}

bool CPluginFactory::registerClass(const PClassInfoW* info, CreateFunction createFunc,
                                   void* context) {
  if (!info) return false;
  ClassEntry e;
  e.info = *info;
  e.createFunc = createFunc;
  e.context = context;
  e.isUnicode = true;
  e.hasInfo2 = true;
  return addEntry(e);
}

bool CPluginFactory::isClassRegistered(const FUID& cid) const {
  for (const auto& e : classes)
    if (FUnknownPrivate::iidEqual(cid.toTUID(), e.info.cid)) return true;
  return false;
}

void CPluginFactory::removeAllClasses() { classes.clear(); }

tresult PLUGIN_API CPluginFactory::getFactoryInfo(PFactoryInfo* info) {
  if (!info) return kInvalidArgument;
  std::memcpy(info, &factoryInfo, sizeof(PFactoryInfo));
  return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses() { return static_cast<int32>(classes.size()); }

tresult PLUGIN_API CPluginFactory::getClassInfo(int32 index, PClassInfo* info) {
  if (!info || index < 0 || index >= countClasses()) return kInvalidArgument;
  const PClassInfoW& w = classes[static_cast<size_t>(index)].info;
  std::memset(info, 0, sizeof(PClassInfo));
  std::memcpy(info->cid, w.cid, sizeof(TUID));
  info->cardinality = w.cardinality;
  copyField(info->category, w.category, PClassInfo::kCategorySize);
  copyUtf16ToUtf8(info->name, PClassInfo::kNameSize, w.name, PClassInfo::kNameSize);
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2(int32 index, PClassInfo2* info) {
  if (!info || index < 0 || index >= countClasses()) return kInvalidArgument;
  const PClassInfoW& w = classes[static_cast<size_t>(index)].info;
  std::memset(info, 0, sizeof(PClassInfo2));
  std::memcpy(info->cid, w.cid, sizeof(TUID));
  info->cardinality = w.cardinality;
  copyField(info->category, w.category, PClassInfo::kCategorySize);
  copyUtf16ToUtf8(info->name, PClassInfo::kNameSize, w.name, PClassInfo::kNameSize);
  info->classFlags = w.classFlags;
  copyField(info->subCategories, w.subCategories, PClassInfo2::kSubCategoriesSize);
  copyUtf16ToUtf8(info->vendor, PClassInfo2::kVendorSize, w.vendor, PClassInfoW::kVendorSize);
  copyUtf16ToUtf8(info->version, PClassInfo2::kVersionSize, w.version, PClassInfoW::kVersionSize);
  copyUtf16ToUtf8(info->sdkVersion, PClassInfo2::kVersionSize, w.sdkVersion,
                  PClassInfoW::kVersionSize);
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
  if (!info || index < 0 || index >= countClasses()) return kInvalidArgument;
  std::memcpy(info, &classes[static_cast<size_t>(index)].info, sizeof(PClassInfoW));
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance(FIDString cid, FIDString _iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!cid || !_iid) return kInvalidArgument;
  for (const auto& e : classes) {
    if (!FUnknownPrivate::iidEqual(cid, e.info.cid)) continue;
    FUnknown* instance = e.createFunc(e.context);
    if (!instance) return kOutOfMemory;
    const tresult result = instance->queryInterface(_iid, obj);
    instance->release();
    if (result != kResultOk) *obj = nullptr;
    return result == kResultOk ? kResultOk : kNoInterface;
  }
  return kNoInterface;
}

tresult PLUGIN_API CPluginFactory::setHostContext(FUnknown* context) {
  if (context) context->addRef();
  if (hostContext) hostContext->release();
  hostContext = context;
  return kResultOk;
}

}  // namespace Steinberg
