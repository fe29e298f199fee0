#include "TestCountingSink.h"

namespace vidorra::test {

TestCountingSink::TestCountingSink(GUID acceptedSubtype, int failAtSample)
    : CBaseRenderer(L"Test Counting Sink", CLSID_TestCountingSink),
      accepted_(acceptedSubtype),
      failAtSample_(failAtSample) {}

HRESULT TestCountingSink::CheckMediaType(const CMediaType* mt) {
  if (*mt->Type() != MEDIATYPE_Video) return VFW_E_TYPE_NOT_ACCEPTED;
  if (accepted_ != GUID_NULL && *mt->Subtype() != accepted_) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT TestCountingSink::DoRenderSample(IMediaSample* sample) {
  RenderedSample record;
  record.frame = ReadFrameNumber(sample);
  REFERENCE_TIME end = 0;
  if (FAILED(sample->GetTime(&record.start, &end))) record.start = -1;
  // Every sample of the base classes is a CMediaSample.
  record.allocator = static_cast<CMediaSample*>(sample)->Allocator();
  if (ComPtr<IReferenceClock> clock = Clock()) {
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    record.renderedAt = now - StreamStartTime();
  }
  {
    std::lock_guard lock(mutex_);
    samples_.push_back(record);
  }
  const int n = count_.fetch_add(1);
  return n == failAtSample_ ? E_FAIL : S_OK;
}

IPin* TestCountingSink::InputPinInterface() const { return InputPin(); }

std::vector<RenderedSample> TestCountingSink::Samples() {
  std::lock_guard lock(mutex_);
  return samples_;
}

}  // namespace vidorra::test
