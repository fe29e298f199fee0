// "Smart Tee" (CLSID_SmartTee): one input and two outputs, "Capture" and "Preview", in that
// pin order (input 0, capture 1, preview 2). The outputs offer no type until the input is
// connected, then the input's; they report no pin category (no IKsPropertySet): a capture
// graph builder knows them by the tee and their order. Paused, the tee answers VFW_S_CANT_CUE,
// as the live source it is put after does.
//
// The capture output gets every sample itself, on the upstream streaming thread. The preview
// output never holds up capture: each sample is copied into a sample of the preview's
// allocator taken without waiting; when none is free (the preview branch still holds them all)
// the preview drops the frame. The preview thread delivers the copies in order. Preview samples
// carry no time stamps, so the preview renderer shows them at once.
//
// Threads: the upstream streaming thread (Receive), the preview thread (owned by the preview
// pin: started when the filter leaves Stopped with the preview connected, interrupted and
// joined when it stops). previewMutex_ guards the queue of copies between them; the number of
// copies in flight is bounded by the preview allocator's buffers.
#pragma once

#include <streams.h>

#include <condition_variable>
#include <deque>
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

  // Upstream streaming thread: queues a copy of the sample for the preview thread when the
  // preview allocator has a free sample; otherwise the frame is dropped for the preview. True
  // when it was taken.
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

  std::thread thread_;
  mutable std::mutex previewMutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool endOfStreamPending_ = false;
  long dropped_ = 0;
  std::deque<ComPtr<IMediaSample>> queue_;
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
