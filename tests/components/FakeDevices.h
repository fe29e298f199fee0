// Devices of the tests' own: while a FakeDevices lives, the system device enumerator is
// replaced by one that lists the given devices (display name and property bag) in one category
// and nothing in any other; binding one of them gives a new filter from the maker (a filter
// without pins unless told otherwise). The real enumerator is registered again afterwards.
// UI thread of a test only.
//
// TypedOutputPin: an output pin offering one media type, of a pin category when given, for the
// filters such devices or hand-wired graphs need.
#pragma once

#include <devmoniker.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ComponentsTestSupport.h"
#include "SystemDeviceEnum.h"
#include "comimpl.h"

namespace components_test {

class TypedOutputPin : public CBaseOutputPin {
 public:
  TypedOutputPin(CBaseFilter* filter, std::wstring name, const GUID& majorType,
                 const GUID* category = nullptr)
      : CBaseOutputPin(filter, std::move(name)), majorType_(majorType) {
    if (category != nullptr) SetPinCategory(*category);
  }
  HRESULT CheckMediaType(const CMediaType* mt) override {
    return mt->majortype == majorType_ ? S_OK : S_FALSE;
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *mt = CMediaType(&majorType_);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = std::max<long>(wanted.cBuffers, 1);
    wanted.cbBuffer = std::max<long>(wanted.cbBuffer, kBufferBytes);
    wanted.cbAlign = std::max<long>(wanted.cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(&wanted, &actual);
  }

 private:
  static constexpr long kBufferBytes = 4096;
  GUID majorType_;
};

using FakeDeviceList = std::vector<std::pair<std::wstring, PropertyList>>;
using FilterMaker = std::function<ComPtr<IBaseFilter>()>;

class FakeDevices {
 public:
  FakeDevices(const GUID& category, const FakeDeviceList& devices, FilterMaker maker = nullptr)
      : resolver_(std::make_shared<Resolver>()) {
    resolver_->maker = maker ? std::move(maker)
                             : [] { return ComPtr<IBaseFilter>(MakeComObject<PinlessFilter>()); };
    std::vector<std::wstring> names;
    for (const auto& [name, properties] : devices) {
      resolver_->devices[name] = properties;
      names.push_back(name);
    }
    AddDeviceMonikerResolver(resolver_);
    RegisterComClass(CLSID_SystemDeviceEnum, "test device enumerator",
                     [category, names](REFIID riid, void** ppv) {
                       return MakeComObject<Enumerator>(category, names)->QueryInterface(riid, ppv);
                     });
  }
  FakeDevices(const FakeDevices&) = delete;
  FakeDevices& operator=(const FakeDevices&) = delete;
  ~FakeDevices() {
    RemoveDeviceMonikerResolver(resolver_);
    RegisterComClass(CLSID_SystemDeviceEnum, "System Device Enumerator",
                     ComClassFactoryFor<vidorra::dshow::CSystemDeviceEnum>());
  }

 private:
  struct Resolver : DeviceMonikerResolver {
    std::map<std::wstring, PropertyList> devices;
    FilterMaker maker;
    HRESULT BindToObject(const std::wstring& name, REFIID riid, void** ppv) override {
      if (devices.count(name) == 0) return MK_E_NOOBJECT;
      return maker()->QueryInterface(riid, ppv);
    }
    HRESULT ReadProperties(const std::wstring& name, PropertyList* out) override {
      const auto it = devices.find(name);
      if (it == devices.end()) return MK_E_NOOBJECT;
      *out = it->second;
      return S_OK;
    }
  };

  class Enumerator : public CUnknown, public ICreateDevEnum {
   public:
    Enumerator(const GUID& category, std::vector<std::wstring> names)
        : category_(category), names_(std::move(names)) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
      if (riid == IID_ICreateDevEnum) return GetInterface(static_cast<ICreateDevEnum*>(this), ppv);
      return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    STDMETHODIMP CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD) override {
      *out = nullptr;
      if (category != category_ || names_.empty()) return S_FALSE;
      std::vector<ComPtr<IMoniker>> monikers;
      for (const auto& name : names_) {
        ComPtr<IMoniker> moniker;
        CreateDeviceMoniker(name, moniker.GetAddressOf());
        monikers.push_back(moniker);
      }
      return CreateMonikerEnumerator(std::move(monikers), out);
    }

   private:
    GUID category_;
    std::vector<std::wstring> names_;
  };

  std::shared_ptr<Resolver> resolver_;
};

}  // namespace components_test
