// Device category reading of the capture graph builder (see CaptureGraphBuilderDevices.h).
#include "CaptureGraphBuilderDevices.h"

#include <comimpl.h>

namespace vidorra::dshow::capture_builder {

namespace {

constexpr const wchar_t* kFriendlyNameProperty = L"FriendlyName";

// A VARIANT cleared on scope exit.
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&value_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { VariantClear(&value_); }
  VARIANT* Get() { return &value_; }

 private:
  VARIANT value_{};
};

std::wstring FriendlyNameOf(IMoniker* moniker) {
  ComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                    bag.ReleaseAndGetVoidAddressOf())) ||
      !bag) {
    return {};
  }
  ScopedVariant name;
  if (FAILED(bag->Read(kFriendlyNameProperty, name.Get(), nullptr)) || name.Get()->vt != VT_BSTR ||
      !name.Get()->bstrVal) {
    return {};
  }
  return std::wstring(name.Get()->bstrVal, SysStringLen(name.Get()->bstrVal));
}

}  // namespace

std::vector<DeviceEntry> DevicesOf(REFCLSID category) {
  std::vector<DeviceEntry> entries;
  ComPtr<ICreateDevEnum> devices;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICreateDevEnum, devices.ReleaseAndGetVoidAddressOf())) ||
      !devices) {
    return entries;
  }
  ComPtr<IEnumMoniker> monikers;
  // S_FALSE with no enumerator: the category is empty.
  if (devices->CreateClassEnumerator(category, monikers.GetAddressOf(), 0) != S_OK || !monikers) {
    return entries;
  }
  for (;;) {
    ComPtr<IMoniker> moniker;
    ULONG fetched = 0;
    if (monikers->Next(1, moniker.GetAddressOf(), &fetched) != S_OK || fetched != 1 || !moniker) {
      break;
    }
    entries.push_back(DeviceEntry{FriendlyNameOf(moniker.Get()), moniker});
  }
  return entries;
}

ComPtr<IBaseFilter> BindFilter(IMoniker* moniker) {
  ComPtr<IBaseFilter> filter;
  if (!moniker || FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                               filter.ReleaseAndGetVoidAddressOf()))) {
    return nullptr;
  }
  return filter;
}

}  // namespace vidorra::dshow::capture_builder
