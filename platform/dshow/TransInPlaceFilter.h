// CTransInPlaceFilter: a transform whose output type is its input type and which changes the
// data in place (Transform(sample)), passing the same sample downstream.
//
// When the upstream pin declared its samples read-only (NotifyAllocator with bReadOnly, as a
// tee does), the data are first copied into a buffer of the output pin's own allocator, so a
// sample shared with another branch is never written.
//
// Hooks: Transform(sample) (S_OK delivers, S_FALSE drops, an error sends EC_ERRORABORT);
// CheckInputType(in). The output offers exactly the input type; buffers default to the
// upstream allocator's count and size.
#pragma once

#include "TransformFilter.h"

class CTransInPlaceFilter : public CTransformFilter {
 public:
  CTransInPlaceFilter(std::wstring name, REFCLSID clsid);

  virtual HRESULT Transform(IMediaSample* sample) = 0;

  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Receive(IMediaSample* sample) override;

 private:
  using CTransformFilter::Transform;
  HRESULT CopySample(IMediaSample* in, IMediaSample** out);
};
