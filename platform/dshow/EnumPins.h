// CEnumPins: IEnumPins over a snapshot of a filter's pins taken when it is created (each pin
// reference keeps the filter alive). Clone copies the snapshot and the position.
#pragma once

#include <memory>
#include <vector>

#include "BaseFilter.h"

class CEnumPins : public CUnknown, public IEnumPins {
 public:
  explicit CEnumPins(CBaseFilter* filter);
  CEnumPins(std::shared_ptr<const std::vector<ComPtr<IPin>>> pins, size_t position);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
  STDMETHODIMP Skip(ULONG cPins) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** ppEnum) override;

 private:
  std::shared_ptr<const std::vector<ComPtr<IPin>>> pins_;
  std::mutex mutex_;
  size_t position_ = 0;
};
