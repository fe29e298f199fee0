// Display names of the system device enumerator; see SystemDeviceEnumResolver.h.
#include "SystemDeviceEnumResolver.h"

#include <optional>

#include "FilterRegistry.h"
#include "SystemDeviceEnum.h"

namespace vidorra::dshow {
namespace {

std::optional<FilterRecord> FindRecord(const std::wstring& displayName) {
  for (FilterRecord& record : FilterRegistry::Instance().AllFilters()) {
    if (SameDisplayName(FilterRegistry::DisplayName(record), displayName)) return std::move(record);
  }
  return std::nullopt;
}

const CategoryName* FindCategory(const std::wstring& displayName) {
  for (const CategoryName& category : KnownCategories()) {
    if (SameDisplayName(CategoryDisplayName(*category.category), displayName)) return &category;
  }
  return nullptr;
}

}  // namespace

HRESULT SystemDeviceEnumResolver::BindToObject(const std::wstring& displayName, REFIID riid,
                                               void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (const auto record = FindRecord(displayName)) {
    ComPtr<IBaseFilter> filter;
    const HRESULT hr = FilterRegistry::Create(*record, filter.GetAddressOf());
    if (FAILED(hr)) return hr;
    if (!filter) return E_UNEXPECTED;
    return filter->QueryInterface(riid, ppv);
  }
  // A category is a heading, not an object.
  if (FindCategory(displayName)) return E_NOINTERFACE;
  return MK_E_NOOBJECT;
}

HRESULT SystemDeviceEnumResolver::ReadProperties(const std::wstring& displayName,
                                                 PropertyList* out) {
  if (!out) return E_POINTER;
  if (const auto record = FindRecord(displayName)) {
    *out = ListedProperties(record->friendlyName, record->clsid);
    return S_OK;
  }
  if (const CategoryName* category = FindCategory(displayName)) {
    *out = ListedProperties(category->friendlyName, *category->category);
    return S_OK;
  }
  return MK_E_NOOBJECT;
}

}  // namespace vidorra::dshow
