// TestCountingSink: a renderer that accepts one subtype (GUID_NULL: any video) and records,
// for each sample, its frame number, its start time and the stream time at which it was
// rendered (graph clock time minus the run's start; -1 without a clock).
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "TestFilterTypes.h"

namespace vidorra::test {

struct RenderedSample {
  uint32_t frame = 0;
  REFERENCE_TIME start = -1;
  REFERENCE_TIME renderedAt = -1;
  IMemAllocator* allocator = nullptr;  // the pool the sample came from (not a reference)
};

class TestCountingSink : public CBaseRenderer {
 public:
  explicit TestCountingSink(GUID acceptedSubtype = GUID_NULL, int failAtSample = -1);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  IPin* InputPinInterface() const;
  int Count() const { return count_.load(); }
  std::vector<RenderedSample> Samples();

 private:
  const GUID accepted_;
  const int failAtSample_;
  std::atomic<int> count_{0};
  std::mutex mutex_;
  std::vector<RenderedSample> samples_;
};

}  // namespace vidorra::test
