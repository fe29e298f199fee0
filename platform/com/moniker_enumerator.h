// CMonikerEnumerator: IEnumMoniker over a fixed list of monikers. The list is shared with
// clones and never changes; the position is guarded by a mutex per enumerator.
#pragma once

#include <comimpl.h>
#include <devmoniker.h>

#include <memory>
#include <mutex>
#include <vector>

class CMonikerEnumerator : public CUnknown, public IEnumMoniker {
 public:
  using MonikerList = std::vector<ComPtr<IMoniker>>;
  CMonikerEnumerator(std::shared_ptr<const MonikerList> monikers, size_t position);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) override;
  STDMETHODIMP Skip(ULONG celt) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMoniker** ppenum) override;

 private:
  const std::shared_ptr<const MonikerList> monikers_;
  std::mutex mutex_;
  size_t position_;  // guarded by mutex_
};
