// Host-side IEventList: the note events of one process call, kept in the
// order they were added (the render loop adds them sorted by offset).
#pragma once

#include <vector>

#include "pluginterfaces/vst/ivstevents.h"

namespace orbel {

class EventList : public Steinberg::Vst::IEventList {
public:
  EventList();
  virtual ~EventList();

  Steinberg::int32 PLUGIN_API getEventCount() override;
  Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) override;
  Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override;

  DECLARE_FUNKNOWN_METHODS

  void clear() { events_.clear(); }

private:
  std::vector<Steinberg::Vst::Event> events_;
};

}  // namespace orbel
