// Host-side IParameterChanges / IParamValueQueue: the parameter changes of
// one process call. Queues are kept between blocks and only emptied, so the
// render loop does not allocate once the set of touched parameters is known.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace orbel {

class ParamValueQueue : public Steinberg::Vst::IParamValueQueue {
public:
  explicit ParamValueQueue(Steinberg::Vst::ParamID id);
  virtual ~ParamValueQueue();

  Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id_; }
  Steinberg::int32 PLUGIN_API getPointCount() override;
  Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                         Steinberg::Vst::ParamValue& value) override;
  // Keeps the points ordered by offset; a point at an offset that already has
  // one replaces its value.
  Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset,
                                         Steinberg::Vst::ParamValue value,
                                         Steinberg::int32& index) override;

  DECLARE_FUNKNOWN_METHODS

  void reset(Steinberg::Vst::ParamID id);

private:
  Steinberg::Vst::ParamID id_;
  std::vector<std::pair<Steinberg::int32, Steinberg::Vst::ParamValue>> points_;
};

class ParameterChanges : public Steinberg::Vst::IParameterChanges {
public:
  ParameterChanges();
  virtual ~ParameterChanges();

  Steinberg::int32 PLUGIN_API getParameterCount() override;
  Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
  // Returns the existing queue of `id` when there is one.
  Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                Steinberg::int32& index) override;

  DECLARE_FUNKNOWN_METHODS

  // Empties every queue (their storage is kept for the next block).
  void clear();
  // Host convenience: adds one point to the queue of `id`.
  void add(Steinberg::Vst::ParamID id, Steinberg::int32 sampleOffset,
           Steinberg::Vst::ParamValue value);

private:
  std::vector<std::unique_ptr<ParamValueQueue>> queues_;
  Steinberg::int32 used_ = 0;
};

}  // namespace orbel
