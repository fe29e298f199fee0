// The TV tuner page (CLSID_TVTunerPropertyPage) of an IAMTVTuner: "Canal" (spinChannel, within
// ChannelMinMax), "Pays" (spinCountry, the country code), "Entrée" (cboxInput, only when the
// tuner has several input connections) and "Type d'entrée" (cboxInputType, "Câble" or
// "Antenne", for the chosen input); below them what the tuner reports: the video standard it
// receives among those it offers (labStandard), the signal (labSignal: "Présent", "Absent",
// "Inconnu") and the video frequency (labFrequency), read again every half second and after
// Apply. Apply sets the country, the input, the input types and then the channel, in that
// order (a channel number means a frequency in a country's table); a value the tuner refuses
// leaves its error on the page.
//
// The tuner reports its standard but does not take one: the standard is set on the capture
// device's video decoder, not here.
//
// Thread: the user-interface thread (CBasePropertyPage).
#pragma once

#include <BasePropertyPage.h>
#include <strmif.h>

#include <vector>

class QComboBox;
class QLabel;
class QSpinBox;

namespace vidorra::filters {

class CTVTunerPage : public CBasePropertyPage {
 public:
  CTVTunerPage();

 protected:
  HRESULT OnConnect(std::span<IUnknown* const> objects) override;
  void OnDisconnect() override;
  HRESULT OnActivate(QWidget& content) override;
  void OnDeactivate() override;
  HRESULT OnApply() override;

 private:
  struct Settings {
    long channel = 0;
    long country = 0;
    long input = 0;
    std::vector<TunerInputType> inputTypes;  // per input connection
    bool operator==(const Settings&) const = default;
  };

  Settings Read() const;
  // The controls, empty; the input list only for a tuner with several inputs.
  void Build(QWidget& content);
  Settings Chosen() const;
  void ShowSettings(const Settings& settings);
  void ShowReception();
  void Edited();

  ComPtr<IAMTVTuner> tuner_;
  Settings applied_;
  std::vector<TunerInputType> chosenTypes_;
  QSpinBox* channel_ = nullptr;
  QSpinBox* country_ = nullptr;
  QComboBox* input_ = nullptr;
  QComboBox* inputType_ = nullptr;
  QLabel* standard_ = nullptr;
  QLabel* signal_ = nullptr;
  QLabel* frequency_ = nullptr;
};

}  // namespace vidorra::filters
