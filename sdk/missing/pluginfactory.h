#pragma once
// The plug-in side class factory: a list of class records with their create
// functions, answering IPluginFactory, IPluginFactory2 and IPluginFactory3.
// Class records are kept in their UTF-16 form; the 8-bit views are derived
// from it (UTF-8) on request.
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"

namespace Steinberg {

class CPluginFactory : public IPluginFactory3 {
public:
  using CreateFunction = FUnknown* (*)(void* context);

  explicit CPluginFactory(const PFactoryInfo& info);
  virtual ~CPluginFactory();

  bool registerClass(const PClassInfo* info, CreateFunction createFunc, void* context = nullptr);
  bool registerClass(const PClassInfo2* info, CreateFunction createFunc, void* context = nullptr);
  bool registerClass(const PClassInfoW* info, CreateFunction createFunc, void* context = nullptr);
  bool isClassRegistered(const FUID& cid) const;
  void removeAllClasses();

  // FUnknown
  tresult PLUGIN_API queryInterface(const TUID _iid, void** obj) SMTG_OVERRIDE;
  uint32 PLUGIN_API addRef() SMTG_OVERRIDE;
  uint32 PLUGIN_API release() SMTG_OVERRIDE;

  // IPluginFactory
  tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) SMTG_OVERRIDE;
  int32 PLUGIN_API countClasses() SMTG_OVERRIDE;
  tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) SMTG_OVERRIDE;
  tresult PLUGIN_API createInstance(FIDString cid, FIDString _iid, void** obj) SMTG_OVERRIDE;

  // IPluginFactory2
  tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) SMTG_OVERRIDE;

  // IPluginFactory3
  tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) SMTG_OVERRIDE;
  tresult PLUGIN_API setHostContext(FUnknown* context) SMTG_OVERRIDE;

protected:
  struct ClassEntry {
    PClassInfoW info;
    CreateFunction createFunc = nullptr;
    void* context = nullptr;
    bool isUnicode = false;  // registered as PClassInfoW
    bool hasInfo2 = false;   // registered with the version-2 fields
  };

  bool addEntry(const ClassEntry& entry);

  int32 refCount = 1;  // the creator holds the first reference
  PFactoryInfo factoryInfo;
  std::vector<ClassEntry> classes;
  FUnknown* hostContext = nullptr;
};

// The module's one factory while it lives (cleared by its destructor).
extern IPluginFactory* gPluginFactory;

}  // namespace Steinberg
