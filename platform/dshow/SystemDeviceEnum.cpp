// The system device enumerator; see SystemDeviceEnum.h.
#include "SystemDeviceEnum.h"

#include <devmoniker.h>
#include <uuids.h>

#include <memory>
#include <mutex>

#include "FilterRegistry.h"
#include "SystemDeviceEnumResolver.h"

namespace vidorra::dshow {
namespace {

constexpr int kGuidTextLength = 39;

}  // namespace

const std::vector<CategoryName>& KnownCategories() {
  static const std::vector<CategoryName> categories = {
      {&CLSID_LegacyAmFilterCategory, L"DirectShow Filters"},
      {&CLSID_VideoCompressorCategory, L"Video Compressors"},
      {&CLSID_VideoInputDeviceCategory, L"Video Capture Sources"},
      {&CLSID_AudioInputDeviceCategory, L"Audio Capture Sources"},
      {&CLSID_AudioRendererCategory, L"Audio Renderers"},
      {&CLSID_AudioCompressorCategory, L"Audio Compressors"},
      {&AM_KSCATEGORY_CROSSBAR, L"WDM Streaming Crossbar Devices"},
      {&AM_KSCATEGORY_TVTUNER, L"WDM Streaming TVTuner Devices"},
      {&AM_KSCATEGORY_TVAUDIO, L"WDM Streaming TVAudio Devices"},
  };
  return categories;
}

std::wstring CategoryDisplayName(REFGUID category) {
  wchar_t list[kGuidTextLength] = {};
  wchar_t entry[kGuidTextLength] = {};
  StringFromGUID2(CLSID_ActiveMovieCategories, list, kGuidTextLength);
  StringFromGUID2(category, entry, kGuidTextLength);
  return L"@device:sw:" + std::wstring(list) + L"\\" + entry;
}

HRESULT CSystemDeviceEnum::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_ICreateDevEnum) return GetInterface(static_cast<ICreateDevEnum*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CSystemDeviceEnum::CreateClassEnumerator(REFCLSID clsidDeviceClass,
                                                      IEnumMoniker** ppEnumMoniker, DWORD) {
  if (!ppEnumMoniker) return E_POINTER;
  *ppEnumMoniker = nullptr;
  std::vector<std::wstring> names;
  if (clsidDeviceClass == CLSID_ActiveMovieCategories) {
    for (const CategoryName& category : KnownCategories()) {
      names.push_back(CategoryDisplayName(*category.category));
    }
  } else {
    for (const FilterRecord& record :
         FilterRegistry::Instance().FiltersInCategory(clsidDeviceClass)) {
      names.push_back(FilterRegistry::DisplayName(record));
    }
  }
  if (names.empty()) return S_FALSE;
  std::vector<ComPtr<IMoniker>> monikers;
  monikers.reserve(names.size());
  for (const std::wstring& name : names) {
    ComPtr<IMoniker> moniker;
    const HRESULT hr = CreateDeviceMoniker(name, moniker.GetAddressOf());
    if (FAILED(hr)) return hr;
    monikers.push_back(std::move(moniker));
  }
  return CreateMonikerEnumerator(std::move(monikers), ppEnumMoniker);
}

void EnsureSystemDeviceEnumRegistered() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterComClass(CLSID_SystemDeviceEnum, "System Device Enumerator",
                     ComClassFactoryFor<CSystemDeviceEnum>());
    AddDeviceMonikerResolver(std::make_shared<SystemDeviceEnumResolver>());
  });
}

namespace {
// Registered at start-up in every program that links this file.
const bool kRegistered = (EnsureSystemDeviceEnumRegistered(), true);
}  // namespace

}  // namespace vidorra::dshow
