#include "TestPushSource.h"

namespace vidorra::test {

namespace {

class TestPushStream : public CSourceStream {
 public:
  TestPushStream(TestPushSource* source) : CSourceStream(source, L"Output"), source_(source) {}

  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *mt = source_->Config().mediaType;
    return S_OK;
  }

  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    const auto bytes = std::max<long>(static_cast<long>(CurrentMediaType().GetSampleSize()), 4);
    return DecideBuffers(allocator, *request,
                         {.buffers = source_->Config().bufferCount, .bytes = bytes});
  }

  HRESULT OnThreadCreate() override {
    frame_ = 0;
    return S_OK;
  }

  HRESULT FillBuffer(IMediaSample* sample) override {
    const TestPushSourceConfig& config = source_->Config();
    if (config.frameCount >= 0 && frame_ >= config.frameCount) return S_FALSE;
    if (frame_ == config.failAtFrame) return config.failure;
    REFERENCE_TIME start = frame_ * config.frameDuration, end = start + config.frameDuration;
    if (config.paceOnClock && WaitForStreamTime(start) != S_OK) return S_FALSE;
    WriteFrameNumber(sample, static_cast<uint32_t>(frame_));
    sample->SetTime(&start, &end);
    sample->SetSyncPoint(TRUE);
    sample->SetActualDataLength(
        std::max<long>(4, static_cast<long>(CurrentMediaType().GetSampleSize())));
    ++frame_;
    ++source_->FramesDelivered();
    return S_OK;
  }

 private:
  TestPushSource* const source_;
  int frame_ = 0;
};

}  // namespace

TestPushSource::TestPushSource(TestPushSourceConfig config)
    : CSource(L"Test Push Source", CLSID_TestPushSource), config_(std::move(config)) {
  AddPin(std::make_unique<TestPushStream>(this));
}

IPin* TestPushSource::OutputPin() const { return Stream(0); }

}  // namespace vidorra::test
