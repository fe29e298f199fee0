// CBaseOutputPin: allocator negotiation and delivery.
#include "BaseOutputPin.h"

#include "MemAllocator.h"

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, std::wstring name)
    : CBasePin(filter, std::move(name), PINDIR_OUTPUT) {}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
  HRESULT hr = CBasePin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  ComPtr<IMemInputPin> input;
  hr = pin->QueryInterface(IID_IMemInputPin, input.ReleaseAndGetVoidAddressOf());
  return FAILED(hr) ? VFW_E_NO_TRANSPORT : S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* receivePin) {
  ComPtr<IMemInputPin> input;
  HRESULT hr = receivePin->QueryInterface(IID_IMemInputPin, input.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) return VFW_E_NO_TRANSPORT;
  ComPtr<IMemAllocator> allocator;
  hr = DecideAllocator(input.Get(), allocator.GetAddressOf());
  if (FAILED(hr)) return hr;
  allocator_ = std::move(allocator);
  inputPin_ = std::move(input);
  return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  *allocator = nullptr;
  ALLOCATOR_PROPERTIES request{};
  pin->GetAllocatorRequirements(&request);
  if (request.cbAlign == 0) request.cbAlign = 1;

  ComPtr<IMemAllocator> candidate;
  HRESULT hr = pin->GetAllocator(candidate.GetAddressOf());
  if (SUCCEEDED(hr) && candidate) {
    hr = DecideBufferSize(candidate.Get(), &request);
    if (SUCCEEDED(hr)) hr = pin->NotifyAllocator(candidate.Get(), SamplesReadOnly() ? TRUE : FALSE);
    if (SUCCEEDED(hr)) {
      *allocator = candidate.Detach();
      return S_OK;
    }
  }
  // The receiver has no allocator or refused ours: use one of our own.
  candidate = nullptr;
  hr = InitAllocator(candidate.GetAddressOf());
  if (FAILED(hr)) return hr;
  hr = DecideBufferSize(candidate.Get(), &request);
  if (FAILED(hr)) return hr;
  hr = pin->NotifyAllocator(candidate.Get(), SamplesReadOnly() ? TRUE : FALSE);
  if (FAILED(hr)) return hr;
  *allocator = candidate.Detach();
  return S_OK;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator) {
  *allocator = MakeComObject<CMemAllocator>().Detach();
  return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
  if (allocator_) allocator_->Decommit();
  allocator_ = nullptr;
  inputPin_ = nullptr;
  return S_OK;
}

HRESULT CBaseOutputPin::Active() {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->Decommit();
}

STDMETHODIMP CBaseOutputPin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP CBaseOutputPin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP CBaseOutputPin::EndFlush() { return E_UNEXPECTED; }

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                          REFERENCE_TIME* end, DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->GetBuffer(sample, start, end, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  if (!inputPin_) return VFW_E_NOT_CONNECTED;
  return inputPin_->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->NewSegment(start, stop, rate);
}
