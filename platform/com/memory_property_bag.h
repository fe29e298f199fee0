// CMemoryPropertyBag: a property bag over name/text pairs, as device monikers hand out.
// Thread-safe: one mutex guards the pairs.
#pragma once

#include <comimpl.h>
#include <devmoniker.h>

#include <mutex>

class CMemoryPropertyBag : public CUnknown, public IPropertyBag {
 public:
  explicit CMemoryPropertyBag(PropertyList properties);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
  STDMETHODIMP Write(LPCOLESTR pszPropName, VARIANT* pVar) override;

 private:
  std::mutex mutex_;
  PropertyList properties_;
};
