// CEnumFilters: IEnumFilters over a snapshot of a graph's filters in addition order.
#pragma once

#include <comimpl.h>
#include <strmif.h>

#include <memory>
#include <mutex>
#include <vector>

class CEnumFilters : public CUnknown, public IEnumFilters {
 public:
  CEnumFilters(std::shared_ptr<const std::vector<ComPtr<IBaseFilter>>> filters, size_t position);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) override;
  STDMETHODIMP Skip(ULONG cFilters) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumFilters** ppEnum) override;

 private:
  std::shared_ptr<const std::vector<ComPtr<IBaseFilter>>> filters_;
  std::mutex mutex_;
  size_t position_ = 0;
};
