#include "tools/parameter_changes.h"

#include <algorithm>

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

IMPLEMENT_FUNKNOWN_METHODS(ParamValueQueue, IParamValueQueue, IParamValueQueue::iid)

ParamValueQueue::ParamValueQueue(ParamID id) : id_(id) {
  FUNKNOWN_CTOR
  points_.reserve(16);
}

ParamValueQueue::~ParamValueQueue() { FUNKNOWN_DTOR }

void ParamValueQueue::reset(ParamID id) {
  id_ = id;
  points_.clear();
}

int32 PLUGIN_API ParamValueQueue::getPointCount() { return static_cast<int32>(points_.size()); }

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
  if (index < 0 || index >= static_cast<int32>(points_.size())) return kResultFalse;
  sampleOffset = points_[static_cast<std::size_t>(index)].first;
  value = points_[static_cast<std::size_t>(index)].second;
  return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
  if (sampleOffset < 0) return kInvalidArgument;
  auto it = std::lower_bound(points_.begin(), points_.end(), sampleOffset,
                             [](const auto& p, int32 offset) { return p.first < offset; });
  if (it != points_.end() && it->first == sampleOffset) {
    it->second = value;
  } else {
    it = points_.insert(it, {sampleOffset, value});
  }
  index = static_cast<int32>(it - points_.begin());
  return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(ParameterChanges, IParameterChanges, IParameterChanges::iid)

ParameterChanges::ParameterChanges(){FUNKNOWN_CTOR}

ParameterChanges::~ParameterChanges(){FUNKNOWN_DTOR}

int32 PLUGIN_API ParameterChanges::getParameterCount() {
  return used_;
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index) {
  if (index < 0 || index >= used_) return nullptr;
  return queues_[static_cast<std::size_t>(index)].get();
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index) {
  for (int32 i = 0; i < used_; ++i) {
    if (queues_[static_cast<std::size_t>(i)]->getParameterId() == id) {
      index = i;
      return queues_[static_cast<std::size_t>(i)].get();
    }
  }
  if (used_ < static_cast<int32>(queues_.size())) {
    queues_[static_cast<std::size_t>(used_)]->reset(id);
  } else {
    queues_.push_back(std::make_unique<ParamValueQueue>(id));
  }
  index = used_++;
  return queues_[static_cast<std::size_t>(index)].get();
}

void ParameterChanges::clear() {
  for (int32 i = 0; i < used_; ++i) queues_[static_cast<std::size_t>(i)]->reset(0);
  used_ = 0;
}

void ParameterChanges::add(ParamID id, int32 sampleOffset, ParamValue value) {
  int32 index = 0;
  if (IParamValueQueue* queue = addParameterData(id, index))
    queue->addPoint(sampleOffset, value, index);
}

}  // namespace orbel
