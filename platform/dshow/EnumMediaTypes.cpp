// CEnumMediaTypes: a snapshot of a pin's preferred media types.
#include "EnumMediaTypes.h"

#include "BasePin.h"

namespace {

// A pin offering more types than this is taken to be broken (GetMediaType never ends).
constexpr int kMaxMediaTypes = 4096;

std::shared_ptr<const std::vector<CMediaType>> SnapshotTypes(CBasePin* pin) {
  auto types = std::make_shared<std::vector<CMediaType>>();
  for (int i = 0; i < kMaxMediaTypes; ++i) {
    CMediaType mt;
    if (pin->GetMediaType(i, &mt) != S_OK) break;
    types->push_back(std::move(mt));
  }
  return types;
}

}  // namespace

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin) : types_(SnapshotTypes(pin)) {}

CEnumMediaTypes::CEnumMediaTypes(std::shared_ptr<const std::vector<CMediaType>> types,
                                 size_t position)
    : types_(std::move(types)), position_(position) {}

HRESULT CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IEnumMediaTypes) return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
  return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                   ULONG* pcFetched) {
  if (!ppMediaTypes) return E_POINTER;
  if (cMediaTypes != 1 && !pcFetched) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  ULONG fetched = 0;
  while (fetched < cMediaTypes && position_ < types_->size()) {
    AM_MEDIA_TYPE* copy = CreateMediaType(&(*types_)[position_]);
    if (!copy) break;
    ppMediaTypes[fetched++] = copy;
    ++position_;
  }
  if (pcFetched) *pcFetched = fetched;
  return fetched == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes) {
  std::lock_guard lock(mutex_);
  const size_t left = types_->size() - position_;
  if (cMediaTypes > left) {
    position_ = types_->size();
    return S_FALSE;
  }
  position_ += cMediaTypes;
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
  std::lock_guard lock(mutex_);
  position_ = 0;
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::lock_guard lock(mutex_);
  *ppEnum = MakeComObject<CEnumMediaTypes>(types_, position_).Detach();
  return S_OK;
}
