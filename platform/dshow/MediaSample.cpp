// CMediaSample: a buffer of a CMemAllocator.
#include "MediaSample.h"

#include <vfwmsgs.h>

#include "MemAllocator.h"

CMediaSample::CMediaSample(CMemAllocator* allocator, BYTE* buffer, long size)
    : allocator_(allocator), buffer_(buffer), size_(size) {}

CMediaSample::~CMediaSample() = default;

STDMETHODIMP CMediaSample::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMediaSample) {
    *ppv = static_cast<IMediaSample*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef() {
  return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

STDMETHODIMP_(ULONG) CMediaSample::Release() {
  const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  // The last reference returns the sample to its pool; nothing of `this` is touched after,
  // since returning it may free the allocator and with it this sample.
  if (left == 0) allocator_->ReleaseBuffer(this);
  return left;
}

void CMediaSample::PrepareForUse() {
  actualLength_ = size_;
  timeValid_ = stopValid_ = mediaTimeValid_ = false;
  syncPoint_ = preroll_ = discontinuity_ = false;
  start_ = end_ = mediaStart_ = mediaEnd_ = 0;
  mediaType_.reset();
  refs_.store(1, std::memory_order_relaxed);
}

void CMediaSample::SetBuffer(BYTE* buffer, long size) {
  buffer_ = buffer;
  size_ = size;
}

STDMETHODIMP CMediaSample::GetPointer(BYTE** ppBuffer) {
  if (!ppBuffer) return E_POINTER;
  *ppBuffer = buffer_;
  return S_OK;
}

STDMETHODIMP_(long) CMediaSample::GetSize() { return size_; }

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
  if (!pTimeStart || !pTimeEnd) return E_POINTER;
  if (!timeValid_) return VFW_E_SAMPLE_TIME_NOT_SET;
  *pTimeStart = start_;
  if (stopValid_) {
    *pTimeEnd = end_;
    return S_OK;
  }
  *pTimeEnd = start_ + 1;
  return VFW_S_NO_STOP_TIME;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
  if (!pTimeStart) {
    timeValid_ = stopValid_ = false;
    return S_OK;
  }
  timeValid_ = true;
  start_ = *pTimeStart;
  stopValid_ = pTimeEnd != nullptr;
  end_ = pTimeEnd ? *pTimeEnd : 0;
  return S_OK;
}

STDMETHODIMP CMediaSample::IsSyncPoint() { return syncPoint_ ? S_OK : S_FALSE; }
STDMETHODIMP CMediaSample::SetSyncPoint(BOOL bIsSyncPoint) {
  syncPoint_ = bIsSyncPoint != FALSE;
  return S_OK;
}
STDMETHODIMP CMediaSample::IsPreroll() { return preroll_ ? S_OK : S_FALSE; }
STDMETHODIMP CMediaSample::SetPreroll(BOOL bIsPreroll) {
  preroll_ = bIsPreroll != FALSE;
  return S_OK;
}
STDMETHODIMP_(long) CMediaSample::GetActualDataLength() { return actualLength_; }

STDMETHODIMP CMediaSample::SetActualDataLength(long length) {
  if (length < 0 || length > size_) return VFW_E_BUFFER_OVERFLOW;
  actualLength_ = length;
  return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
  if (!ppMediaType) return E_POINTER;
  *ppMediaType = nullptr;
  if (!mediaType_) return S_FALSE;
  *ppMediaType = CreateMediaType(mediaType_.get());
  return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
  if (!pMediaType) {
    mediaType_.reset();
    return S_OK;
  }
  mediaType_ = std::make_unique<CMediaType>(*pMediaType);
  return S_OK;
}

STDMETHODIMP CMediaSample::IsDiscontinuity() { return discontinuity_ ? S_OK : S_FALSE; }
STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL bDiscontinuity) {
  discontinuity_ = bDiscontinuity != FALSE;
  return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
  if (!pTimeStart || !pTimeEnd) return E_POINTER;
  if (!mediaTimeValid_) return VFW_E_MEDIA_TIME_NOT_SET;
  *pTimeStart = mediaStart_;
  *pTimeEnd = mediaEnd_;
  return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
  if (!pTimeStart || !pTimeEnd) {
    mediaTimeValid_ = false;
    return S_OK;
  }
  mediaTimeValid_ = true;
  mediaStart_ = *pTimeStart;
  mediaEnd_ = *pTimeEnd;
  return S_OK;
}
