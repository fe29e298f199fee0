// TestPassThrough: an in-place transform that accepts any type and counts the samples it
// passes; optionally fails at one sample (EC_ERRORABORT).
#pragma once

#include <atomic>

#include "TestFilterTypes.h"

namespace vidorra::test {

class TestPassThrough : public CTransInPlaceFilter {
 public:
  explicit TestPassThrough(int failAtSample = -1);
  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT Transform(IMediaSample* sample) override;
  int Count() const { return count_.load(); }

 private:
  const int failAtSample_;
  std::atomic<int> count_{0};
};

}  // namespace vidorra::test
