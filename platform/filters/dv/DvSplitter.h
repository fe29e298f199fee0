// "DV Splitter" (CLSID_DVSplitter): interleaved DV in; pin order input 0, video output 1
// ("DVVidOut0": MEDIATYPE_Video/dvsd, the whole frame unchanged), then one PCM output per
// stereo pair the stream carries ("AudOut00", "AudOut01"), created when the input connects
// from the DVINFO of its type.
//
// Each frame is checked before anything reads inside it: a malformed or truncated frame is
// dropped and counted (BadFrames). Sound is extracted from the DIF blocks (16-bit 48/44.1/32
// kHz, 12-bit 32 kHz, locked or unlocked, error samples muted); a frame whose sound format no
// longer matches the output's type loses its sound (counted), the picture goes on.
//
// Threads: Receive on the upstream streaming thread delivers on that thread; pins change only
// while stopped, under the filter lock.
#pragma once

#include <streams.h>

#include <atomic>
#include <memory>
#include <vector>

#include "DvAudio.h"
#include "DvFrame.h"

namespace vidorra::filters {

class CDvSplitter;

class CDvSplitterInputPin : public CBaseInputPin {
 public:
  explicit CDvSplitterInputPin(CDvSplitter* splitter);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

 private:
  CDvSplitter* const splitter_;
};

class CDvSplitterOutputPin : public CBaseOutputPin {
 public:
  CDvSplitterOutputPin(CDvSplitter* splitter, std::wstring name, CMediaType type, long bufferBytes);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  const CMediaType& OfferedType() const { return type_; }

 private:
  CMediaType type_;
  const long bufferBytes_;
};

class CDvSplitter : public CBaseFilter {
 public:
  CDvSplitter();
  ~CDvSplitter() override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;

  // Frames dropped as malformed, and frames whose sound was dropped.
  long BadFrames() const { return badFrames_.load(); }
  long SoundDropped() const { return soundDropped_.load(); }

 private:
  friend class CDvSplitterInputPin;
  void CreateOutputs(const CMediaType& input);
  // Streaming threads: the connected outputs. No lock: outputs change only while stopped, and
  // the filter lock must not be taken on a streaming thread.
  std::vector<CDvSplitterOutputPin*> ConnectedOutputs() const;
  HRESULT Split(IMediaSample* sample);
  HRESULT DeliverAudio(size_t pair, const std::vector<int16_t>& pcm, REFERENCE_TIME start,
                       int sampleRate, bool discontinuity);

  CDvSplitterInputPin input_;
  std::unique_ptr<CDvSplitterOutputPin> video_;
  std::vector<std::unique_ptr<CDvSplitterOutputPin>> audio_;
  dv::DvSystem system_ = dv::DvSystem::k625_50;
  int sampleRate_ = 48000;
  std::atomic<long> badFrames_{0};
  std::atomic<long> soundDropped_{0};
};

}  // namespace vidorra::filters
