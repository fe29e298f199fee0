// The device catalog, its device lister and its moniker resolver; see DeviceCatalog.h.
#include "DeviceCatalog.h"

#include <SimulatedMachine.h>
#include <SystemDeviceEnum.h>
#include <devmoniker.h>

#include <algorithm>

#include "LiveSource.h"

namespace vidorra::devices {

namespace {

// Lists the catalog's devices in the system device enumerator.
class CatalogLister : public dshow::DeviceLister {
 public:
  std::vector<std::wstring> DisplayNames(REFGUID category) override {
    std::vector<std::wstring> names;
    for (const DeviceEntry& entry : DeviceCatalog::Instance().Devices(category)) {
      names.push_back(entry.displayName);
    }
    return names;
  }
};

// Binds the catalog's display names and reads their property bags.
class CatalogResolver : public DeviceMonikerResolver {
 public:
  HRESULT BindToObject(const std::wstring& displayName, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const auto entry = DeviceCatalog::Instance().Find(displayName);
    if (!entry) return MK_E_NOOBJECT;
    ComPtr<IBaseFilter> filter;
    const HRESULT hr = entry->create(filter.GetAddressOf());
    if (FAILED(hr)) return hr;
    if (!filter) return E_UNEXPECTED;
    return filter->QueryInterface(riid, ppv);
  }

  HRESULT ReadProperties(const std::wstring& displayName, PropertyList* out) override {
    if (!out) return E_POINTER;
    const auto entry = DeviceCatalog::Instance().Find(displayName);
    if (!entry) return MK_E_NOOBJECT;
    *out = dshow::ListedProperties(entry->friendlyName, entry->clsid);
    return S_OK;
  }
};

const bool kRegistered = [] {
  dshow::AddDeviceLister(std::make_shared<CatalogLister>());
  AddDeviceMonikerResolver(std::make_shared<CatalogResolver>());
  return true;
}();

}  // namespace

DeviceCatalog& DeviceCatalog::Instance() {
  // Never destroyed: filters detach themselves and providers may be asked while the program
  // exits.
  static DeviceCatalog* const catalog = new DeviceCatalog();
  return *catalog;
}

void DeviceCatalog::AddProvider(std::shared_ptr<DeviceProvider> provider, bool simulated) {
  std::lock_guard lock(mutex_);
  (simulated ? simulated_ : real_).push_back(std::move(provider));
}

std::vector<DeviceEntry> DeviceCatalog::AllDevices() {
  std::vector<std::shared_ptr<DeviceProvider>> providers;
  {
    std::lock_guard lock(mutex_);
    providers = simulated_;
    const win::SimulatedMachine& machine = win::SimulatedMachine::Current();
    if (!machine.Active() || machine.ListsRealDevices()) {
      providers.insert(providers.end(), real_.begin(), real_.end());
    }
  }
  std::vector<DeviceEntry> devices;
  for (const auto& provider : providers) {
    std::vector<DeviceEntry> more = provider->Devices();
    devices.insert(devices.end(), std::make_move_iterator(more.begin()),
                   std::make_move_iterator(more.end()));
  }
  return devices;
}

std::vector<DeviceEntry> DeviceCatalog::Devices(REFGUID category) {
  std::vector<DeviceEntry> devices = AllDevices();
  std::erase_if(devices, [&](const DeviceEntry& entry) { return entry.category != category; });
  return devices;
}

std::optional<DeviceEntry> DeviceCatalog::Find(const std::wstring& displayName) {
  for (DeviceEntry& entry : AllDevices()) {
    if (dshow::SameDisplayName(entry.displayName, displayName)) return std::move(entry);
  }
  return std::nullopt;
}

void DeviceCatalog::Attach(const std::wstring& displayName, CLiveSource* filter) {
  std::lock_guard lock(mutex_);
  attached_.emplace(displayName, filter);
}

void DeviceCatalog::Detach(CLiveSource* filter) {
  std::lock_guard lock(mutex_);
  std::erase_if(attached_, [&](const auto& item) { return item.second == filter; });
}

// An attached filter is in a graph, which holds a reference to it: taking one more under the
// mutex is safe, and keeps it alive while it is told without the mutex.
std::vector<ComPtr<IBaseFilter>> DeviceCatalog::AttachedTo(const std::wstring& displayName) {
  std::vector<ComPtr<IBaseFilter>> filters;
  std::lock_guard lock(mutex_);
  const auto [first, last] = attached_.equal_range(displayName);
  for (auto it = first; it != last; ++it) filters.emplace_back(it->second);
  return filters;
}

void DeviceCatalog::DeviceRemoved(const std::wstring& displayName) {
  for (const ComPtr<IBaseFilter>& filter : AttachedTo(displayName)) {
    static_cast<CLiveSource*>(filter.Get())->DeviceRemoved();
  }
}

void DeviceCatalog::DeviceArrived(const std::wstring& displayName) {
  for (const ComPtr<IBaseFilter>& filter : AttachedTo(displayName)) {
    static_cast<CLiveSource*>(filter.Get())->DeviceArrived();
  }
}

}  // namespace vidorra::devices
