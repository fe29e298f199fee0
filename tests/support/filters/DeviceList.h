// The system device enumerator's view of a category, for tests: its entries in order (friendly
// name, display name, CLSID, moniker) and binding one by its friendly name; a moniker's display
// name.
#pragma once

#include <devmoniker.h>
#include <streams.h>

#include <string>
#include <vector>

namespace vidorra::test {

struct ListedDevice {
  std::wstring friendlyName, displayName, clsid;
  ComPtr<IMoniker> moniker;
};

// A text property of the moniker's bag ("" when it has none).
inline std::wstring BagText(IMoniker* moniker, const wchar_t* name) {
  ComPtr<IPropertyBag> bag;
  VARIANT value{};
  value.vt = VT_BSTR;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                    bag.ReleaseAndGetVoidAddressOf())) ||
      FAILED(bag->Read(name, &value, nullptr))) {
    return {};
  }
  std::wstring text = value.bstrVal ? value.bstrVal : L"";
  VariantClear(&value);
  return text;
}

// The display name of a moniker (empty when it has none).
inline std::wstring DisplayName(IMoniker* moniker) {
  LPOLESTR name = nullptr;
  std::wstring text;
  if (moniker && SUCCEEDED(moniker->GetDisplayName(nullptr, nullptr, &name)) && name) text = name;
  CoTaskMemFree(name);
  return text;
}

// The devices of a category in the enumerator's order; *result: the enumerator's answer.
inline std::vector<ListedDevice> ListDevices(REFGUID category, HRESULT* result = nullptr) {
  std::vector<ListedDevice> devices;
  ComPtr<ICreateDevEnum> enumerator;
  ComPtr<IEnumMoniker> monikers;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, enumerator.ReleaseAndGetVoidAddressOf());
  if (SUCCEEDED(hr)) hr = enumerator->CreateClassEnumerator(category, monikers.GetAddressOf(), 0);
  if (result) *result = hr;
  ComPtr<IMoniker> moniker;
  while (hr == S_OK && monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    devices.push_back({BagText(moniker.Get(), L"FriendlyName"), DisplayName(moniker.Get()),
                       BagText(moniker.Get(), L"CLSID"), moniker});
  }
  return devices;
}

inline std::vector<std::wstring> FriendlyNames(REFGUID category) {
  std::vector<std::wstring> names;
  for (const ListedDevice& device : ListDevices(category)) names.push_back(device.friendlyName);
  return names;
}

// Binds the first device of the category with that friendly name (null when it fails).
inline ComPtr<IBaseFilter> BindDevice(REFGUID category, const std::wstring& friendlyName,
                                      HRESULT* result = nullptr) {
  for (const ListedDevice& device : ListDevices(category)) {
    if (device.friendlyName != friendlyName) continue;
    ComPtr<IBaseFilter> filter;
    const HRESULT hr = device.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                    filter.ReleaseAndGetVoidAddressOf());
    if (result) *result = hr;
    return SUCCEEDED(hr) ? filter : nullptr;
  }
  if (result) *result = VFW_E_NOT_FOUND;
  return nullptr;
}

}  // namespace vidorra::test
