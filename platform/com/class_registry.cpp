// The in-process class registry behind CoCreateInstance.
//
// Classes register from static initialisers of other libraries, so the registry is a
// function-local static (constructed on first use, whatever the initialisation order). One
// mutex guards it; factories run outside the lock so that a factory may itself create objects.
#include <comimpl.h>
#include <uuids.h>

#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "builtin_classes.h"

namespace {

struct ClassEntry {
  std::string name;
  ClassFactoryFunction factory;
};

class ClassRegistry {
 public:
  ClassRegistry() {
    classes_[CLSID_CDeviceMoniker] = ClassEntry{"Device moniker", &CreateDeviceMonikerInstance};
    classes_[CLSID_ItemMoniker] = ClassEntry{"Item moniker", &CreateItemMonikerInstance};
  }
  void Add(REFCLSID clsid, const char* name, ClassFactoryFunction factory) {
    std::lock_guard lock(mutex_);
    classes_[clsid] = ClassEntry{name ? name : "", std::move(factory)};
  }
  void Remove(REFCLSID clsid) {
    std::lock_guard lock(mutex_);
    classes_.erase(clsid);
  }
  bool Contains(REFCLSID clsid) {
    std::lock_guard lock(mutex_);
    return classes_.contains(clsid);
  }
  // A copy of the factory, so it can run after the lock is released.
  ClassFactoryFunction FactoryOf(REFCLSID clsid) {
    std::lock_guard lock(mutex_);
    auto it = classes_.find(clsid);
    return it == classes_.end() ? ClassFactoryFunction{} : it->second.factory;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<CLSID, ClassEntry> classes_;
};

ClassRegistry& Registry() {
  static ClassRegistry registry;
  return registry;
}

}  // namespace

void RegisterComClass(REFCLSID clsid, const char* name, ClassFactoryFunction factory) {
  Registry().Add(clsid, name, std::move(factory));
}

void UnregisterComClass(REFCLSID clsid) { Registry().Remove(clsid); }

bool IsComClassRegistered(REFCLSID clsid) { return Registry().Contains(clsid); }

// Every class here is in-process and free-threaded: any thread may create objects, with no
// per-thread set-up first.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD /*dwClsContext*/, REFIID riid,
                         LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  ClassFactoryFunction factory = Registry().FactoryOf(rclsid);
  if (!factory) return REGDB_E_CLASSNOTREG;
  const HRESULT hr = factory(riid, ppv);
  if (FAILED(hr) && *ppv) {
    // A factory must not hand out an object with a failure; never leak it to the caller.
    static_cast<IUnknown*>(*ppv)->Release();
    *ppv = nullptr;
  }
  return hr;
}
