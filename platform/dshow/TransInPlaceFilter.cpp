// CTransInPlaceFilter: in-place transform, copying only read-only samples.
#include "TransInPlaceFilter.h"

#include <algorithm>
#include <cstring>

#include "AllocatorBuffers.h"

CTransInPlaceFilter::CTransInPlaceFilter(std::wstring name, REFCLSID clsid)
    : CTransformFilter(std::move(name), clsid) {}

HRESULT CTransInPlaceFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  return *in == *out ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTransInPlaceFilter::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0 || !input_->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  *mt = input_->CurrentMediaType();
  return S_OK;
}

HRESULT CTransInPlaceFilter::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
  constexpr long kDefaultBuffers = 2;
  ALLOCATOR_PROPERTIES upstream{};
  if (IMemAllocator* in = input_->Allocator(); !in || FAILED(in->GetProperties(&upstream))) {
    upstream = {};
  }
  return DecideBuffers(
      allocator, *request,
      {.buffers = std::max(upstream.cBuffers, kDefaultBuffers),
       .bytes = std::max(upstream.cbBuffer,
                         static_cast<long>(input_->CurrentMediaType().GetSampleSize()))});
}

HRESULT CTransInPlaceFilter::CopySample(IMediaSample* in, IMediaSample** out) {
  HRESULT hr = InitializeOutputSample(in, out);
  if (FAILED(hr)) return hr;
  BYTE* source = nullptr;
  BYTE* target = nullptr;
  in->GetPointer(&source);
  (*out)->GetPointer(&target);
  const long length = in->GetActualDataLength();
  if (length > (*out)->GetSize()) {
    (*out)->Release();
    *out = nullptr;
    return VFW_E_BUFFER_OVERFLOW;
  }
  if (length > 0) std::memcpy(target, source, static_cast<size_t>(length));
  (*out)->SetActualDataLength(length);
  return S_OK;
}

HRESULT CTransInPlaceFilter::Receive(IMediaSample* sample) {
  std::lock_guard receive(receiveLock_);
  ComPtr<IMediaSample> target(sample);
  if (input_->IsReadOnly()) {
    IMediaSample* copy = nullptr;
    HRESULT hr = CopySample(sample, &copy);
    if (FAILED(hr)) {
      // As in CTransformFilter::Receive: a stop is going on, here or downstream.
      if (IsStopped()) return VFW_E_WRONG_STATE;
      if (hr == VFW_E_NOT_COMMITTED) return hr;
      NotifyEvent(EC_ERRORABORT, hr, 0);
      return hr;
    }
    target.Attach(copy);
  }
  HRESULT hr = Transform(target.Get());
  if (hr == S_FALSE) return S_OK;
  if (FAILED(hr)) {
    NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
  }
  return output_->Deliver(target.Get());
}
