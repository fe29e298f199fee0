// CTransformOutputPin: forwards to its CTransformFilter.
#include "TransformFilter.h"

CTransformOutputPin::CTransformOutputPin(CTransformFilter* filter, std::wstring name)
    : CBaseOutputPin(filter, std::move(name)), transform_(filter) {}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* mt) {
  CTransformInputPin* input = transform_->InputPin();
  if (!input->IsConnected()) return E_UNEXPECTED;
  return transform_->CheckTransform(&input->CurrentMediaType(), mt);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* mt) {
  // No output type can be known before the input's.
  if (!transform_->InputPin()->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return transform_->GetMediaType(position, mt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* mt) {
  HRESULT hr = CBasePin::SetMediaType(mt);
  if (FAILED(hr)) return hr;
  return transform_->SetMediaType(PINDIR_OUTPUT, mt);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
  if (!transform_->InputPin()->IsConnected()) return E_UNEXPECTED;
  HRESULT hr = CBaseOutputPin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  return transform_->CheckConnect(PINDIR_OUTPUT, pin);
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseOutputPin::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return transform_->CompleteConnect(PINDIR_OUTPUT, receivePin);
}

HRESULT CTransformOutputPin::BreakConnect() {
  transform_->BreakConnect(PINDIR_OUTPUT);
  return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request) {
  return transform_->DecideBufferSize(allocator, request);
}
