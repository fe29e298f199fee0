// The filter registry: what the system device enumerator lists and what intelligent connect
// and Render choose from.
//
// Each filter's .cpp registers itself with a static FilterRegistration:
//
//   static const FilterRegistration kRegistration({
//       .clsid = CLSID_SmartTee,
//       .friendlyName = L"Smart Tee",
//       .category = CLSID_LegacyAmFilterCategory,
//       .merit = MERIT_DO_NOT_USE,
//       .inputTypes = {{MEDIATYPE_Video, GUID_NULL}},
//       .outputTypes = {{MEDIATYPE_Video, GUID_NULL}},
//       .factory = FilterFactoryFor<CSmartTee>(),
//   });
//
// which also registers the class with RegisterComClass, so CoCreateInstance creates it. A
// filter listed in several categories registers one record per category. Lookups keep the
// registration order. A filter whose friendly name the simulated machine hides (hide-filter)
// is left out of every lookup and cannot be created.
//
// Threads: any; one mutex guards the records, factories run outside it.
#pragma once

#include <comimpl.h>
#include <strmif.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A major type and subtype a pin handles; GUID_NULL matches anything.
struct RegPinType {
  GUID majorType = GUID_NULL;
  GUID subType = GUID_NULL;
};

using FilterFactory = std::function<HRESULT(IBaseFilter** filter)>;

struct FilterRecord {
  CLSID clsid = GUID_NULL;
  std::wstring friendlyName;
  GUID category = GUID_NULL;
  DWORD merit = MERIT_DO_NOT_USE;
  std::vector<RegPinType> inputTypes;
  std::vector<RegPinType> outputTypes;
  // The name after the category in the display name "@device:sw:{CATEGORY}\NAME"; empty means
  // the CLSID in its text form.
  std::wstring monikerName;
  FilterFactory factory;
};

class FilterRegistry {
 public:
  static FilterRegistry& Instance();

  void Register(FilterRecord record);
  // Removes every record of clsid (tests).
  void Unregister(REFCLSID clsid);

  // Visible records of a category, in registration order.
  std::vector<FilterRecord> FiltersInCategory(REFGUID category) const;
  // Every visible record, in registration order.
  std::vector<FilterRecord> AllFilters() const;
  // The first visible record of clsid.
  std::optional<FilterRecord> Find(REFCLSID clsid) const;

  // "@device:sw:{CATEGORY}\NAME" of a record.
  static std::wstring DisplayName(const FilterRecord& record);
  // Creates the filter of a visible record.
  static HRESULT Create(const FilterRecord& record, IBaseFilter** filter);
  // True when the simulated machine hides this friendly name.
  static bool IsHidden(const std::wstring& friendlyName);

 private:
  FilterRegistry() = default;
  mutable std::mutex mutex_;
  std::vector<FilterRecord> records_;
};

struct FilterRegistration {
  explicit FilterRegistration(FilterRecord record);
};

// True when `type` (a pin's type) matches the registered pair (GUID_NULL on either side
// matches anything).
bool RegPinTypeMatches(const RegPinType& registered, const GUID& majorType, const GUID& subType);

// A factory for a default-constructible filter class.
template <class T>
FilterFactory FilterFactoryFor() {
  return [](IBaseFilter** filter) -> HRESULT {
    if (!filter) return E_POINTER;
    ComPtr<T> object = MakeComObject<T>();
    return object->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(filter));
  };
}
