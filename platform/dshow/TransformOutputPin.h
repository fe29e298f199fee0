// CTransformOutputPin: the output pin of a CTransformFilter. It offers the filter's output
// types (GetMediaType) once the input is connected and asks the filter for its buffers.
#pragma once

#include "BaseOutputPin.h"

class CTransformFilter;

class CTransformOutputPin : public CBaseOutputPin {
 public:
  CTransformOutputPin(CTransformFilter* filter, std::wstring name);

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  CTransformFilter* const transform_;
};
