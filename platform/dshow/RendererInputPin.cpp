// CRendererInputPin: forwards to its CBaseRenderer.
#include "BaseRenderer.h"

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer, std::wstring name)
    : CBaseInputPin(renderer, std::move(name)), renderer_(renderer) {}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* mt) {
  return renderer_->CheckMediaType(mt);
}

HRESULT CRendererInputPin::SetMediaType(const CMediaType* mt) {
  HRESULT hr = CBasePin::SetMediaType(mt);
  if (FAILED(hr)) return hr;
  return renderer_->SetMediaType(mt);
}

HRESULT CRendererInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return renderer_->CompleteConnect(receivePin);
}

ComPtr<IMemAllocator> CRendererInputPin::CreateAllocator() {
  return renderer_->CreateInputAllocator();
}

HRESULT CRendererInputPin::BreakConnect() {
  renderer_->BreakConnect();
  return CBaseInputPin::BreakConnect();
}

STDMETHODIMP CRendererInputPin::Receive(IMediaSample* pSample) {
  HRESULT hr = CBaseInputPin::Receive(pSample);
  if (hr != S_OK) return hr;
  return renderer_->Receive(pSample);
}

STDMETHODIMP CRendererInputPin::EndOfStream() {
  HRESULT hr = CBaseInputPin::EndOfStream();
  if (hr != S_OK) return hr;
  return renderer_->EndOfStream();
}

STDMETHODIMP CRendererInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return renderer_->BeginFlush();
}

STDMETHODIMP CRendererInputPin::EndFlush() {
  CBaseInputPin::EndFlush();
  return renderer_->EndFlush();
}
