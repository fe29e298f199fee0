// CAudioCaptureFilter: the filter of a sound capture device, whatever the device (an
// AudioBackend): one output pin "Capture" (PIN_CATEGORY_CAPTURE, PCM) that delivers the
// device's sound buffers stamped with their capture times on the graph's clock (media times:
// sample positions). A buffer that finds no free sample is dropped and counted.
//
// The filter and its pin answer IAMStreamConfig (the device's sound formats) and
// ISpecifyPropertyPages (the stream format page); a device with a TV sound decoder answers
// IAMTVAudio too. It measures the levels of the sound it captures (IAudioLevels); metering on,
// it captures while the graph runs even with its pin unconnected.
//
// Threads: see CLiveSource.
#pragma once

#include <streams.h>
#include <vidorra_levels.h>

#include <atomic>
#include <memory>
#include <optional>

#include "CaptureFormats.h"
#include "CapturePin.h"
#include "DeviceBackend.h"
#include "LiveSource.h"
#include "SoundLevelMeter.h"
#include "TvAudioControl.h"

namespace vidorra::devices {

// {8E3A5F20-1D4C-4B7A-9E61-5C2D7A0B3102}
DEFINE_GUID(CLSID_VidorraAudioCapture, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D, 0x7A,
            0x0B, 0x31, 0x02);

class CAudioCaptureFilter : public CLiveSource,
                            public IAMStreamConfig,
                            public ISpecifyPropertyPages,
                            public IAudioLevels,
                            public CTvAudioControl {
 public:
  CAudioCaptureFilter(std::wstring friendlyName, std::wstring deviceName,
                      std::unique_ptr<AudioBackend> backend);
  ~CAudioCaptureFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }

  // ---- IAMStreamConfig (the pin's) ----
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override { return pin_.SetFormat(pmt); }
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override { return pin_.GetFormat(ppmt); }
  STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override {
    return pin_.GetNumberOfCapabilities(piCount, piSize);
  }
  STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override {
    return pin_.GetStreamCaps(iIndex, ppmt, pSCC);
  }

  // ---- ISpecifyPropertyPages ----
  STDMETHODIMP GetPages(CAUUID* pPages) override { return pin_.GetPages(pPages); }

  // ---- IAudioLevels ----
  STDMETHODIMP GetLevels(SOUND_LEVELS* levels) override { return levels_.Take(levels); }
  // From the next run on: the device runs with the graph also without a receiver, its sound
  // measured and dropped.
  STDMETHODIMP SetMetering(BOOL on) override;

 protected:
  std::vector<CCapturePin*> CapturePins() override { return {&pin_}; }
  void StreamStarting() override;
  HRESULT CaptureOne(StreamTiming& timing) override;
  bool RunsUnconnected() override { return metering_.load(); }

 private:
  // Streaming thread, no receiver: reads the buffer the device has ready and measures it.
  HRESULT MeasureUnconnected();

  AudioBackend* const device_;  // owned by CLiveSource
  CCapturePin pin_;
  // Streaming thread (StreamStarting resets them before the thread starts).
  std::optional<uint64_t> lastNumber_;
  bool discontinuity_ = true;
  std::optional<SoundMode> mode_;  // of the run, when 16-bit PCM (else nothing is measured)
  filters::SoundLevelMeter levels_;
  std::atomic<bool> metering_{false};
  std::vector<uint8_t> unconnected_;  // streaming thread: a buffer's room without a receiver
};

}  // namespace vidorra::devices
