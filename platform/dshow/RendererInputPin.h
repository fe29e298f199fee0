// CRendererInputPin: the input pin of a CBaseRenderer; it forwards the stream to the
// renderer (Receive, EndOfStream, flushing) and the connection steps to its hooks.
#pragma once

#include "BaseInputPin.h"

class CBaseRenderer;

class CRendererInputPin : public CBaseInputPin {
 public:
  CRendererInputPin(CBaseRenderer* renderer, std::wstring name);

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  STDMETHODIMP Receive(IMediaSample* pSample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

 protected:
  ComPtr<IMemAllocator> CreateAllocator() override;

 private:
  CBaseRenderer* const renderer_;
};
