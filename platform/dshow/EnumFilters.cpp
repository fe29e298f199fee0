// CEnumFilters: a graph's filters, out of sync once the graph changes.
#include "EnumFilters.h"

#include <vfwmsgs.h>

CEnumFilters::CEnumFilters(ComPtr<IUnknown> owner, FilterEnumerationSource* source)
    : owner_(std::move(owner)), source_(source), snapshot_(Take()) {}

CEnumFilters::Snapshot CEnumFilters::Take() {
  Snapshot snapshot;
  snapshot.filters = std::make_shared<const std::vector<ComPtr<IBaseFilter>>>(
      source_->FiltersNewestFirst(&snapshot.version));
  return snapshot;
}

HRESULT CEnumFilters::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IEnumFilters) return GetInterface(static_cast<IEnumFilters*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumFilters::Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) {
  if (!ppFilter) return E_POINTER;
  if (cFilters != 1 && !pcFetched) return E_INVALIDARG;
  if (pcFetched) *pcFetched = 0;
  std::lock_guard lock(mutex_);
  if (!InSyncLocked()) return VFW_E_ENUM_OUT_OF_SYNC;
  const auto& filters = *snapshot_.filters;
  ULONG fetched = 0;
  while (fetched < cFilters && snapshot_.position < filters.size()) {
    filters[snapshot_.position++].CopyTo(&ppFilter[fetched++]);
  }
  if (pcFetched) *pcFetched = fetched;
  return fetched == cFilters ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumFilters::Skip(ULONG cFilters) {
  std::lock_guard lock(mutex_);
  if (!InSyncLocked()) return VFW_E_ENUM_OUT_OF_SYNC;
  const size_t size = snapshot_.filters->size();
  if (cFilters > size - snapshot_.position) {
    snapshot_.position = size;
    return S_FALSE;
  }
  snapshot_.position += cFilters;
  return S_OK;
}

STDMETHODIMP CEnumFilters::Reset() {
  Snapshot fresh = Take();
  std::lock_guard lock(mutex_);
  snapshot_ = std::move(fresh);
  return S_OK;
}

STDMETHODIMP CEnumFilters::Clone(IEnumFilters** ppEnum) {
  if (!ppEnum) return E_POINTER;
  ComPtr<CEnumFilters> clone = MakeComObject<CEnumFilters>(owner_, source_);
  {
    std::lock_guard lock(mutex_);
    clone->snapshot_ = snapshot_;
  }
  *ppEnum = clone.Detach();
  return S_OK;
}
