#include "RecordingSink.h"

namespace vidorra::test {

RecordingSink::RecordingSink(RecordingSinkOptions options)
    : CBaseRenderer(L"Recording Sink", CLSID_TestCountingSink), options_(options) {}

HRESULT RecordingSink::CheckMediaType(const CMediaType* mt) {
  const bool major = options_.majorType == GUID_NULL || *mt->Type() == options_.majorType;
  const bool sub = options_.subtype == GUID_NULL || *mt->Subtype() == options_.subtype;
  return major && sub ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT RecordingSink::DoRenderSample(IMediaSample* sample) {
  Sample kept;
  kept.frame = ReadFrameNumber(sample);
  if (FAILED(sample->GetTime(&kept.start, &kept.stop))) kept.start = kept.stop = -1;
  LONGLONG mediaStop = -1;
  if (FAILED(sample->GetMediaTime(&kept.mediaStart, &mediaStop))) kept.mediaStart = -1;
  kept.discontinuity = sample->IsDiscontinuity() == S_OK;
  // Every sample of the base classes is a CMediaSample.
  kept.allocator = static_cast<CMediaSample*>(sample)->Allocator();
  if (ComPtr<IReferenceClock> clock = Clock()) {
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    kept.renderedAt = now - StreamStartTime();
  }
  BYTE* data = nullptr;
  if (SUCCEEDED(sample->GetPointer(&data))) kept.data = data;
  if (options_.keepBytes && data) kept.bytes.assign(data, data + sample->GetActualDataLength());
  std::unique_lock lock(mutex_);
  samples_.push_back(std::move(kept));
  const bool fail = static_cast<int>(samples_.size()) - 1 == options_.failAtSample;
  released_.wait(lock, [this] { return !held_; });
  return fail ? E_FAIL : S_OK;
}

HRESULT RecordingSink::OnStopStreaming() {
  Hold(false);
  return CBaseRenderer::OnStopStreaming();
}

int RecordingSink::Count() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(samples_.size());
}

std::vector<RecordingSink::Sample> RecordingSink::Samples() {
  std::lock_guard lock(mutex_);
  return samples_;
}

void RecordingSink::Hold(bool held) {
  {
    std::lock_guard lock(mutex_);
    held_ = held;
  }
  released_.notify_all();
}

}  // namespace vidorra::test
