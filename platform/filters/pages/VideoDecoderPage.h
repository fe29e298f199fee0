// The analogue video decoder page (CLSID_AnalogVideoDecoderPropertyPage) of an
// IAMAnalogVideoDecoder: "Standard vidéo" (cboxStandard, the standards the decoder takes,
// opened on the one it decodes), and what the decoder reports: the lines of a picture
// (labLines) and whether it is locked to them (labLocked, "Oui" or "Non"), read again after
// Apply. Apply sets the chosen standard; one the decoder refuses leaves its error on the page.
//
// Thread: the user-interface thread (CBasePropertyPage).
#pragma once

#include <BasePropertyPage.h>
#include <strmif.h>

class QComboBox;
class QLabel;

namespace vidorra::filters {

class CVideoDecoderPage : public CBasePropertyPage {
 public:
  CVideoDecoderPage();

 protected:
  HRESULT OnConnect(std::span<IUnknown* const> objects) override;
  void OnDisconnect() override;
  HRESULT OnActivate(QWidget& content) override;
  void OnDeactivate() override;
  HRESULT OnApply() override;

 private:
  void ShowDecoder();

  ComPtr<IAMAnalogVideoDecoder> decoder_;
  long applied_ = 0;
  QComboBox* standard_ = nullptr;
  QLabel* lines_ = nullptr;
  QLabel* locked_ = nullptr;
};

}  // namespace vidorra::filters
