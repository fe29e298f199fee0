// CEnumFilters: IEnumFilters over a graph's filters, the most recently added first.
//
// The enumerator works on a snapshot taken with the graph's version (a count the graph moves
// on at every AddFilter and RemoveFilter). Once the graph has changed, Next and Skip answer
// VFW_E_ENUM_OUT_OF_SYNC until Reset takes a new snapshot. It holds a reference on the graph.
//
// Threads: any; mutex_ guards the snapshot and the position.
#pragma once

#include <comimpl.h>
#include <strmif.h>

#include <memory>
#include <mutex>
#include <vector>

// What the enumerator needs of its graph.
class FilterEnumerationSource {
 public:
  // The filters, most recently added first, and the version they belong to.
  virtual std::vector<ComPtr<IBaseFilter>> FiltersNewestFirst(unsigned* version) = 0;
  virtual unsigned FiltersVersion() = 0;

 protected:
  ~FilterEnumerationSource() = default;
};

class CEnumFilters : public CUnknown, public IEnumFilters {
 public:
  // `owner` keeps the graph alive; `source` is the same graph.
  CEnumFilters(ComPtr<IUnknown> owner, FilterEnumerationSource* source);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) override;
  STDMETHODIMP Skip(ULONG cFilters) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumFilters** ppEnum) override;

 private:
  struct Snapshot {
    std::shared_ptr<const std::vector<ComPtr<IBaseFilter>>> filters;
    unsigned version = 0;
    size_t position = 0;
  };
  Snapshot Take();
  bool InSyncLocked() { return snapshot_.version == source_->FiltersVersion(); }

  ComPtr<IUnknown> owner_;
  FilterEnumerationSource* const source_;
  std::mutex mutex_;
  Snapshot snapshot_;
};
