// CMediaSample: one buffer of a CMemAllocator, handed out through IMediaSample.
//
// A sample belongs to its allocator. Its reference count starts at 0 in the allocator's free
// list; GetBuffer hands it out with one reference, and when the last reference is released the
// sample goes back to the free list (it is never deleted by Release). While a sample is out it
// keeps its allocator alive.
//
// Threads: a sample is used by one streaming thread at a time (the one that holds it); the
// reference count is atomic so that a queue on another thread may hold it too.
#pragma once

#include <atomic>
#include <memory>

#include "MediaType.h"

class CMemAllocator;

class CMediaSample : public IMediaSample {
 public:
  CMediaSample(CMemAllocator* allocator, BYTE* buffer, long size);
  CMediaSample(const CMediaSample&) = delete;
  CMediaSample& operator=(const CMediaSample&) = delete;
  virtual ~CMediaSample();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
  STDMETHODIMP_(long) GetSize() override;
  STDMETHODIMP GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
  STDMETHODIMP SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
  STDMETHODIMP IsSyncPoint() override;
  STDMETHODIMP SetSyncPoint(BOOL bIsSyncPoint) override;
  STDMETHODIMP IsPreroll() override;
  STDMETHODIMP SetPreroll(BOOL bIsPreroll) override;
  STDMETHODIMP_(long) GetActualDataLength() override;
  STDMETHODIMP SetActualDataLength(long length) override;
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
  STDMETHODIMP IsDiscontinuity() override;
  STDMETHODIMP SetDiscontinuity(BOOL bDiscontinuity) override;
  STDMETHODIMP GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
  STDMETHODIMP SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

  // Called by the allocator when it hands the sample out: clears every property and takes
  // the first reference.
  void PrepareForUse();
  // The allocator's memory for this sample moved (new properties).
  void SetBuffer(BYTE* buffer, long size);
  // The allocator this sample came from, for filters that check whether a sample is theirs.
  CMemAllocator* Allocator() const { return allocator_; }

 private:
  CMemAllocator* const allocator_;
  BYTE* buffer_;
  long size_;
  long actualLength_ = 0;
  std::atomic<ULONG> refs_{0};
  bool timeValid_ = false;
  bool stopValid_ = false;
  bool mediaTimeValid_ = false;
  bool syncPoint_ = false;
  bool preroll_ = false;
  bool discontinuity_ = false;
  REFERENCE_TIME start_ = 0;
  REFERENCE_TIME end_ = 0;
  LONGLONG mediaStart_ = 0;
  LONGLONG mediaEnd_ = 0;
  std::unique_ptr<CMediaType> mediaType_;
};
