// CCapturePin: an output pin of a capture filter that carries samples: the capture, preview
// and sound pins. It answers
//   - IKsPropertySet with its pin category (capture or preview),
//   - IAMStreamConfig over its filter's device format (one format for all pins of a filter,
//     see CLiveSource), with VIDEO_STREAM_CONFIG_CAPS or AUDIO_STREAM_CONFIG_CAPS,
//   - ISpecifyPropertyPages with the stream format page,
//   - IAMDroppedFrames when it counts frames (the capture pins): frames delivered, frames
//     dropped (the device lost them, or no buffer was free because downstream held them all)
//     with their numbers, and the average frame size.
//
// Delivery is never held up by downstream for long: TryGetBuffer does not wait for a buffer.
//
// Threads: IAMStreamConfig and the pin's connection on the program's thread under the filter's
// lock; TryGetBuffer, the counting and Deliver on the streaming thread; the counters are read
// from any thread.
#pragma once

#include <streams.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace vidorra::devices {

class CLiveSource;

class CCapturePin : public CBaseOutputPin,
                    public IAMStreamConfig,
                    public ISpecifyPropertyPages,
                    public IAMDroppedFrames {
 public:
  CCapturePin(CLiveSource* filter, std::wstring name, const GUID& category, bool countsFrames,
              long buffers);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return CBaseOutputPin::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CBaseOutputPin::Release(); }
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // ---- IAMStreamConfig ----
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
  STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override;
  STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;

  // ---- ISpecifyPropertyPages ----
  STDMETHODIMP GetPages(CAUUID* pPages) override;

  // ---- IAMDroppedFrames ----
  STDMETHODIMP GetNumDropped(long* plDropped) override;
  STDMETHODIMP GetNumNotDropped(long* plNotDropped) override;
  STDMETHODIMP GetDroppedInfo(long lSize, long* plArray, long* plNumCopied) override;
  STDMETHODIMP GetAverageFrameSize(long* plAverageSize) override;

  // ---- Streaming thread ----
  // A free buffer of the pin's allocator, or null at once when downstream holds them all.
  ComPtr<IMediaSample> TryGetBuffer();
  void CountDelivered(size_t bytes);
  void CountDropped(uint64_t frameNumber);
  // A new stream starts: counters back to zero.
  void ResetCounts();

 private:
  CLiveSource* const source_;
  const bool countsFrames_;
  const long buffers_;

  std::atomic<long> delivered_{0};
  std::atomic<long> dropped_{0};
  std::atomic<long long> deliveredBytes_{0};
  std::mutex droppedMutex_;
  std::vector<long> droppedNumbers_;  // the first kKeptDropped ones, in order
};

}  // namespace vidorra::devices
