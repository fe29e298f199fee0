// The device catalog: the capture devices present on this machine and the filters of the
// capture cards, as the system device enumerator lists them, and the hot-plug of the devices.
//
// Devices come from providers: the simulated machine's (sim/SimulatedDevices) and, after it,
// the providers of real devices, which are listed only when no machine is simulated or the
// simulated machine asks for them (real-devices). Each device has a display name that stays
// the same across runs for the same device, so a saved moniker binds it again. The catalog
// installs a device lister into the system device enumerator and a device moniker resolver
// that binds those names (BindToObject creates the device's filter; the property bag holds
// "FriendlyName" and "CLSID").
//
// Hot-plug: a capture filter in a graph is attached to the catalog under its device's display
// name; providers report devices removed and arrived, and the catalog tells every attached
// filter of that device (CLiveSource::DeviceRemoved / DeviceArrived).
//
// Threads: any. One mutex guards the providers and the attached filters; providers and
// filters are called without it.
#pragma once

#include <comimpl.h>
#include <strmif.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vidorra::devices {

class CLiveSource;

// One listed device (or front-end filter of a capture card).
struct DeviceEntry {
  GUID category = GUID_NULL;
  std::wstring displayName;
  std::wstring friendlyName;
  CLSID clsid = GUID_NULL;
  // Creates a new filter for the device; fails with a clear HRESULT when it cannot be used.
  std::function<HRESULT(IBaseFilter** filter)> create;
};

class DeviceProvider {
 public:
  virtual ~DeviceProvider() = default;
  // The devices present now, in listing order (every category together).
  virtual std::vector<DeviceEntry> Devices() = 0;
};

class DeviceCatalog {
 public:
  static DeviceCatalog& Instance();

  // `simulated`: the provider of the simulated machine (listed first, and alone unless the
  // machine lists real devices too).
  void AddProvider(std::shared_ptr<DeviceProvider> provider, bool simulated);

  // The devices of a category present now, in listing order.
  std::vector<DeviceEntry> Devices(REFGUID category);
  // The device listed under this display name (compared without regard to case), if present.
  std::optional<DeviceEntry> Find(const std::wstring& displayName);

  // ---- Hot-plug ----
  void Attach(const std::wstring& displayName, CLiveSource* filter);
  void Detach(CLiveSource* filter);
  void DeviceRemoved(const std::wstring& displayName);
  void DeviceArrived(const std::wstring& displayName);

 private:
  DeviceCatalog() = default;
  std::vector<DeviceEntry> AllDevices();
  std::vector<ComPtr<IBaseFilter>> AttachedTo(const std::wstring& displayName);

  std::mutex mutex_;
  std::vector<std::shared_ptr<DeviceProvider>> simulated_;
  std::vector<std::shared_ptr<DeviceProvider>> real_;
  std::multimap<std::wstring, CLiveSource*> attached_;
};

}  // namespace vidorra::devices
