// RecordingSink: the tests' renderer. It takes the media types of its options and keeps, for
// every sample it receives, its frame number (the first four bytes, as TestPushSource writes
// them), times, flags, the allocator it came from and where its bytes are, the stream time it was rendered at (graph
// clock minus the run's start; -1 without a clock) and, when asked, its bytes. It can fail at
// one sample (the graph aborts) and be held: a sample then waits in its receive until released.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "TestFilterTypes.h"

namespace vidorra::test {

struct RecordingSinkOptions {
  GUID majorType = MEDIATYPE_Video, subtype = GUID_NULL;  // GUID_NULL: any
  bool keepBytes = false;
  int failAtSample = -1;
};

class RecordingSink : public CBaseRenderer {
 public:
  struct Sample {
    uint32_t frame = 0;
    REFERENCE_TIME start = -1, stop = -1;  // -1: untimed
    LONGLONG mediaStart = -1;
    bool discontinuity = false;
    IMemAllocator* allocator = nullptr;  // not a reference
    const BYTE* data = nullptr;          // where its bytes are
    REFERENCE_TIME renderedAt = -1;
    std::vector<uint8_t> bytes;  // kept when asked
  };
  explicit RecordingSink(RecordingSinkOptions options = {});
  // Video of that subtype (GUID_NULL: any video).
  explicit RecordingSink(GUID subtype, int failAtSample = -1)
      : RecordingSink(RecordingSinkOptions{.subtype = subtype, .failAtSample = failAtSample}) {}

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  HRESULT OnStopStreaming() override;
  IPin* Input() const { return InputPin(); }
  int Count();
  std::vector<Sample> Samples();
  // Held, samples wait in their receive until let go (and when the stream stops).
  void Hold(bool held);

 private:
  const RecordingSinkOptions options_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
  std::vector<Sample> samples_;
};

}  // namespace vidorra::test
