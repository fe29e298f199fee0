// The AVI Mux page (CLSID_AviMuxPropertyPage) of a multiplexer's IConfigInterleaving and
// IConfigAviMux (either may be missing; its part of the page is then left out).
//
// "Entrelacement": "Mode" (cboxInterleaveMode), "Intervalle" (spinInterleave) and
// "Préchargement" (spinPreroll), in milliseconds. "Fichier": "Index compatible (idx1) pour les
// anciens lecteurs" (cbCompatibilityIndex) and "Flux maître" (cboxMasterStream: "Aucun", then
// the multiplexer's input pins by name when it is a filter, else numbered streams). Apply sets
// what changed; a setting the multiplexer refuses (a mode it cannot do, the index while it
// records) leaves its error on the page, and the other settings are made all the same.
//
// Thread: the user-interface thread (CBasePropertyPage).
#pragma once

#include <BasePropertyPage.h>
#include <strmif.h>

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace vidorra::filters {

class CAviMuxPage : public CBasePropertyPage {
 public:
  CAviMuxPage();

 protected:
  HRESULT OnConnect(std::span<IUnknown* const> objects) override;
  void OnDisconnect() override;
  HRESULT OnActivate(QWidget& content) override;
  void OnDeactivate() override;
  HRESULT OnApply() override;

 private:
  struct Settings {
    InterleavingMode mode = INTERLEAVE_CAPTURE;
    int interleaveMs = 0;
    int prerollMs = 0;
    bool compatibilityIndex = false;
    LONG masterStream = -1;
    bool operator==(const Settings&) const = default;
  };

  void BuildInterleaving(QWidget& content);
  void BuildFile(QWidget& content);
  Settings Chosen() const;
  void Edited();

  ComPtr<IConfigInterleaving> interleaving_;
  ComPtr<IConfigAviMux> aviMux_;
  ComPtr<IBaseFilter> filter_;
  Settings applied_;
  REFERENCE_TIME interleave_ = 0;  // as the multiplexer holds them, to keep what is not changed
  REFERENCE_TIME preroll_ = 0;
  QComboBox* mode_ = nullptr;
  QSpinBox* interleaveMs_ = nullptr;
  QSpinBox* prerollMs_ = nullptr;
  QCheckBox* compatibilityIndex_ = nullptr;
  QComboBox* masterStream_ = nullptr;
};

}  // namespace vidorra::filters
