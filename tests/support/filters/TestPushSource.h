// TestPushSource: a push source with one output pin ("Output") that sends `frameCount`
// samples of its media type (frame numbers in the data, times frame * frameDuration), then
// end of stream. Optionally paced on the graph clock, optionally failing at one frame (its
// FillBuffer returns `failure`, which the base class turns into EC_ERRORABORT).
#pragma once

#include <atomic>

#include "TestFilterTypes.h"

namespace vidorra::test {

struct TestPushSourceConfig {
  CMediaType mediaType = MakeTestVideoType(MEDIASUBTYPE_TestA);
  int frameCount = -1;  // -1: endless
  REFERENCE_TIME frameDuration = 400'000;
  bool paceOnClock = false;
  int failAtFrame = -1;
  HRESULT failure = E_FAIL;
  long bufferCount = 4;
};

class TestPushSource : public CSource {
 public:
  explicit TestPushSource(TestPushSourceConfig config = {});
  IPin* OutputPin() const;
  std::atomic<int>& FramesDelivered() { return frames_; }
  const TestPushSourceConfig& Config() const { return config_; }

 private:
  TestPushSourceConfig config_;
  std::atomic<int> frames_{0};
};

}  // namespace vidorra::test
