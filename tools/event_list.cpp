#include "tools/event_list.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

IMPLEMENT_FUNKNOWN_METHODS(EventList, IEventList, IEventList::iid)

EventList::EventList() {
  FUNKNOWN_CTOR
  events_.reserve(128);
}

EventList::~EventList(){FUNKNOWN_DTOR}

int32 PLUGIN_API EventList::getEventCount() {
  return static_cast<int32>(events_.size());
}

tresult PLUGIN_API EventList::getEvent(int32 index, Event& e) {
  if (index < 0 || index >= static_cast<int32>(events_.size())) return kResultFalse;
  e = events_[static_cast<std::size_t>(index)];
  return kResultOk;
}

tresult PLUGIN_API EventList::addEvent(Event& e) {
  events_.push_back(e);
  return kResultOk;
}

}  // namespace orbel
