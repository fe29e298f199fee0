// The page of all a device's controls (CLSID_DeviceControlsPropertyPage) over IDeviceControls:
// one row per control in the driver's order, under the headings of the driver's control
// classes: a spin box over an integer's range and step, a line for a 64-bit integer (its range
// checked when applied) or for a string (no longer than its most), a check box for a boolean,
// a list of a menu's items, a button for an action (it acts at once). Read-only controls are shown
// disabled. Rows open on the device's current values; Apply sets every row that changed, and
// a control the device refuses leaves its error on the page while the others are set.
//
// Object names: ctrlXXXXXXXX for a control's widget (its id in 8 hex digits, upper case).
//
// Thread: the user-interface thread (CBasePropertyPage).
#pragma once

#include <BasePropertyPage.h>

#include <optional>
#include <string>
#include <vector>

#include "V4l2Controls.h"

class QWidget;

namespace vidorra::devices::v4l2 {

class CDeviceControlsPage : public CBasePropertyPage {
 public:
  CDeviceControlsPage();

 protected:
  HRESULT OnConnect(std::span<IUnknown* const> objects) override;
  void OnDisconnect() override;
  HRESULT OnActivate(QWidget& content) override;
  void OnDeactivate() override;
  HRESULT OnApply() override;

 private:
  struct Row {
    DeviceControl control;
    int64_t value;     // what the device holds
    std::string text;  // what a string control holds
    QWidget* widget;
  };

  // The row's value as shown; nullopt when a 64-bit integer's line is not a number.
  static std::optional<int64_t> ValueOf(const Row& row);
  static bool Changed(const Row& row);
  HRESULT Apply(Row& row);
  bool AnyChanged() const;
  void Press(const Row& row);

  ComPtr<IDeviceControls> controls_;
  std::vector<Row> rows_;
};

}  // namespace vidorra::devices::v4l2
