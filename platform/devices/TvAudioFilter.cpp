// CTvAudioFilter; see TvAudioFilter.h.
#include "TvAudioFilter.h"

#include "PropertyPages.h"

namespace vidorra::devices {

CTvAudioFilter::CTvAudioFilter(std::wstring name, const std::vector<AnalogPinDesc>& pins,
                               std::unique_ptr<TvAudioBackend> backend)
    : CFrontEndFilter(std::move(name), CLSID_VidorraTvAudio, pins),
      CTvAudioControl(backend.get()),
      backend_(std::move(backend)) {}

HRESULT CTvAudioFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAMTVAudio) return GetInterface(static_cast<IAMTVAudio*>(this), ppv);
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  }
  return CFrontEndFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CTvAudioFilter::GetPages(CAUUID* pPages) {
  return ListPages(pPages, {&CLSID_TVAudioPropertyPage});
}

}  // namespace vidorra::devices
