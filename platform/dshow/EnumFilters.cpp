// CEnumFilters: a snapshot of a graph's filters.
#include "EnumFilters.h"

CEnumFilters::CEnumFilters(std::shared_ptr<const std::vector<ComPtr<IBaseFilter>>> filters,
                           size_t position)
    : filters_(std::move(filters)), position_(position) {}

HRESULT CEnumFilters::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IEnumFilters) return GetInterface(static_cast<IEnumFilters*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumFilters::Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) {
  if (!ppFilter) return E_POINTER;
  if (cFilters != 1 && !pcFetched) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  ULONG fetched = 0;
  while (fetched < cFilters && position_ < filters_->size()) {
    (*filters_)[position_++].CopyTo(&ppFilter[fetched++]);
  }
  if (pcFetched) *pcFetched = fetched;
  return fetched == cFilters ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumFilters::Skip(ULONG cFilters) {
  std::lock_guard lock(mutex_);
  const size_t left = filters_->size() - position_;
  if (cFilters > left) {
    position_ = filters_->size();
    return S_FALSE;
  }
  position_ += cFilters;
  return S_OK;
}

STDMETHODIMP CEnumFilters::Reset() {
  std::lock_guard lock(mutex_);
  position_ = 0;
  return S_OK;
}

STDMETHODIMP CEnumFilters::Clone(IEnumFilters** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::lock_guard lock(mutex_);
  *ppEnum = MakeComObject<CEnumFilters>(filters_, position_).Detach();
  return S_OK;
}
