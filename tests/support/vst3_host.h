#pragma once
// Minimal host-side VST 3 objects for tests: parameter change lists, event
// lists, a memory stream that can hand out short reads, and a loader that opens
// a built bundle through its exported entry points as a host does. The objects
// live on the stack; reference counting is a no-op.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace orbel::testhost {

using namespace Steinberg;
using namespace Steinberg::Vst;

#define ORBEL_TESTHOST_STATIC_REFCOUNT              \
  uint32 PLUGIN_API addRef() override { return 1; } \
  uint32 PLUGIN_API release() override { return 1; }

class ParamQueue final : public IParamValueQueue {
public:
  explicit ParamQueue(ParamID id) : id_(id) {}
  void add(int32 offset, ParamValue value) { points_.push_back({offset, value}); }

  ParamID PLUGIN_API getParameterId() override { return id_; }
  int32 PLUGIN_API getPointCount() override { return static_cast<int32>(points_.size()); }
  tresult PLUGIN_API getPoint(int32 index, int32& offset, ParamValue& value) override {
    if (index < 0 || index >= getPointCount()) return kResultFalse;
    offset = points_[static_cast<size_t>(index)].offset;
    value = points_[static_cast<size_t>(index)].value;
    return kResultOk;
  }
  tresult PLUGIN_API addPoint(int32 offset, ParamValue value, int32& index) override {
    index = getPointCount();
    add(offset, value);
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    return queryOne<IParamValueQueue>(iid, obj);
  }
  ORBEL_TESTHOST_STATIC_REFCOUNT

  template <typename I>
  tresult queryOne(const TUID iid, void** obj) {
    if (FUnknownPrivate::iidEqual(iid, I::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<I*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }

private:
  struct Point {
    int32 offset;
    ParamValue value;
  };
  ParamID id_;
  std::vector<Point> points_;
};

class ParamChanges final : public IParameterChanges {
public:
  ParamChanges() { queues_.reserve(64); }
  ParamQueue& add(ParamID id) {
    queues_.emplace_back(id);
    return queues_.back();
  }
  void add(ParamID id, int32 offset, ParamValue value) { queue(id).add(offset, value); }
  ParamQueue& queue(ParamID id) {
    for (auto& q : queues_)
      if (q.getParameterId() == id) return q;
    return add(id);
  }
  void clear() { queues_.clear(); }

  int32 PLUGIN_API getParameterCount() override { return static_cast<int32>(queues_.size()); }
  IParamValueQueue* PLUGIN_API getParameterData(int32 index) override {
    if (index < 0 || index >= getParameterCount()) return nullptr;
    return &queues_[static_cast<size_t>(index)];
  }
  IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& index) override {
    index = getParameterCount();
    return &add(id);
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IParameterChanges::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IParameterChanges*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  ORBEL_TESTHOST_STATIC_REFCOUNT

private:
  std::vector<ParamQueue> queues_;
};

class EventList final : public IEventList {
public:
  EventList() { events_.reserve(256); }
  void noteOn(int32 pitch, float velocity, int32 offset, int16 channel = 0, int32 bus = 0,
              int32 noteId = -1) {
    Event e{};
    e.busIndex = bus;
    e.sampleOffset = offset;
    e.type = Event::kNoteOnEvent;
    e.noteOn.channel = channel;
    e.noteOn.pitch = static_cast<int16>(pitch);
    e.noteOn.velocity = velocity;
    e.noteOn.noteId = noteId;
    events_.push_back(e);
  }
  void noteOff(int32 pitch, int32 offset, int16 channel = 0, int32 bus = 0, int32 noteId = -1) {
    Event e{};
    e.busIndex = bus;
    e.sampleOffset = offset;
    e.type = Event::kNoteOffEvent;
    e.noteOff.channel = channel;
    e.noteOff.pitch = static_cast<int16>(pitch);
    e.noteOff.noteId = noteId;
    events_.push_back(e);
  }
  void clear() { events_.clear(); }

  int32 PLUGIN_API getEventCount() override { return static_cast<int32>(events_.size()); }
  tresult PLUGIN_API getEvent(int32 index, Event& e) override {
    if (index < 0 || index >= getEventCount()) return kResultFalse;
    e = events_[static_cast<size_t>(index)];
    return kResultOk;
  }
  tresult PLUGIN_API addEvent(Event& e) override {
    events_.push_back(e);
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IEventList::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IEventList*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  ORBEL_TESTHOST_STATIC_REFCOUNT

private:
  std::vector<Event> events_;
};

// A byte stream like a host's: reads hand out at most `maxRead` bytes at a time.
// A strict stream answers kResultFalse for a read that reaches the end, while
// still handing over the bytes it read (as the SDK's own file stream does).
class ByteStream final : public IBStream {
public:
  explicit ByteStream(std::string data = {}, int32 maxRead = 1 << 30, bool strict = false)
      : data_(std::move(data)), maxRead_(maxRead), strict_(strict) {}
  const std::string& data() const { return data_; }
  int32 readCalls() const { return readCalls_; }

  tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override {
    ++readCalls_;
    if (numBytes < 0) return kInvalidArgument;
    const size_t left = data_.size() - pos_;
    const size_t n =
        std::min<size_t>({left, static_cast<size_t>(numBytes), static_cast<size_t>(maxRead_)});
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    if (numBytesRead) *numBytesRead = static_cast<int32>(n);
    return strict_ && n < static_cast<size_t>(numBytes) ? kResultFalse : kResultOk;
  }
  tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) override {
    if (numBytes < 0) return kInvalidArgument;
    data_.replace(pos_, std::min<size_t>(numBytes, data_.size() - pos_),
                  static_cast<const char*>(buffer), static_cast<size_t>(numBytes));
    pos_ += static_cast<size_t>(numBytes);
    if (numBytesWritten) *numBytesWritten = numBytes;
    return kResultOk;
  }
  tresult PLUGIN_API seek(int64 pos, int32 mode, int64* result) override {
    int64 base = mode == kIBSeekSet   ? 0
                 : mode == kIBSeekCur ? static_cast<int64>(pos_)
                                      : static_cast<int64>(data_.size());
    const int64 target = base + pos;
    if (target < 0 || target > static_cast<int64>(data_.size())) return kResultFalse;
    pos_ = static_cast<size_t>(target);
    if (result) *result = target;
    return kResultOk;
  }
  tresult PLUGIN_API tell(int64* pos) override {
    if (pos) *pos = static_cast<int64>(pos_);
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IBStream::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IBStream*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  ORBEL_TESTHOST_STATIC_REFCOUNT

private:
  std::string data_;
  size_t pos_ = 0;
  int32 maxRead_;
  bool strict_;
  int32 readCalls_ = 0;
};

// The built bundle opened as a host opens it.
struct LoadedModule {
  using EntryFn = bool (*)(void*);
  using ExitFn = bool (*)();
  using FactoryFn = IPluginFactory* (*)();

  void* handle = nullptr;
  EntryFn moduleEntry = nullptr;
  ExitFn moduleExit = nullptr;
  FactoryFn getPluginFactory = nullptr;
  std::string error;

  explicit LoadedModule(const std::string& bundlePath) {
    const std::string so = bundlePath + "/Contents/x86_64-linux/Mirel.so";
    handle = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      error = dlerror();
      return;
    }
    moduleEntry = reinterpret_cast<EntryFn>(dlsym(handle, "ModuleEntry"));
    moduleExit = reinterpret_cast<ExitFn>(dlsym(handle, "ModuleExit"));
    getPluginFactory = reinterpret_cast<FactoryFn>(dlsym(handle, "GetPluginFactory"));
  }
  void* symbol(const char* name) const { return handle ? dlsym(handle, name) : nullptr; }
  // The module stays mapped for the life of the test process, as in a scanner.
  bool ok() const { return handle && moduleEntry && moduleExit && getPluginFactory; }
};

// A message as a peer received it: its id and its "json" attribute.
struct ReceivedMessage {
  std::string id;
  std::string json;
};

// Stands where the other side of a connection stands (the controller for a
// processor, the processor for a controller): records every message it is sent.
class RecordingPeer : public IConnectionPoint {
public:
  std::vector<ReceivedMessage> messages;
  size_t count(const char* id) const {
    size_t n = 0;
    for (const auto& m : messages) n += m.id == id;
    return n;
  }
  tresult PLUGIN_API connect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
  tresult PLUGIN_API notify(IMessage* message) override {
    ReceivedMessage m;
    m.id = message->getMessageID() ? message->getMessageID() : "";
    const void* data = nullptr;
    uint32 size = 0;
    if (message->getAttributes() &&
        message->getAttributes()->getBinary("json", data, size) == kResultOk)
      m.json.assign(static_cast<const char*>(data), size);
    messages.push_back(m);
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IConnectionPoint::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IConnectionPoint*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  ORBEL_TESTHOST_STATIC_REFCOUNT
};

}  // namespace orbel::testhost
