#include "sdk/hosting/host_classes.h"

#include <cstring>

namespace orbel::hosting {

using namespace Steinberg;
using Steinberg::Vst::TChar;

namespace {

template <typename I>
tresult answerFor(I* self, const TUID iid, void** obj) {
  if (FUnknownPrivate::iidEqual(iid, I::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
    self->addRef();
    *obj = self;
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

uint32 dropRef(std::atomic<uint32>& refs) { return refs.fetch_sub(1) - 1; }

}  // namespace

tresult PLUGIN_API AttributeList::setInt(AttrID id, int64 value) {
  if (id == nullptr) return kInvalidArgument;
  values_[id] = value;
  return kResultTrue;
}

tresult PLUGIN_API AttributeList::getInt(AttrID id, int64& value) {
  auto it = id != nullptr ? values_.find(id) : values_.end();
  if (it == values_.end() || !std::holds_alternative<int64>(it->second)) return kResultFalse;
  value = std::get<int64>(it->second);
  return kResultTrue;
}

tresult PLUGIN_API AttributeList::setFloat(AttrID id, double value) {
  if (id == nullptr) return kInvalidArgument;
  values_[id] = value;
  return kResultTrue;
}

tresult PLUGIN_API AttributeList::getFloat(AttrID id, double& value) {
  auto it = id != nullptr ? values_.find(id) : values_.end();
  if (it == values_.end() || !std::holds_alternative<double>(it->second)) return kResultFalse;
  value = std::get<double>(it->second);
  return kResultTrue;
}

tresult PLUGIN_API AttributeList::setString(AttrID id, const TChar* string) {
  if (id == nullptr || string == nullptr) return kInvalidArgument;
  values_[id] = std::u16string(reinterpret_cast<const char16_t*>(string));
  return kResultTrue;
}

tresult PLUGIN_API AttributeList::getString(AttrID id, TChar* string, uint32 sizeInBytes) {
  auto it = id != nullptr ? values_.find(id) : values_.end();
  if (it == values_.end() || !std::holds_alternative<std::u16string>(it->second))
    return kResultFalse;
  const std::u16string& text = std::get<std::u16string>(it->second);
  const size_t room = sizeInBytes / sizeof(TChar);
  if (string == nullptr || room == 0) return kResultFalse;
  const size_t count = std::min(text.size(), room - 1);
  std::memcpy(string, text.data(), count * sizeof(TChar));
  string[count] = 0;
  return kResultTrue;
}

tresult PLUGIN_API AttributeList::setBinary(AttrID id, const void* data, uint32 sizeInBytes) {
  if (id == nullptr || (data == nullptr && sizeInBytes != 0)) return kInvalidArgument;
  const char* bytes = static_cast<const char*>(data);
  values_[id] = std::vector<char>(bytes, bytes + sizeInBytes);
  return kResultTrue;
}

tresult PLUGIN_API AttributeList::getBinary(AttrID id, const void*& data, uint32& sizeInBytes) {
  auto it = id != nullptr ? values_.find(id) : values_.end();
  if (it == values_.end() || !std::holds_alternative<std::vector<char>>(it->second)) {
    return kResultFalse;
  }
  const std::vector<char>& bytes = std::get<std::vector<char>>(it->second);
  // An empty payload is still a payload: never hand out a null pointer for it.
  static const char kNothing = 0;
  data = bytes.empty() ? &kNothing : bytes.data();
  sizeInBytes = static_cast<uint32>(bytes.size());
  return kResultTrue;
}

tresult PLUGIN_API AttributeList::queryInterface(const TUID iid, void** obj) {
  return answerFor<Vst::IAttributeList>(this, iid, obj);
}

uint32 PLUGIN_API AttributeList::addRef() { return ++refs_; }

uint32 PLUGIN_API AttributeList::release() {
  const uint32 left = dropRef(refs_);
  if (left == 0) delete this;
  return left;
}

Message::Message() : attributes_(new AttributeList) {}

Message::~Message() { attributes_->release(); }

tresult PLUGIN_API Message::queryInterface(const TUID iid, void** obj) {
  return answerFor<Vst::IMessage>(this, iid, obj);
}

uint32 PLUGIN_API Message::addRef() { return ++refs_; }

uint32 PLUGIN_API Message::release() {
  const uint32 left = dropRef(refs_);
  if (left == 0) delete this;
  return left;
}

HostApplication::HostApplication() : support_(owned(new Vst::PlugInterfaceSupport)) {}

tresult PLUGIN_API HostApplication::getName(Vst::String128 name) {
  if (name == nullptr) return kInvalidArgument;
  static const char kName[] = "orbel host";
  for (size_t i = 0; i < sizeof kName; ++i) name[i] = static_cast<Vst::TChar>(kName[i]);
  return kResultTrue;
}

tresult PLUGIN_API HostApplication::queryInterface(const TUID iid, void** obj) {
  if (answerFor<Vst::IHostApplication>(this, iid, obj) == kResultOk) return kResultOk;
  if (support_ && support_->queryInterface(iid, obj) == kResultTrue) return kResultOk;
  *obj = nullptr;
  return kResultFalse;
}

uint32 PLUGIN_API HostApplication::addRef() { return ++refs_; }

uint32 PLUGIN_API HostApplication::release() {
  const uint32 left = dropRef(refs_);
  if (left == 0) delete this;
  return left;
}

tresult PLUGIN_API HostApplication::createInstance(TUID cid, TUID iid, void** obj) {
  if (obj == nullptr) return kInvalidArgument;
  const bool message = FUnknownPrivate::iidEqual(cid, Vst::IMessage::iid) &&
                       FUnknownPrivate::iidEqual(iid, Vst::IMessage::iid);
  const bool list = FUnknownPrivate::iidEqual(cid, Vst::IAttributeList::iid) &&
                    FUnknownPrivate::iidEqual(iid, Vst::IAttributeList::iid);
  if (message)
    *obj = static_cast<Vst::IMessage*>(new Message);
  else if (list)
    *obj = static_cast<Vst::IAttributeList*>(new AttributeList);
  else
    *obj = nullptr;
  return *obj != nullptr ? kResultTrue : kResultFalse;
}

}  // namespace orbel::hosting
