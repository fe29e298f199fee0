// CEnumPins: a snapshot of a filter's pins.
#include "EnumPins.h"

#include "BasePin.h"

namespace {

std::shared_ptr<const std::vector<ComPtr<IPin>>> SnapshotPins(CBaseFilter* filter) {
  auto pins = std::make_shared<std::vector<ComPtr<IPin>>>();
  for (int i = 0; i < filter->GetPinCount(); ++i) {
    if (CBasePin* pin = filter->GetPin(i)) pins->emplace_back(static_cast<IPin*>(pin));
  }
  return pins;
}

}  // namespace

CEnumPins::CEnumPins(CBaseFilter* filter) : pins_(SnapshotPins(filter)) {}

CEnumPins::CEnumPins(std::shared_ptr<const std::vector<ComPtr<IPin>>> pins, size_t position)
    : pins_(std::move(pins)), position_(position) {}

HRESULT CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IEnumPins) return GetInterface(static_cast<IEnumPins*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
  if (!ppPins) return E_POINTER;
  if (cPins != 1 && !pcFetched) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  ULONG fetched = 0;
  while (fetched < cPins && position_ < pins_->size()) {
    (*pins_)[position_++].CopyTo(&ppPins[fetched++]);
  }
  if (pcFetched) *pcFetched = fetched;
  return fetched == cPins ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins) {
  std::lock_guard lock(mutex_);
  const size_t left = pins_->size() - position_;
  if (cPins > left) {
    position_ = pins_->size();
    return S_FALSE;
  }
  position_ += cPins;
  return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
  std::lock_guard lock(mutex_);
  position_ = 0;
  return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::lock_guard lock(mutex_);
  *ppEnum = MakeComObject<CEnumPins>(pins_, position_).Detach();
  return S_OK;
}
