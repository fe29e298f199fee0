// CTvAudioControl; see TvAudioControl.h.
#include "TvAudioControl.h"

namespace vidorra::devices {

STDMETHODIMP CTvAudioControl::GetHardwareSupportedTVAudioModes(long* plModes) {
  if (!plModes) return E_POINTER;
  *plModes = tvAudio_->SupportedModes();
  return S_OK;
}

STDMETHODIMP CTvAudioControl::GetAvailableTVAudioModes(long* plModes) {
  if (!plModes) return E_POINTER;
  *plModes = tvAudio_->AvailableModes();
  return S_OK;
}

STDMETHODIMP CTvAudioControl::get_TVAudioMode(long* plMode) {
  if (!plMode) return E_POINTER;
  *plMode = tvAudio_->Mode();
  return S_OK;
}

STDMETHODIMP CTvAudioControl::put_TVAudioMode(long lMode) {
  const HRESULT hr = tvAudio_->SetMode(lMode);
  if (SUCCEEDED(hr)) notifications_.Notify(AMTUNER_EVENT_CHANGED);
  return hr;
}

STDMETHODIMP CTvAudioControl::RegisterNotificationCallBack(IAMTunerNotification* pNotify,
                                                           long lEvents) {
  return notifications_.Register(pNotify, lEvents);
}

STDMETHODIMP CTvAudioControl::UnRegisterNotificationCallBack(IAMTunerNotification* pNotify) {
  return notifications_.Unregister(pNotify);
}

}  // namespace vidorra::devices
