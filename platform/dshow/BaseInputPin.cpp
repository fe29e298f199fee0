// CBaseInputPin: IMemInputPin and the stream flags.
#include "BaseInputPin.h"

#include "MemAllocator.h"

CBaseInputPin::CBaseInputPin(CBaseFilter* filter, std::wstring name)
    : CBasePin(filter, std::move(name), PINDIR_INPUT) {}

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), ppv);
  return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** ppAllocator) {
  if (!ppAllocator) return E_POINTER;
  std::lock_guard lock(lock_);
  if (!allocator_) allocator_ = CreateAllocator();
  if (!allocator_) return E_OUTOFMEMORY;
  return allocator_.CopyTo(ppAllocator);
}

ComPtr<IMemAllocator> CBaseInputPin::CreateAllocator() { return MakeComObject<CMemAllocator>(); }

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) {
  if (!pAllocator) return E_POINTER;
  std::lock_guard lock(lock_);
  allocator_ = pAllocator;
  readOnly_ = bReadOnly != FALSE;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* /*pProps*/) {
  // No requirement of our own: the output pin decides.
  return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming() {
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  if (flushing_.load()) return S_FALSE;
  if (filter_->IsStopped()) return VFW_E_WRONG_STATE;
  if (endOfStream_.load()) return VFW_E_SAMPLE_REJECTED_EOS;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* pSample) {
  if (!pSample) return E_POINTER;
  return CheckStreaming();
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** pSamples, long nSamples,
                                            long* nSamplesProcessed) {
  if (!pSamples || !nSamplesProcessed) return E_POINTER;
  *nSamplesProcessed = 0;
  HRESULT hr = S_OK;
  while (*nSamplesProcessed < nSamples) {
    hr = Receive(pSamples[*nSamplesProcessed]);
    if (hr != S_OK) break;
    ++*nSamplesProcessed;
  }
  return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() { return S_OK; }

STDMETHODIMP CBaseInputPin::EndOfStream() {
  const HRESULT hr = CheckStreaming();
  if (hr == S_OK) endOfStream_.store(true);
  return hr;
}

STDMETHODIMP CBaseInputPin::BeginFlush() {
  flushing_.store(true);
  return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush() {
  flushing_.store(false);
  endOfStream_.store(false);
  return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
  if (allocator_) allocator_->Decommit();
  allocator_ = nullptr;
  readOnly_ = false;
  return S_OK;
}

HRESULT CBaseInputPin::Active() {
  endOfStream_.store(false);
  flushing_.store(false);
  return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
  endOfStream_.store(false);
  flushing_.store(false);
  if (allocator_) allocator_->Decommit();
  return S_OK;
}
