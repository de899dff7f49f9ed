// Host-side VST 3 objects for our own hosts (orbel-probe, the tests, the fuzz
// targets): a message with its attribute list, and a host application that
// hands those out from `createInstance`. The SDK's own hosting classes leak
// the buffer of a zero-length binary attribute, which every empty "json"
// payload is, so they are not built at all; these keep each attribute by
// value.
#pragma once

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/pluginterfacesupport.h"

namespace orbel::hosting {

class AttributeList : public Steinberg::Vst::IAttributeList {
public:
  AttributeList() = default;
  virtual ~AttributeList() = default;

  Steinberg::tresult PLUGIN_API setInt(AttrID id, Steinberg::int64 value) override;
  Steinberg::tresult PLUGIN_API getInt(AttrID id, Steinberg::int64& value) override;
  Steinberg::tresult PLUGIN_API setFloat(AttrID id, double value) override;
  Steinberg::tresult PLUGIN_API getFloat(AttrID id, double& value) override;
  Steinberg::tresult PLUGIN_API setString(AttrID id, const Steinberg::Vst::TChar* string) override;
  Steinberg::tresult PLUGIN_API getString(AttrID id, Steinberg::Vst::TChar* string,
                                          Steinberg::uint32 sizeInBytes) override;
  Steinberg::tresult PLUGIN_API setBinary(AttrID id, const void* data,
                                          Steinberg::uint32 sizeInBytes) override;
  Steinberg::tresult PLUGIN_API getBinary(AttrID id, const void*& data,
                                          Steinberg::uint32& sizeInBytes) override;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

private:
  using Value = std::variant<Steinberg::int64, double, std::u16string, std::vector<char>>;
  std::map<std::string, Value> values_;
  std::atomic<Steinberg::uint32> refs_{1};
};

class Message : public Steinberg::Vst::IMessage {
public:
  Message();
  virtual ~Message();

  Steinberg::FIDString PLUGIN_API getMessageID() override { return id_.c_str(); }
  void PLUGIN_API setMessageID(Steinberg::FIDString id) override { id_ = id != nullptr ? id : ""; }
  Steinberg::Vst::IAttributeList* PLUGIN_API getAttributes() override { return attributes_; }

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

private:
  std::string id_;
  AttributeList* attributes_;
  std::atomic<Steinberg::uint32> refs_{1};
};

// A host application that hands out the messages and attribute lists above
// and answers for the SDK's plug-in interface support.
class HostApplication : public Steinberg::Vst::IHostApplication {
public:
  HostApplication();
  virtual ~HostApplication() = default;

  Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
  Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID cid, Steinberg::TUID iid,
                                               void** obj) override;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

private:
  Steinberg::IPtr<Steinberg::Vst::PlugInterfaceSupport> support_;
  std::atomic<Steinberg::uint32> refs_{1};
};

}  // namespace orbel::hosting
