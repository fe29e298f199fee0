// CTvAudioFilter: a capture card's TV audio decoder (IAMTVAudio): the sound from the tuner
// comes in on one wire and leaves on another towards the crossbar, in the chosen mode (mono,
// stereo, language A or B).
#pragma once

#include <streams.h>

#include <memory>

#include "FrontEndFilter.h"
#include "TvAudioControl.h"

namespace vidorra::devices {

class CTvAudioFilter : public CFrontEndFilter,
                       public CTvAudioControl,
                       public ISpecifyPropertyPages {
 public:
  CTvAudioFilter(std::wstring name, const std::vector<AnalogPinDesc>& pins,
                 std::unique_ptr<TvAudioBackend> backend);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP GetPages(CAUUID* pPages) override;

 private:
  const std::unique_ptr<TvAudioBackend> backend_;
};

}  // namespace vidorra::devices
