// CTvTunerFilter; see TvTunerFilter.h.
#include "TvTunerFilter.h"

#include "PropertyPages.h"

namespace vidorra::devices {

namespace {
constexpr long kInputConnections = 1;
}  // namespace

CTvTunerFilter::CTvTunerFilter(std::wstring name, std::unique_ptr<TunerBackend> backend)
    : CFrontEndFilter(std::move(name), CLSID_VidorraTvTuner, backend->Pins()),
      backend_(std::move(backend)) {}

HRESULT CTvTunerFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAMTVTuner || riid == IID_IAMTuner) {
    return GetInterface(static_cast<IAMTVTuner*>(this), ppv);
  }
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  }
  return CFrontEndFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CTvTunerFilter::Changed(HRESULT hr) {
  if (SUCCEEDED(hr)) notifications_.Notify(AMTUNER_EVENT_CHANGED);
  return hr;
}

STDMETHODIMP CTvTunerFilter::put_Channel(long lChannel, long, long) {
  return Changed(backend_->SetChannel(lChannel));
}

STDMETHODIMP CTvTunerFilter::get_Channel(long* plChannel, long* plVideoSubChannel,
                                         long* plAudioSubChannel) {
  if (!plChannel || !plVideoSubChannel || !plAudioSubChannel) return E_POINTER;
  *plChannel = backend_->State().channel;
  *plVideoSubChannel = AMTUNER_SUBCHAN_DEFAULT;
  *plAudioSubChannel = AMTUNER_SUBCHAN_DEFAULT;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::ChannelMinMax(long* lChannelMin, long* lChannelMax) {
  if (!lChannelMin || !lChannelMax) return E_POINTER;
  backend_->ChannelRange(lChannelMin, lChannelMax);
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::put_CountryCode(long lCountryCode) {
  return Changed(backend_->SetCountry(lCountryCode));
}

STDMETHODIMP CTvTunerFilter::get_CountryCode(long* plCountryCode) {
  if (!plCountryCode) return E_POINTER;
  *plCountryCode = backend_->State().countryCode;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::put_TuningSpace(long lTuningSpace) {
  backend_->SetTuningSpace(lTuningSpace);
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::get_TuningSpace(long* plTuningSpace) {
  if (!plTuningSpace) return E_POINTER;
  *plTuningSpace = backend_->State().tuningSpace;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::Logon(HANDLE) { return S_OK; }

STDMETHODIMP CTvTunerFilter::Logout() { return S_OK; }

STDMETHODIMP CTvTunerFilter::SignalPresent(long* plSignalStrength) {
  if (!plSignalStrength) return E_POINTER;
  *plSignalStrength = backend_->Signal(backend_->State().channel);
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::put_Mode(AMTunerModeType lMode) {
  return lMode == AMTUNER_MODE_TV ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CTvTunerFilter::get_Mode(AMTunerModeType* plMode) {
  if (!plMode) return E_POINTER;
  *plMode = AMTUNER_MODE_TV;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::GetAvailableModes(long* plModes) {
  if (!plModes) return E_POINTER;
  *plModes = AMTUNER_MODE_TV;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::RegisterNotificationCallBack(IAMTunerNotification* pNotify,
                                                          long lEvents) {
  return notifications_.Register(pNotify, lEvents);
}

STDMETHODIMP CTvTunerFilter::UnRegisterNotificationCallBack(IAMTunerNotification* pNotify) {
  return notifications_.Unregister(pNotify);
}

STDMETHODIMP CTvTunerFilter::get_AvailableTVFormats(long* lAnalogVideoStandard) {
  if (!lAnalogVideoStandard) return E_POINTER;
  *lAnalogVideoStandard = backend_->AvailableStandards();
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::get_TVFormat(long* plAnalogVideoStandard) {
  if (!plAnalogVideoStandard) return E_POINTER;
  *plAnalogVideoStandard = backend_->Standard();
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::AutoTune(long lChannel, long* plFoundSignal) {
  if (!plFoundSignal) return E_POINTER;
  const HRESULT hr = Changed(backend_->SetChannel(lChannel));
  if (FAILED(hr)) return hr;
  *plFoundSignal = backend_->Signal(lChannel) == AMTUNER_SIGNALPRESENT ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::StoreAutoTune() { return S_OK; }

STDMETHODIMP CTvTunerFilter::get_NumInputConnections(long* plNumInputConnections) {
  if (!plNumInputConnections) return E_POINTER;
  *plNumInputConnections = kInputConnections;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::put_InputType(long lIndex, TunerInputType InputType) {
  if (lIndex < 0 || lIndex >= kInputConnections) return E_INVALIDARG;
  return Changed(backend_->SetInputType(InputType));
}

STDMETHODIMP CTvTunerFilter::get_InputType(long lIndex, TunerInputType* pInputType) {
  if (!pInputType) return E_POINTER;
  if (lIndex < 0 || lIndex >= kInputConnections) return E_INVALIDARG;
  *pInputType = backend_->State().inputType;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::put_ConnectInput(long lIndex) {
  return lIndex >= 0 && lIndex < kInputConnections ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CTvTunerFilter::get_ConnectInput(long* plIndex) {
  if (!plIndex) return E_POINTER;
  *plIndex = 0;
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::get_VideoFrequency(long* lFreq) {
  if (!lFreq) return E_POINTER;
  *lFreq = backend_->VideoFrequency();
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::get_AudioFrequency(long* lFreq) {
  if (!lFreq) return E_POINTER;
  *lFreq = backend_->AudioFrequency();
  return S_OK;
}

STDMETHODIMP CTvTunerFilter::GetPages(CAUUID* pPages) {
  return ListPages(pPages, {&CLSID_TVTunerPropertyPage});
}

}  // namespace vidorra::devices
