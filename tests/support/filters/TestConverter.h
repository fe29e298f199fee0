// TestConverter: a transform from one video subtype to another (default TestA -> TestB),
// copying the data. Registered for intelligent connect only by the suites that want it.
#pragma once

#include "TestFilterTypes.h"

namespace vidorra::test {

class TestConverter : public CTransformFilter {
 public:
  TestConverter(GUID from = MEDIASUBTYPE_TestA, GUID to = MEDIASUBTYPE_TestB);
  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

 private:
  const GUID from_, to_;
};

}  // namespace vidorra::test
