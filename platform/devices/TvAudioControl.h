// CTvAudioControl: IAMTVAudio over a TvAudioBackend, for every filter with TV sound (the TV
// audio filter of a capture card, an audio capture device with a TV sound decoder). The filter
// derives from it and answers IID_IAMTVAudio with it; its IUnknown is the filter's.
//
// Threads: any.
#pragma once

#include <strmif.h>

#include "DeviceBackend.h"
#include "TunerNotifications.h"

namespace vidorra::devices {

class CTvAudioControl : public IAMTVAudio {
 public:
  explicit CTvAudioControl(TvAudioBackend* backend) : tvAudio_(backend) {}
  virtual ~CTvAudioControl() = default;

  STDMETHODIMP GetHardwareSupportedTVAudioModes(long* plModes) override;
  STDMETHODIMP GetAvailableTVAudioModes(long* plModes) override;
  STDMETHODIMP get_TVAudioMode(long* plMode) override;
  // E_INVALIDARG for a mode the hardware lacks; callbacks hear AMTUNER_EVENT_CHANGED.
  STDMETHODIMP put_TVAudioMode(long lMode) override;
  STDMETHODIMP RegisterNotificationCallBack(IAMTunerNotification* pNotify, long lEvents) override;
  STDMETHODIMP UnRegisterNotificationCallBack(IAMTunerNotification* pNotify) override;

 private:
  TvAudioBackend* const tvAudio_;
  TunerNotifications notifications_;
};

}  // namespace vidorra::devices
