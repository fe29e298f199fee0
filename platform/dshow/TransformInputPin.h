// CTransformInputPin: the input pin of a CTransformFilter. It only forwards to the filter's
// hooks (CheckInputType, SetMediaType, Receive, EndOfStream, flushing); see TransformFilter.h.
#pragma once

#include "BaseInputPin.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
 public:
  CTransformInputPin(CTransformFilter* filter, std::wstring name);

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  STDMETHODIMP Receive(IMediaSample* pSample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

 private:
  CTransformFilter* const transform_;
};
