// CTransformInputPin: forwards to its CTransformFilter.
#include "TransformFilter.h"

CTransformInputPin::CTransformInputPin(CTransformFilter* filter, std::wstring name)
    : CBaseInputPin(filter, std::move(name)), transform_(filter) {}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* mt) {
  HRESULT hr = transform_->CheckInputType(mt);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  // Once the output is connected, a new input type must still suit it.
  CTransformOutputPin* output = transform_->OutputPin();
  if (output->IsConnected()) return transform_->CheckTransform(mt, &output->CurrentMediaType());
  return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* mt) {
  HRESULT hr = CBasePin::SetMediaType(mt);
  if (FAILED(hr)) return hr;
  return transform_->SetMediaType(PINDIR_INPUT, mt);
}

HRESULT CTransformInputPin::CheckConnect(IPin* pin) {
  HRESULT hr = CBasePin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  return transform_->CheckConnect(PINDIR_INPUT, pin);
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return transform_->CompleteConnect(PINDIR_INPUT, receivePin);
}

HRESULT CTransformInputPin::BreakConnect() {
  transform_->BreakConnect(PINDIR_INPUT);
  return CBaseInputPin::BreakConnect();
}

STDMETHODIMP CTransformInputPin::Receive(IMediaSample* pSample) {
  HRESULT hr = CBaseInputPin::Receive(pSample);
  if (hr != S_OK) return hr;
  return transform_->Receive(pSample);
}

STDMETHODIMP CTransformInputPin::EndOfStream() {
  HRESULT hr = CBaseInputPin::EndOfStream();
  if (hr != S_OK) return hr;
  return transform_->EndOfStream();
}

STDMETHODIMP CTransformInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return transform_->BeginFlush();
}

STDMETHODIMP CTransformInputPin::EndFlush() {
  CBaseInputPin::EndFlush();
  return transform_->EndFlush();
}

STDMETHODIMP CTransformInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                            double dRate) {
  CBasePin::NewSegment(tStart, tStop, dRate);
  return transform_->NewSegment(tStart, tStop, dRate);
}
