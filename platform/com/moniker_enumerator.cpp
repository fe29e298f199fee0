// CMonikerEnumerator and CreateMonikerEnumerator.
#include "moniker_enumerator.h"

#include <algorithm>

CMonikerEnumerator::CMonikerEnumerator(std::shared_ptr<const MonikerList> monikers, size_t position)
    : monikers_(std::move(monikers)), position_(position) {}

HRESULT CMonikerEnumerator::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  const HRESULT hr = QueryInterfaceTable<IEnumMoniker>(this, riid, ppv);
  if (hr != E_NOINTERFACE) return hr;
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CMonikerEnumerator::Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) {
  if (pceltFetched) *pceltFetched = 0;
  if (!rgelt) return E_POINTER;
  // Without a count to report, a caller asking for several could not know how many came.
  if (celt > 1 && !pceltFetched) return E_INVALIDARG;
  ULONG fetched = 0;
  {
    std::lock_guard lock(mutex_);
    while (fetched < celt && position_ < monikers_->size()) {
      (*monikers_)[position_++].CopyTo(&rgelt[fetched++]);
    }
  }
  if (pceltFetched) *pceltFetched = fetched;
  return fetched == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CMonikerEnumerator::Skip(ULONG celt) {
  std::lock_guard lock(mutex_);
  const size_t remaining = monikers_->size() - std::min(position_, monikers_->size());
  position_ += std::min<size_t>(celt, remaining);
  return celt <= remaining ? S_OK : S_FALSE;
}

STDMETHODIMP CMonikerEnumerator::Reset() {
  std::lock_guard lock(mutex_);
  position_ = 0;
  return S_OK;
}

STDMETHODIMP CMonikerEnumerator::Clone(IEnumMoniker** ppenum) {
  if (!ppenum) return E_POINTER;
  size_t position = 0;
  {
    std::lock_guard lock(mutex_);
    position = position_;
  }
  ComPtr<CMonikerEnumerator> clone = MakeComObject<CMonikerEnumerator>(monikers_, position);
  *ppenum = clone.Detach();
  return S_OK;
}

HRESULT CreateMonikerEnumerator(std::vector<ComPtr<IMoniker>> monikers, IEnumMoniker** out) {
  if (!out) return E_POINTER;
  auto list = std::make_shared<const CMonikerEnumerator::MonikerList>(std::move(monikers));
  ComPtr<CMonikerEnumerator> enumerator = MakeComObject<CMonikerEnumerator>(std::move(list), 0);
  *out = enumerator.Detach();
  return S_OK;
}
