// "Smart Tee" (CLSID_SmartTee): one input and two outputs, "Capture" and "Preview", in that
// pin order (input 0, capture 1, preview 2). The outputs offer no type until the input is
// connected, then the input's; they report no pin category (no IKsPropertySet): a capture
// graph builder knows them by the tee and their order. Paused, the tee answers VFW_S_CANT_CUE,
// as the live source it is put after does.
//
// The capture output gets every sample itself, on the upstream streaming thread. The preview
// output never holds up capture. A sample of the input's own allocator (which the input asks
// to hold kSharedPreview samples more than upstream needs) is lent to the preview as it is,
// read-only, while fewer than kSharedPreview are lent; any other sample (one passed through
// from further upstream) is copied into a sample of the preview's allocator taken without
// waiting. When none can be had (the preview branch still holds them all) the preview drops
// the frame. The preview thread delivers them in order. Preview samples carry no time stamps,
// so the preview renderer shows them at once; the preview output tells its receiver that they
// are read-only (an in-place filter there copies before it writes).
//
// Threads: the upstream streaming thread (Receive), the preview thread (owned by the preview
// pin: started when the filter leaves Stopped with the preview connected, interrupted and
// joined when it stops). previewMutex_ guards the queue of copies between them; the number of
// copies in flight is bounded by the preview allocator's buffers.
#pragma once

#include <streams.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace vidorra::filters {

class CSmartTee;

class CSmartTeeInputPin : public CBaseInputPin {
 public:
  explicit CSmartTeeInputPin(CSmartTee* tee);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  // Buffers enough for the preview's lent samples besides upstream's own needs.
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;

 private:
  CSmartTee* const tee_;
};

class CSmartTeeOutputPin : public CBaseOutputPin {
 public:
  CSmartTeeOutputPin(CSmartTee* tee, std::wstring name);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  // VFW_E_NOT_CONNECTED, and no enumerator, while "Input" is free.
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 protected:
  CSmartTee* const tee_;
};

// The preview output and its thread.
class CSmartTeePreviewPin : public CSmartTeeOutputPin {
 public:
  explicit CSmartTeePreviewPin(CSmartTee* tee);
  ~CSmartTeePreviewPin() override;
  HRESULT Active() override;
  HRESULT Inactive() override;
  bool SamplesReadOnly() const override { return true; }

  // Upstream streaming thread: queues the sample for the preview thread, lent or copied (see
  // above); otherwise the frame is dropped for the preview. True when it was taken.
  bool Offer(IMediaSample* sample);
  // Upstream streaming thread: end of stream reaches the preview after its queued frames.
  void OfferEndOfStream();
  // Drops the frames that have not been delivered yet (flush).
  void DropPending();
  // Frames dropped because the preview was busy (tests, diagnostics).
  long DroppedCount() const;

 private:
  void ThreadProc();
  void Stop();
  // The preview's sample for `sample`: lent, copied, or null (dropped).
  ComPtr<IMediaSample> PreviewSample(IMediaSample* sample);

  std::thread thread_;
  mutable std::mutex previewMutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool endOfStreamPending_ = false;
  long dropped_ = 0;
  std::deque<ComPtr<IMediaSample>> queue_;
  // Input samples lent to the preview and not yet given back (the lent samples count down).
  const std::shared_ptr<std::atomic<long>> lent_ = std::make_shared<std::atomic<long>>(0);
};

class CSmartTee : public CBaseFilter {
 public:
  CSmartTee();
  ~CSmartTee() override;

  int GetPinCount() override { return 3; }
  CBasePin* GetPin(int n) override;
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;

  CSmartTeeInputPin* InputPin() { return &input_; }
  CSmartTeeOutputPin* CapturePin() { return &capture_; }
  CSmartTeePreviewPin* PreviewPin() { return &preview_; }

 private:
  CSmartTeeInputPin input_;
  CSmartTeeOutputPin capture_;
  CSmartTeePreviewPin preview_;
};

}  // namespace vidorra::filters
