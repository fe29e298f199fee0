// The shape shared by the picture controls page and the camera controls page: one row per
// property the device has (GetRange succeeds), with a slider over the property's range and
// step, the value beside it and, when the device can set the property itself, an "Auto" check
// box; a "Défaut" button puts every slider back to the device's default. Rows open on the
// device's current values (Get). Apply sets every property whose row changed, in manual mode
// or in automatic mode as the check box says; a property the device refuses leaves its error
// on the page, the others are set all the same.
//
// Object names, for a property whose key is "Brightness": sliderBrightness, labBrightness (the
// value), cbAutoBrightness; the button is btnDefault.
//
// Thread: the user-interface thread (CBasePropertyPage).
#pragma once

#include <BasePropertyPage.h>
#include <strmif.h>

#include <vector>

class QCheckBox;
class QLabel;
class QSlider;

namespace vidorra::filters {

struct ControlProperty {
  long id;
  const char* key;       // object names of the row's controls
  const char16_t* name;  // the row's label
};

class CControlSlidersPage : public CBasePropertyPage {
 protected:
  // emptyText: what the page says when the device has none of the properties.
  CControlSlidersPage(std::wstring title, std::span<const ControlProperty> properties,
                      const char16_t* emptyText);

  // The device's interface, which the subclass found in OnConnect.
  virtual HRESULT GetRange(long property, long* min, long* max, long* step, long* byDefault,
                           long* caps) = 0;
  virtual HRESULT Get(long property, long* value, long* flags) = 0;
  virtual HRESULT Set(long property, long value, long flags) = 0;

  HRESULT OnActivate(QWidget& content) override;
  void OnDeactivate() override;
  HRESULT OnApply() override;

 private:
  struct Row {
    const ControlProperty* property;
    long min, max, step, byDefault;
    long value;      // what the device holds
    bool automatic;  // likewise
    QSlider* slider;
    QLabel* valueLabel;
    QCheckBox* autoBox;  // null when the device cannot set the property itself
  };

  bool Changed(const Row& row) const;
  bool AnyChanged() const;
  void Moved(Row& row, int value);

  std::span<const ControlProperty> properties_;
  const char16_t* emptyText_;
  std::vector<Row> rows_;
};

// The page over one of the two control interfaces, whose methods are alike.
template <class Control>
class CControlSlidersPageFor : public CControlSlidersPage {
 protected:
  using CControlSlidersPage::CControlSlidersPage;

  HRESULT OnConnect(std::span<IUnknown* const> objects) override {
    control_ = FirstObjectWith<Control>(objects);
    return control_ ? S_OK : E_NOINTERFACE;
  }
  void OnDisconnect() override { control_ = nullptr; }
  HRESULT GetRange(long property, long* min, long* max, long* step, long* byDefault,
                   long* caps) override {
    return control_->GetRange(property, min, max, step, byDefault, caps);
  }
  HRESULT Get(long property, long* value, long* flags) override {
    return control_->Get(property, value, flags);
  }
  HRESULT Set(long property, long value, long flags) override {
    return control_->Set(property, value, flags);
  }

 private:
  ComPtr<Control> control_;
};

}  // namespace vidorra::filters
