// CMemAllocator: a fixed pool of CMediaSample buffers in ordinary memory.
//
// SetProperties fixes the count, size, alignment and prefix of the buffers; Commit allocates
// them; GetBuffer hands out a free one and blocks while none is free, until one comes back or
// the allocator is decommitted (then VFW_E_NOT_COMMITTED), so a streaming thread blocked here
// is released by Decommit. Decommit with samples still out is allowed: they come back later.
//
// Threads: every method may be called from any thread; one mutex guards the pool.
#pragma once

#include <comimpl.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "MediaSample.h"

class CMemAllocator : public CUnknown, public IMemAllocator {
 public:
  CMemAllocator();
  ~CMemAllocator() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                             ALLOCATOR_PROPERTIES* pActual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
  STDMETHODIMP Commit() override;
  STDMETHODIMP Decommit() override;
  STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                         REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
  STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

  // Number of samples currently handed out (for tests and diagnostics).
  int OutstandingForTesting();

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  ALLOCATOR_PROPERTIES props_{};
  bool propertiesSet_ = false;
  bool committed_ = false;
  std::vector<BYTE> memory_;
  std::vector<std::unique_ptr<CMediaSample>> samples_;
  std::vector<CMediaSample*> free_;
};
