// The controls of a V4L2 node (VIDIOC_QUERYCTRL, G_CTRL, S_CTRL; QUERY_EXT_CTRL, G_EXT_CTRLS and
// S_EXT_CTRLS for 64-bit and string controls): every control the driver has but compound ones,
// for the page that lists them all (IDeviceControls), and the ones that have a meaning in
// IAMVideoProcAmp and IAMCameraControl, mapped onto their properties:
//
//   VideoProcAmp  Brightness Contrast Hue(auto HUE_AUTO) Saturation Sharpness Gamma
//                 WhiteBalance (WHITE_BALANCE_TEMPERATURE, auto AUTO_WHITE_BALANCE)
//                 BacklightCompensation Gain (auto AUTOGAIN)
//   CameraControl Exposure (EXPOSURE_ABSOLUTE in 100 µs units shown as log2 seconds, auto
//                 EXPOSURE_AUTO) Focus (FOCUS_ABSOLUTE, auto FOCUS_AUTO) Zoom (ZOOM_ABSOLUTE)
//                 Pan and Tilt (arc seconds shown as degrees) Iris (IRIS_ABSOLUTE)
//
// Threads: any; the driver serialises the calls.
#pragma once

#include <strmif.h>

#include <linux/videodev2.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DeviceBackend.h"
#include "V4l2Calls.h"

namespace vidorra::devices::v4l2 {

enum class ControlKind { kInteger, kInteger64, kString, kBoolean, kMenu, kButton, kClass };

// For a string, minimum and maximum bound its length in bytes and step is the length's step.
struct DeviceControl {
  uint32_t id = 0;
  ControlKind kind = ControlKind::kInteger;
  std::wstring name;
  int64_t minimum = 0;
  int64_t maximum = 0;
  int64_t step = 1;
  int64_t defaultValue = 0;
  bool readOnly = false;
  bool inactive = false;                             // depends on another control (an auto mode)
  std::vector<std::pair<long, std::wstring>> menu;  // the items of a menu: value, name
};

// Every control of a device, for the page that lists them all.
// {8E3A5F20-1D4C-4B7A-9E61-5C2D7A0B3110}
DEFINE_GUID(IID_IDeviceControls, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D, 0x7A, 0x0B,
            0x31, 0x10);
struct IDeviceControls : IUnknown {
  VIDORRA_INTERFACE(IID_IDeviceControls, IUnknown)
  // The controls in the driver's order (classes as headings), asked afresh each time.
  virtual std::vector<DeviceControl> Controls() = 0;
  STDMETHOD(GetControl)(ULONG id, int64_t* value) PURE;
  // E_INVALIDARG out of range, E_ACCESSDENIED for a read-only control, the driver's refusal
  // otherwise.
  STDMETHOD(SetControl)(ULONG id, int64_t value) PURE;
  // A string control's text (UTF-8); SetText refuses a length out of range with E_INVALIDARG.
  virtual HRESULT GetText(ULONG id, std::string* text) = 0;
  virtual HRESULT SetText(ULONG id, const std::string& text) = 0;
};

// The page listing them.
// {8E3A5F20-1D4C-4B7A-9E61-5C2D7A0B3111}
DEFINE_GUID(CLSID_DeviceControlsPropertyPage, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D,
            0x7A, 0x0B, 0x31, 0x11);

enum class ControlFamily { kVideoProcAmp, kCameraControl };

class V4l2ControlSet {
 public:
  V4l2ControlSet(std::shared_ptr<V4l2Calls> calls, int fd);
  // The node was opened again.
  void SetFd(int fd) { fd_ = fd; }

  std::vector<DeviceControl> Controls();
  // Any integer control's value (32 or 64 bits, boolean, menu).
  HRESULT Get(uint32_t id, int64_t* value);
  HRESULT Set(uint32_t id, int64_t value);
  HRESULT GetText(uint32_t id, std::string* text);
  HRESULT SetText(uint32_t id, const std::string& text);

  // The mapped properties the device has, with their ranges.
  std::vector<ControlRange> Ranges(ControlFamily family);
  HRESULT GetMapped(ControlFamily family, long property, long* value, long* flags);
  HRESULT SetMapped(ControlFamily family, long property, long value, long flags);

  // How one property maps onto the device's controls (V4l2Controls.cpp).
  struct Mapping;

 private:
  const Mapping* Find(ControlFamily family, long property) const;
  std::optional<DeviceControl> Query(uint32_t id);
  // One control through the extended calls (G_EXT_CTRLS or S_EXT_CTRLS).
  HRESULT Extended(unsigned long request, v4l2_ext_control* control);
  bool AutoOn(const Mapping& mapping);

  const std::shared_ptr<V4l2Calls> calls_;
  std::atomic<int> fd_;
};

}  // namespace vidorra::devices::v4l2
