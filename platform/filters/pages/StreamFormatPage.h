// The stream format page (CLSID_StreamFormatPropertyPage) of a capture pin's IAMStreamConfig.
//
// Video: "Format" (subtype), "Taille de l'image" and "Images par seconde"; audio: "Fréquence",
// "Résolution" and "Canaux" (drop-down lists cboxSubtype, cboxSize, cboxRate or cboxSampleRate,
// cboxBits, cboxChannels), each offering what the pin can produce with the choices above it
// (StreamFormatChoices). The lists open on the pin's current format (GetFormat; the first one
// offered when the pin has none). Apply asks the pin for the chosen format with SetFormat; a
// pin that refuses it (a connected pin that cannot reconnect, for instance) leaves its error on
// the page.
//
// Thread: the user-interface thread (CBasePropertyPage).
#pragma once

#include <BasePropertyPage.h>

#include <array>

#include "StreamFormatChoices.h"

class QComboBox;

namespace vidorra::filters {

class CStreamFormatPage : public CBasePropertyPage {
 public:
  CStreamFormatPage();

 protected:
  HRESULT OnConnect(std::span<IUnknown* const> objects) override;
  void OnDisconnect() override;
  HRESULT OnActivate(QWidget& content) override;
  void OnDeactivate() override;
  HRESULT OnApply() override;

 private:
  using Keys = StreamFormatChoices::Keys;
  // Refills the lists below `level` for the choices above them, keeping what they showed when
  // it is still offered.
  void Refill(int fromLevel);
  void Chosen(int level);

  ComPtr<IAMStreamConfig> config_;
  StreamFormatChoices choices_;
  std::array<QComboBox*, StreamFormatChoices::kLevels> boxes_{};
  Keys chosen_{};
  Keys applied_{};
};

}  // namespace vidorra::filters
