// The crossbar page (CLSID_CrossbarPropertyPage) of an IAMCrossbar: one row per output pin,
// named after its connector, with a drop-down list (cboxOutput0, cboxOutput1, ...) of the
// inputs that can feed it (CanRoute) showing the one that does (get_IsRoutedTo), and the check
// box "Lier les pins associées" (cbLinkRelated, checked at first): while it is checked,
// choosing an input for an output also chooses the input's related pin (its sound, for a video
// input) for the output's related pin. Apply routes every output whose choice changed and then
// shows the routes the crossbar reports; a route the crossbar refuses leaves its error on the
// page.
//
// Thread: the user-interface thread (CBasePropertyPage).
#pragma once

#include <BasePropertyPage.h>
#include <strmif.h>

#include <vector>

class QCheckBox;
class QComboBox;

namespace vidorra::filters {

class CCrossbarPage : public CBasePropertyPage {
 public:
  CCrossbarPage();

 protected:
  HRESULT OnConnect(std::span<IUnknown* const> objects) override;
  void OnDisconnect() override;
  HRESULT OnActivate(QWidget& content) override;
  void OnDeactivate() override;
  HRESULT OnApply() override;

 private:
  struct Pin {
    long related = -1;
    QString name;
  };
  struct Output {
    Pin pin;
    long routed = -1;  // what the crossbar reports
    QComboBox* box = nullptr;
  };

  HRESULT ReadPins(BOOL isInput, long count, std::vector<Pin>* pins) const;
  void Chosen(size_t output);
  void ShowRoute(Output& output, long input);
  static long ChoiceOf(const Output& output);
  bool AnyChanged() const;

  ComPtr<IAMCrossbar> crossbar_;
  std::vector<Pin> inputs_;
  std::vector<Output> outputs_;
  QCheckBox* linkRelated_ = nullptr;
};

}  // namespace vidorra::filters
