// The in-process class registry behind CoCreateInstance, and the per-thread initialisation
// count of CoInitialize/CoUninitialize.
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

// Per-thread initialisation state: how many successful CoInitialize(Ex) calls are still to be
// balanced, and the concurrency model the first one chose.
struct ThreadComState {
  unsigned initCount = 0;
  DWORD model = COINIT_APARTMENTTHREADED;
};
thread_local ThreadComState tComState;

constexpr DWORD kConcurrencyModelMask = COINIT_APARTMENTTHREADED;

}  // namespace

void RegisterComClass(REFCLSID clsid, const char* name, ClassFactoryFunction factory) {
  Registry().Add(clsid, name, std::move(factory));
}

void UnregisterComClass(REFCLSID clsid) { Registry().Remove(clsid); }

bool IsComClassRegistered(REFCLSID clsid) { return Registry().Contains(clsid); }

HRESULT CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(LPVOID /*pvReserved*/, DWORD dwCoInit) {
  const DWORD model = dwCoInit & kConcurrencyModelMask;
  if (tComState.initCount > 0) {
    // A thread keeps the model it was first initialised with; a conflicting call is not
    // counted, so the caller must not balance it with CoUninitialize.
    if (model != tComState.model) return RPC_E_CHANGED_MODE;
    ++tComState.initCount;
    return S_FALSE;
  }
  tComState.initCount = 1;
  tComState.model = model;
  return S_OK;
}

void CoUninitialize() {
  if (tComState.initCount > 0) --tComState.initCount;
}

// Objects can be created whether or not the calling thread called CoInitialize: every class
// here is in-process and free-threaded, and refusing would only turn a missed call into a
// failure far from its cause.
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
