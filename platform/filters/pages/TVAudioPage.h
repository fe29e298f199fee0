// The TV sound page (CLSID_TVAudioPropertyPage) of an IAMTVAudio: "Son" (cboxSound: "Mono",
// "Stéréo") and "Langue" (cboxLanguage: "Langue A", "Langue B", "Langue C"), each listing the
// modes the broadcast offers now (GetAvailableTVAudioModes) and shown only when it lists some,
// opened on the current mode (get_TVAudioMode). Apply sets the chosen sound and language as one
// mode; a mode the tuner refuses leaves its error on the page.
//
// Thread: the user-interface thread (CBasePropertyPage).
#pragma once

#include <BasePropertyPage.h>
#include <strmif.h>

#include <array>

class QComboBox;

namespace vidorra::filters {

class CTVAudioPage : public CBasePropertyPage {
 public:
  CTVAudioPage();

 protected:
  HRESULT OnConnect(std::span<IUnknown* const> objects) override;
  void OnDisconnect() override;
  HRESULT OnActivate(QWidget& content) override;
  void OnDeactivate() override;
  HRESULT OnApply() override;

 private:
  long Chosen() const;

  ComPtr<IAMTVAudio> audio_;
  long applied_ = 0;
  std::array<QComboBox*, 2> boxes_{};  // sound, language; null when not offered
};

}  // namespace vidorra::filters
