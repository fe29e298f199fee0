// CTvTunerFilter: a capture card's TV tuner (IAMTVTuner) over a TunerBackend: channel,
// country, antenna or cable input, the TV standards it receives, signal presence and carrier
// frequencies. Its output pins carry the tuned picture and sound on wires to the crossbar and
// the TV audio filter. Changes are told to the registered IAMTunerNotification callbacks.
//
// Threads: any; the backend guards the tuner's state.
#pragma once

#include <streams.h>

#include <memory>

#include "FrontEndFilter.h"
#include "TunerNotifications.h"

namespace vidorra::devices {

class CTvTunerFilter : public CFrontEndFilter, public IAMTVTuner, public ISpecifyPropertyPages {
 public:
  CTvTunerFilter(std::wstring name, std::unique_ptr<TunerBackend> backend);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- IAMTuner ----
  STDMETHODIMP put_Channel(long lChannel, long lVideoSubChannel, long lAudioSubChannel) override;
  STDMETHODIMP get_Channel(long* plChannel, long* plVideoSubChannel,
                           long* plAudioSubChannel) override;
  STDMETHODIMP ChannelMinMax(long* lChannelMin, long* lChannelMax) override;
  STDMETHODIMP put_CountryCode(long lCountryCode) override;
  STDMETHODIMP get_CountryCode(long* plCountryCode) override;
  STDMETHODIMP put_TuningSpace(long lTuningSpace) override;
  STDMETHODIMP get_TuningSpace(long* plTuningSpace) override;
  // The tuner is not shared between users: logging on and off always succeeds.
  STDMETHODIMP Logon(HANDLE hCurrentUser) override;
  STDMETHODIMP Logout() override;
  STDMETHODIMP SignalPresent(long* plSignalStrength) override;
  // Television only: other modes answer E_INVALIDARG.
  STDMETHODIMP put_Mode(AMTunerModeType lMode) override;
  STDMETHODIMP get_Mode(AMTunerModeType* plMode) override;
  STDMETHODIMP GetAvailableModes(long* plModes) override;
  STDMETHODIMP RegisterNotificationCallBack(IAMTunerNotification* pNotify, long lEvents) override;
  STDMETHODIMP UnRegisterNotificationCallBack(IAMTunerNotification* pNotify) override;

  // ---- IAMTVTuner ----
  STDMETHODIMP get_AvailableTVFormats(long* lAnalogVideoStandard) override;
  STDMETHODIMP get_TVFormat(long* plAnalogVideoStandard) override;
  // Tunes the channel and says whether a signal was found there.
  STDMETHODIMP AutoTune(long lChannel, long* plFoundSignal) override;
  // Fine tuning is exact on this tuner: there is nothing to store.
  STDMETHODIMP StoreAutoTune() override;
  // One input connection (index 0), antenna or cable.
  STDMETHODIMP get_NumInputConnections(long* plNumInputConnections) override;
  STDMETHODIMP put_InputType(long lIndex, TunerInputType InputType) override;
  STDMETHODIMP get_InputType(long lIndex, TunerInputType* pInputType) override;
  STDMETHODIMP put_ConnectInput(long lIndex) override;
  STDMETHODIMP get_ConnectInput(long* plIndex) override;
  STDMETHODIMP get_VideoFrequency(long* lFreq) override;
  STDMETHODIMP get_AudioFrequency(long* lFreq) override;

  // ---- ISpecifyPropertyPages ----
  STDMETHODIMP GetPages(CAUUID* pPages) override;

 private:
  HRESULT Changed(HRESULT hr);

  const std::unique_ptr<TunerBackend> backend_;
  TunerNotifications notifications_;
};

}  // namespace vidorra::devices
