#include "tools/component_handler.h"

namespace orbel {

using namespace Steinberg;
using namespace Steinberg::Vst;

IMPLEMENT_FUNKNOWN_METHODS(ProbeComponentHandler, IComponentHandler, IComponentHandler::iid)

ProbeComponentHandler::ProbeComponentHandler(){FUNKNOWN_CTOR}

ProbeComponentHandler::~ProbeComponentHandler(){FUNKNOWN_DTOR}

tresult PLUGIN_API ProbeComponentHandler::beginEdit(ParamID id) {
  if (recordCalls_) calls_.push_back({'b', id, 0.0});
  return kResultOk;
}

tresult PLUGIN_API ProbeComponentHandler::performEdit(ParamID id, ParamValue value) {
  ++edits_;
  if (keepEdits_) pending_.emplace_back(id, value);
  if (recordCalls_) calls_.push_back({'p', id, value});
  return kResultOk;
}

tresult PLUGIN_API ProbeComponentHandler::endEdit(ParamID id) {
  if (recordCalls_) calls_.push_back({'e', id, 0.0});
  return kResultOk;
}

tresult PLUGIN_API ProbeComponentHandler::restartComponent(int32 flags) {
  restartFlags_ |= flags;
  return kResultOk;
}

}  // namespace orbel
