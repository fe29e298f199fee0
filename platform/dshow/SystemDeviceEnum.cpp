// The system device enumerator; see SystemDeviceEnum.h.
#include "SystemDeviceEnum.h"

#include <devmoniker.h>
#include <uuids.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <mutex>

#include "FilterRegistry.h"
#include "SystemDeviceEnumResolver.h"

namespace vidorra::dshow {
namespace {

constexpr int kGuidTextLength = 39;

struct DeviceListers {
  std::mutex mutex;
  std::vector<std::shared_ptr<DeviceLister>> listers;
};

DeviceListers& Listers() {
  // Function-local: the device layer adds its lister from a static initialiser.
  static DeviceListers listers;
  return listers;
}

std::vector<std::wstring> DeviceNames(REFGUID category) {
  std::vector<std::shared_ptr<DeviceLister>> listers;
  {
    std::lock_guard lock(Listers().mutex);
    listers = Listers().listers;
  }
  std::vector<std::wstring> names;
  for (const auto& lister : listers) {
    std::vector<std::wstring> more = lister->DisplayNames(category);
    names.insert(names.end(), std::make_move_iterator(more.begin()),
                 std::make_move_iterator(more.end()));
  }
  return names;
}

}  // namespace

void AddDeviceLister(std::shared_ptr<DeviceLister> lister) {
  if (!lister) return;
  std::lock_guard lock(Listers().mutex);
  auto& listers = Listers().listers;
  if (std::find(listers.begin(), listers.end(), lister) == listers.end()) {
    listers.push_back(std::move(lister));
  }
}

bool SameDisplayName(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return std::towupper(x) == std::towupper(y); });
}

PropertyList ListedProperties(const std::wstring& friendlyName, REFCLSID clsid) {
  wchar_t text[kGuidTextLength] = {};
  StringFromGUID2(clsid, text, kGuidTextLength);
  return {{L"FriendlyName", friendlyName}, {L"CLSID", text}};
}

void RemoveDeviceLister(const std::shared_ptr<DeviceLister>& lister) {
  std::lock_guard lock(Listers().mutex);
  auto& listers = Listers().listers;
  listers.erase(std::remove(listers.begin(), listers.end(), lister), listers.end());
}

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
    std::vector<std::wstring> devices = DeviceNames(clsidDeviceClass);
    names.insert(names.end(), std::make_move_iterator(devices.begin()),
                 std::make_move_iterator(devices.end()));
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
