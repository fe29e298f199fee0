// "Default DirectSound Device" (CLSID_DSoundRender, category "Audio Renderers"): plays PCM
// through the sound server (PulseAudioOutput) with IBasicAudio volume in hundredths of a
// decibel (-10000 silence, 0 full level).
//
// The base renderer presents each sample at its time on the graph clock; the server's buffer
// then paces the stream at the sound card's rate. The renderer never waits for the server much
// past a sample's end (its time on the clock, or its duration when untimed): sound the server
// has no room for by then is dropped (LateBytes), so a late or stalled server does not hold
// up the graph. Without a sound server the renderer runs
// silently: timed samples are consumed on the clock as usual, untimed ones after their
// duration, so graphs still run on machines without sound.
//
// Threads: DoRenderSample on the upstream streaming thread; state changes and IBasicAudio on
// the application's. outputMutex_ keeps Close from running while a write is in progress
// (stopping first interrupts the write).
#pragma once

#include <DispatchWithoutTypeInfo.h>
#include <control.h>
#include <streams.h>

#include <condition_variable>
#include <mutex>

#include "PulseAudioOutput.h"

namespace vidorra::filters {

class CDSoundRender : public CBaseRenderer, public DispatchWithoutTypeInfo<IBasicAudio> {
 public:
  CDSoundRender();
  ~CDSoundRender() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- IBasicAudio ----
  STDMETHODIMP put_Volume(long lVolume) override;
  STDMETHODIMP get_Volume(long* plVolume) override;
  STDMETHODIMP put_Balance(long lBalance) override;
  STDMETHODIMP get_Balance(long* plBalance) override;

  // ---- IMediaFilter ----
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;

  // ---- Renderer hooks ----
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  HRESULT OnStartStreaming() override;
  HRESULT OnStopStreaming() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

  // For tests and diagnostics: whether samples go to a sound server, what the server reports
  // as the stream's volume, and how many samples were consumed since the last start.
  bool PlaysToServer();
  std::optional<uint32_t> ServerVolume();
  long RenderedSamples() const { return rendered_.load(); }
  uint64_t LateBytes() const { return output_.LateBytes(); }

 private:
  std::chrono::microseconds DurationOf(long bytes) const;
  // Until when a write of the sample may wait for room in the server.
  PulseAudioOutput::Deadline WriteDeadline(IMediaSample* sample, long bytes) const;
  // Waits for the duration of an untimed sample when there is no server; false when stopped.
  bool WaitSilently(long bytes);
  void InterruptSilentWait(bool interrupt);

  PulseAudioOutput output_;
  WAVEFORMATEX format_{};
  std::mutex outputMutex_;  // held by writes and by Open/Close
  bool outputOpen_ = false;
  std::atomic<long> rendered_{0};

  std::mutex waitMutex_;
  std::condition_variable waitChanged_;
  bool interrupted_ = false;
};

}  // namespace vidorra::filters
