// "DV Splitter" (CLSID_DVSplitter): interleaved DV in; pin order input 0, video output 1
// ("DVVidOut0": MEDIATYPE_Video/dvsd, the whole frame unchanged), then one PCM output per
// stereo pair the stream carries ("AudOut00", "AudOut01"), created when the input connects
// from the DVINFO of its type.
//
// The video output delivers the input sample itself (read-only to its receiver), as a tee
// does: the frame is not copied. Only a sample that carries a media type of its own (the
// interleaved type, which the video receiver must not see) is copied into a sample of the
// video output's allocator.
//
// Each frame's structure is checked before anything reads inside it: a frame without a header
// block or of the wrong size (or of another system than the stream's) cannot be read and is
// dropped and counted (BadFrames). A frame with damaged DIF blocks (a worn tape's dropouts) is
// passed on, its damage counted (DamagedFrames, DamagedBlocks): the decoder conceals the
// damaged picture blocks, and the samples of damaged audio blocks are muted. Sound is extracted
// from the DIF blocks (16-bit 48/44.1/32 kHz, 12-bit 32 kHz, locked or unlocked, error samples
// muted); a frame whose sound format no longer matches the output's type loses its sound
// (counted), the picture goes on.
//
// IAudioLevels: the levels of the first stereo pair, measured on the sound extracted for the
// sound outputs; with metering on, the sound is extracted for that alone when no sound output
// is connected (a preview that does not listen).
//
// Threads: Receive on the upstream streaming thread delivers the video on that thread; each
// sound output delivers from a queue of its own (CQueuedOutputPin), so that a sound receiver
// that blocks (a renderer waiting for its sound server) never holds up the picture, nor a live
// source behind the splitter. Pins change only while stopped, under the filter lock.
#pragma once

#include <streams.h>
#include <vidorra_levels.h>

#include <atomic>
#include <memory>
#include <span>
#include <vector>

#include "DvAudio.h"
#include "DvFrame.h"
#include "SoundLevelMeter.h"

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

class CDvSplitterOutputPin : public CQueuedOutputPin {
 public:
  CDvSplitterOutputPin(CDvSplitter* splitter, std::wstring name, CMediaType type, long bufferBytes);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // The receiver is told that samples are read-only: the video output passes on the input's.
  HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
  const CMediaType& OfferedType() const { return type_; }

 private:
  CMediaType type_;
  const long bufferBytes_;
};

class CDvSplitter : public CBaseFilter, public IAudioLevels {
 public:
  CDvSplitter();
  ~CDvSplitter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- IAudioLevels ----
  STDMETHODIMP GetLevels(SOUND_LEVELS* levels) override { return levels_.Take(levels); }
  STDMETHODIMP SetMetering(BOOL on) override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;

  // Frames dropped as unreadable; frames passed on with damaged blocks, and those blocks;
  // frames whose sound was dropped.
  long BadFrames() const { return badFrames_.load(); }
  long DamagedFrames() const { return damagedFrames_.load(); }
  long DamagedBlocks() const { return damagedBlocks_.load(); }
  long SoundDropped() const { return soundDropped_.load(); }
  // Frames copied for the video output (samples with a media type attached).
  long CopiedFrames() const { return copiedFrames_.load(); }

 private:
  friend class CDvSplitterInputPin;
  void CreateOutputs(const CMediaType& input);
  // Streaming threads: the connected outputs. No lock: outputs change only while stopped, and
  // the filter lock must not be taken on a streaming thread.
  std::vector<CDvSplitterOutputPin*> ConnectedOutputs() const;
  HRESULT Split(IMediaSample* sample);
  HRESULT DeliverVideo(IMediaSample* sample, std::span<const uint8_t> frame);
  HRESULT DeliverAudio(size_t pair, const std::vector<int16_t>& pcm, REFERENCE_TIME start,
                       int sampleRate, bool discontinuity);

  CDvSplitterInputPin input_;
  std::unique_ptr<CDvSplitterOutputPin> video_;
  std::vector<std::unique_ptr<CDvSplitterOutputPin>> audio_;
  dv::DvSystem system_ = dv::DvSystem::k625_50;
  int sampleRate_ = 48000;
  std::atomic<long> badFrames_{0};
  std::atomic<long> damagedFrames_{0};
  std::atomic<long> damagedBlocks_{0};
  std::atomic<long> soundDropped_{0};
  std::atomic<long> copiedFrames_{0};
  std::atomic<bool> metering_{false};
  SoundLevelMeter levels_;
};

}  // namespace vidorra::filters
