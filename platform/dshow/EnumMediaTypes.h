// CEnumMediaTypes: IEnumMediaTypes over a snapshot of a pin's preferred types (GetMediaType
// 0, 1, ... taken when it is created). Next hands out copies allocated with CoTaskMemAlloc.
#pragma once

#include <comimpl.h>

#include <memory>
#include <mutex>
#include <vector>

#include "MediaType.h"

class CBasePin;

class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
 public:
  explicit CEnumMediaTypes(CBasePin* pin);
  CEnumMediaTypes(std::shared_ptr<const std::vector<CMediaType>> types, size_t position);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
  STDMETHODIMP Skip(ULONG cMediaTypes) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** ppEnum) override;

 private:
  std::shared_ptr<const std::vector<CMediaType>> types_;
  std::mutex mutex_;
  size_t position_ = 0;
};
