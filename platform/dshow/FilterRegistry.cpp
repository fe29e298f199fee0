// The filter registry, and the registration of the core classes (graph manager, clock).
#include "FilterRegistry.h"

#include <uuids.h>

#include "CaptureGraphBuilder.h"
#include "FilterGraph.h"
#include "SimulatedMachine.h"
#include "SystemClock.h"
#include "SystemDeviceEnum.h"

namespace {

constexpr int kGuidTextLength = 39;

// The simulated machine's hide-filter lines.
bool MachineHidesFilter(const std::wstring& friendlyName) {
  return vidorra::win::SimulatedMachine::Current().IsFilterHidden(WideToUtf8(friendlyName));
}

}  // namespace

FilterRegistry& FilterRegistry::Instance() {
  static FilterRegistry registry;
  return registry;
}

void FilterRegistry::Register(FilterRecord record) {
  const CLSID clsid = record.clsid;
  const std::wstring name = record.friendlyName;
  FilterFactory factory = record.factory;
  {
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(record));
  }
  // CoCreateInstance refuses a hidden filter as the enumerator leaves it out.
  RegisterComClass(clsid, WideToUtf8(name).c_str(),
                   [factory, name](REFIID riid, void** ppv) -> HRESULT {
                     if (!ppv) return E_POINTER;
                     *ppv = nullptr;
                     if (IsHidden(name)) return REGDB_E_CLASSNOTREG;
                     if (!factory) return E_NOTIMPL;
                     ComPtr<IBaseFilter> filter;
                     HRESULT hr = factory(filter.GetAddressOf());
                     if (FAILED(hr)) return hr;
                     return filter->QueryInterface(riid, ppv);
                   });
}

void FilterRegistry::Unregister(REFCLSID clsid) {
  std::lock_guard lock(mutex_);
  std::erase_if(records_, [&](const FilterRecord& r) { return r.clsid == clsid; });
  UnregisterComClass(clsid);
}

std::vector<FilterRecord> FilterRegistry::FiltersInCategory(REFGUID category) const {
  std::vector<FilterRecord> result;
  for (FilterRecord& record : AllFilters()) {
    if (record.category == category) result.push_back(std::move(record));
  }
  return result;
}

std::vector<FilterRecord> FilterRegistry::AllFilters() const {
  std::vector<FilterRecord> copy;
  {
    std::lock_guard lock(mutex_);
    copy = records_;
  }
  // Hidden names are read outside the lock: the machine file may be re-read meanwhile.
  std::erase_if(copy, [](const FilterRecord& r) { return IsHidden(r.friendlyName); });
  return copy;
}

std::optional<FilterRecord> FilterRegistry::Find(REFCLSID clsid) const {
  for (FilterRecord& record : AllFilters()) {
    if (record.clsid == clsid) return std::move(record);
  }
  return std::nullopt;
}

std::wstring FilterRegistry::DisplayName(const FilterRecord& record) {
  wchar_t category[kGuidTextLength] = {};
  StringFromGUID2(record.category, category, kGuidTextLength);
  std::wstring name = record.monikerName;
  if (name.empty()) {
    wchar_t clsid[kGuidTextLength] = {};
    StringFromGUID2(record.clsid, clsid, kGuidTextLength);
    name = clsid;
  }
  return L"@device:sw:" + std::wstring(category) + L"\\" + name;
}

HRESULT FilterRegistry::Create(const FilterRecord& record, IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  *filter = nullptr;
  if (IsHidden(record.friendlyName)) return REGDB_E_CLASSNOTREG;
  if (!record.factory) return E_NOTIMPL;
  return record.factory(filter);
}

bool FilterRegistry::IsHidden(const std::wstring& friendlyName) {
  return MachineHidesFilter(friendlyName);
}

FilterRegistration::FilterRegistration(FilterRecord record) {
  FilterRegistry::Instance().Register(std::move(record));
}

bool RegPinTypeMatches(const RegPinType& registered, const GUID& majorType, const GUID& subType) {
  const bool majorOk = registered.majorType == GUID_NULL || majorType == GUID_NULL ||
                       registered.majorType == majorType;
  const bool subOk =
      registered.subType == GUID_NULL || subType == GUID_NULL || registered.subType == subType;
  return majorOk && subOk;
}

// The graph manager and the system clock are created through CoCreateInstance. They are
// registered here, in the file every filter pulls in through FilterRegistration, so that a
// static link keeps them.
static const ComClassRegistration kFilterGraphClass(CLSID_FilterGraph, "Filter Graph",
                                                    ComClassFactoryFor<CFilterGraph>());
static const ComClassRegistration kSystemClockClass(CLSID_SystemClock, "System Clock",
                                                    ComClassFactoryFor<CSystemClock>());
// The capture graph builder and the system device enumerator register from their own files;
// naming them here keeps those files in every program that has a filter.
static const bool kGraphServicesLinked = (vidorra::dshow::EnsureCaptureGraphBuilderRegistered(),
                                          vidorra::dshow::EnsureSystemDeviceEnumRegistered(), true);
