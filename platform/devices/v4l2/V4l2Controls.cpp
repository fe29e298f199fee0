// The controls of a V4L2 node; see V4l2Controls.h.
#include "V4l2Controls.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

namespace vidorra::devices::v4l2 {

namespace {

constexpr double kExposureUnit = 1e-4;  // EXPOSURE_ABSOLUTE counts 100 µs
constexpr long kArcSecondsPerDegree = 3600;

enum class Scale { kSame, kLog2Seconds, kDegrees };

std::wstring NameOf(const __u8* name, size_t size) {
  std::string text(reinterpret_cast<const char*>(name), size);
  text.resize(text.find('\0') == std::string::npos ? size : text.find('\0'));
  return Utf8ToWide(text);
}

long ToProperty(Scale scale, long value) {
  switch (scale) {
    case Scale::kSame:
      return value;
    case Scale::kLog2Seconds:
      return value <= 0 ? -20 : std::lround(std::log2(value * kExposureUnit));
    case Scale::kDegrees:
      return value / kArcSecondsPerDegree;
  }
  return value;
}

long FromProperty(Scale scale, long value) {
  switch (scale) {
    case Scale::kSame:
      return value;
    case Scale::kLog2Seconds:
      return std::lround(std::exp2(static_cast<double>(value)) / kExposureUnit);
    case Scale::kDegrees:
      return value * kArcSecondsPerDegree;
  }
  return value;
}

}  // namespace

struct V4l2ControlSet::Mapping {
  ControlFamily family;
  long property;
  uint32_t id;
  uint32_t autoId;  // 0: none
  Scale scale;
};

namespace {

constexpr ControlFamily kAmp = ControlFamily::kVideoProcAmp;
constexpr ControlFamily kCam = ControlFamily::kCameraControl;

const V4l2ControlSet::Mapping kMappings[] = {
    {kAmp, VideoProcAmp_Brightness, V4L2_CID_BRIGHTNESS, 0, Scale::kSame},
    {kAmp, VideoProcAmp_Contrast, V4L2_CID_CONTRAST, 0, Scale::kSame},
    {kAmp, VideoProcAmp_Hue, V4L2_CID_HUE, V4L2_CID_HUE_AUTO, Scale::kSame},
    {kAmp, VideoProcAmp_Saturation, V4L2_CID_SATURATION, 0, Scale::kSame},
    {kAmp, VideoProcAmp_Sharpness, V4L2_CID_SHARPNESS, 0, Scale::kSame},
    {kAmp, VideoProcAmp_Gamma, V4L2_CID_GAMMA, 0, Scale::kSame},
    {kAmp, VideoProcAmp_WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE,
     V4L2_CID_AUTO_WHITE_BALANCE, Scale::kSame},
    {kAmp, VideoProcAmp_BacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION, 0, Scale::kSame},
    {kAmp, VideoProcAmp_Gain, V4L2_CID_GAIN, V4L2_CID_AUTOGAIN, Scale::kSame},
    {kCam, CameraControl_Exposure, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO,
     Scale::kLog2Seconds},
    {kCam, CameraControl_Focus, V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO, Scale::kSame},
    {kCam, CameraControl_Zoom, V4L2_CID_ZOOM_ABSOLUTE, 0, Scale::kSame},
    {kCam, CameraControl_Pan, V4L2_CID_PAN_ABSOLUTE, 0, Scale::kDegrees},
    {kCam, CameraControl_Tilt, V4L2_CID_TILT_ABSOLUTE, 0, Scale::kDegrees},
    {kCam, CameraControl_Iris, V4L2_CID_IRIS_ABSOLUTE, 0, Scale::kSame},
};

}  // namespace

V4l2ControlSet::V4l2ControlSet(std::shared_ptr<V4l2Calls> calls, int fd)
    : calls_(std::move(calls)), fd_(fd) {}

std::optional<DeviceControl> V4l2ControlSet::Query(uint32_t id) {
  v4l2_queryctrl query{};
  query.id = id;
  if (RetryIoctl(*calls_, fd_, VIDIOC_QUERYCTRL, &query) != 0 ||
      (query.flags & V4L2_CTRL_FLAG_DISABLED)) {
    return std::nullopt;
  }
  DeviceControl control;
  control.id = query.id;
  control.name = NameOf(query.name, sizeof query.name);
  control.minimum = query.minimum;
  control.maximum = query.maximum;
  control.step = query.step > 0 ? query.step : 1;
  control.defaultValue = query.default_value;
  control.readOnly = (query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED)) != 0;
  control.inactive = (query.flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
  switch (query.type) {
    case V4L2_CTRL_TYPE_INTEGER:
      control.kind = ControlKind::kInteger;
      break;
    case V4L2_CTRL_TYPE_INTEGER64: {
      // The plain query has no room for a 64-bit range.
      v4l2_query_ext_ctrl extended{};
      extended.id = control.id;
      if (RetryIoctl(*calls_, fd_, VIDIOC_QUERY_EXT_CTRL, &extended) != 0) return std::nullopt;
      control.kind = ControlKind::kInteger64;
      control.minimum = extended.minimum;
      control.maximum = extended.maximum;
      control.step = extended.step > 0 ? static_cast<int64_t>(extended.step) : 1;
      control.defaultValue = extended.default_value;
      break;
    }
    case V4L2_CTRL_TYPE_STRING:
      control.kind = ControlKind::kString;
      break;
    case V4L2_CTRL_TYPE_BOOLEAN:
      control.kind = ControlKind::kBoolean;
      break;
    case V4L2_CTRL_TYPE_BUTTON:
      control.kind = ControlKind::kButton;
      break;
    case V4L2_CTRL_TYPE_CTRL_CLASS:
      control.kind = ControlKind::kClass;
      break;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU: {
      control.kind = ControlKind::kMenu;
      for (long index = control.minimum; index <= control.maximum; ++index) {
        v4l2_querymenu item{};
        item.id = control.id;
        item.index = static_cast<__u32>(index);
        if (RetryIoctl(*calls_, fd_, VIDIOC_QUERYMENU, &item) != 0) continue;
        control.menu.emplace_back(index, query.type == V4L2_CTRL_TYPE_MENU
                                             ? NameOf(item.name, sizeof item.name)
                                             : std::to_wstring(item.value));
      }
      break;
    }
    default:
      return std::nullopt;  // compound controls have no row of their own
  }
  return control;
}

std::vector<DeviceControl> V4l2ControlSet::Controls() {
  std::vector<DeviceControl> controls;
  uint32_t next = V4L2_CTRL_FLAG_NEXT_CTRL;
  for (;;) {
    v4l2_queryctrl query{};
    query.id = next;
    if (RetryIoctl(*calls_, fd_, VIDIOC_QUERYCTRL, &query) != 0) break;
    if (auto control = Query(query.id)) controls.push_back(std::move(*control));
    next = query.id | V4L2_CTRL_FLAG_NEXT_CTRL;
  }
  if (!controls.empty()) return controls;
  // Drivers without NEXT_CTRL: the user and camera control ranges one by one.
  for (uint32_t id = V4L2_CID_BASE; id < V4L2_CID_LASTP1; ++id) {
    if (auto control = Query(id)) controls.push_back(std::move(*control));
  }
  for (uint32_t id = V4L2_CID_CAMERA_CLASS_BASE; id < V4L2_CID_CAMERA_CLASS_BASE + 64; ++id) {
    if (auto control = Query(id)) controls.push_back(std::move(*control));
  }
  return controls;
}

HRESULT V4l2ControlSet::Extended(unsigned long request, v4l2_ext_control* control) {
  v4l2_ext_controls list{};
  list.ctrl_class = V4L2_CTRL_ID2CLASS(control->id);
  list.count = 1;
  list.controls = control;
  if (RetryIoctl(*calls_, fd_, request, &list) != 0) return HResultFromErrno(errno);
  return S_OK;
}

HRESULT V4l2ControlSet::Get(uint32_t id, int64_t* value) {
  if (!value) return E_POINTER;
  v4l2_queryctrl query{};
  query.id = id;
  if (RetryIoctl(*calls_, fd_, VIDIOC_QUERYCTRL, &query) == 0 &&
      query.type == V4L2_CTRL_TYPE_INTEGER64) {
    v4l2_ext_control control{};
    control.id = id;
    const HRESULT hr = Extended(VIDIOC_G_EXT_CTRLS, &control);
    if (SUCCEEDED(hr)) *value = control.value64;
    return hr;
  }
  v4l2_control control{};
  control.id = id;
  if (RetryIoctl(*calls_, fd_, VIDIOC_G_CTRL, &control) != 0) return HResultFromErrno(errno);
  *value = control.value;
  return S_OK;
}

HRESULT V4l2ControlSet::Set(uint32_t id, int64_t value) {
  const auto described = Query(id);
  if (!described) return E_PROP_ID_UNSUPPORTED;
  if (described->readOnly) return E_ACCESSDENIED;
  if (described->kind == ControlKind::kString) return E_INVALIDARG;
  if (described->kind != ControlKind::kButton &&
      (value < described->minimum || value > described->maximum)) {
    return E_INVALIDARG;
  }
  if (described->kind == ControlKind::kInteger64) {
    v4l2_ext_control control{};
    control.id = id;
    control.value64 = value;
    return Extended(VIDIOC_S_EXT_CTRLS, &control);
  }
  v4l2_control control{};
  control.id = id;
  control.value = static_cast<__s32>(value);
  if (RetryIoctl(*calls_, fd_, VIDIOC_S_CTRL, &control) != 0) return HResultFromErrno(errno);
  return S_OK;
}

HRESULT V4l2ControlSet::GetText(uint32_t id, std::string* text) {
  if (!text) return E_POINTER;
  const auto described = Query(id);
  if (!described) return E_PROP_ID_UNSUPPORTED;
  if (described->kind != ControlKind::kString || described->maximum < 0) return E_INVALIDARG;
  std::string buffer(static_cast<size_t>(described->maximum) + 1, '\0');
  v4l2_ext_control control{};
  control.id = id;
  control.size = static_cast<__u32>(buffer.size());
  control.string = buffer.data();
  const HRESULT hr = Extended(VIDIOC_G_EXT_CTRLS, &control);
  if (FAILED(hr)) return hr;
  buffer.resize(strnlen(buffer.data(), buffer.size()));
  *text = std::move(buffer);
  return S_OK;
}

HRESULT V4l2ControlSet::SetText(uint32_t id, const std::string& text) {
  const auto described = Query(id);
  if (!described) return E_PROP_ID_UNSUPPORTED;
  if (described->readOnly) return E_ACCESSDENIED;
  const auto length = static_cast<int64_t>(text.size());
  if (described->kind != ControlKind::kString || text.find('\0') != std::string::npos ||
      length < described->minimum || length > described->maximum ||
      (length - described->minimum) % described->step != 0) {
    return E_INVALIDARG;
  }
  std::string buffer = text;  // the driver reads the terminating NUL too
  v4l2_ext_control control{};
  control.id = id;
  control.size = static_cast<__u32>(buffer.size() + 1);
  control.string = buffer.data();
  return Extended(VIDIOC_S_EXT_CTRLS, &control);
}

const V4l2ControlSet::Mapping* V4l2ControlSet::Find(ControlFamily family, long property) const {
  for (const Mapping& mapping : kMappings) {
    if (mapping.family == family && mapping.property == property) return &mapping;
  }
  return nullptr;
}

bool V4l2ControlSet::AutoOn(const Mapping& mapping) {
  long value = 0;
  if (!mapping.autoId || FAILED(Get(mapping.autoId, &value))) return false;
  return mapping.autoId == V4L2_CID_EXPOSURE_AUTO ? value != V4L2_EXPOSURE_MANUAL : value != 0;
}

std::vector<ControlRange> V4l2ControlSet::Ranges(ControlFamily family) {
  std::vector<ControlRange> ranges;
  for (const Mapping& mapping : kMappings) {
    if (mapping.family != family) continue;
    const auto control = Query(mapping.id);
    if (!control) continue;
    ControlRange range;
    range.property = mapping.property;
    range.minimum = ToProperty(mapping.scale, control->minimum);
    range.maximum = ToProperty(mapping.scale, control->maximum);
    range.step = mapping.scale == Scale::kSame ? control->step : 1;
    range.defaultValue = ToProperty(mapping.scale, control->defaultValue);
    range.capsFlags = VideoProcAmp_Flags_Manual;
    if (mapping.autoId && Query(mapping.autoId)) range.capsFlags |= VideoProcAmp_Flags_Auto;
    ranges.push_back(range);
  }
  return ranges;
}

HRESULT V4l2ControlSet::GetMapped(ControlFamily family, long property, long* value, long* flags) {
  if (!value || !flags) return E_POINTER;
  const Mapping* mapping = Find(family, property);
  if (!mapping || !Query(mapping->id)) return E_PROP_ID_UNSUPPORTED;
  long raw = 0;
  const HRESULT hr = Get(mapping->id, &raw);
  if (FAILED(hr)) return hr;
  *value = ToProperty(mapping->scale, raw);
  *flags = AutoOn(*mapping) ? VideoProcAmp_Flags_Auto : VideoProcAmp_Flags_Manual;
  return S_OK;
}

HRESULT V4l2ControlSet::SetMapped(ControlFamily family, long property, long value, long flags) {
  const Mapping* mapping = Find(family, property);
  const auto control = mapping ? Query(mapping->id) : std::nullopt;
  if (!control) return E_PROP_ID_UNSUPPORTED;
  const bool automatic = (flags & VideoProcAmp_Flags_Auto) != 0;
  if (automatic && (!mapping->autoId || !Query(mapping->autoId))) return E_INVALIDARG;
  if (automatic) {
    if (mapping->autoId != V4L2_CID_EXPOSURE_AUTO) return Set(mapping->autoId, 1);
    // Cameras offer either aperture priority or full auto exposure.
    const HRESULT hr = Set(mapping->autoId, V4L2_EXPOSURE_APERTURE_PRIORITY);
    return SUCCEEDED(hr) ? hr : Set(mapping->autoId, V4L2_EXPOSURE_AUTO);
  }
  if (value < ToProperty(mapping->scale, control->minimum) ||
      value > ToProperty(mapping->scale, control->maximum)) {
    return E_INVALIDARG;
  }
  if (mapping->autoId && Query(mapping->autoId)) {
    const long manual = mapping->autoId == V4L2_CID_EXPOSURE_AUTO ? V4L2_EXPOSURE_MANUAL : 0;
    const HRESULT hr = Set(mapping->autoId, manual);
    if (FAILED(hr)) return hr;
  }
  const long raw = std::clamp(FromProperty(mapping->scale, value), control->minimum, control->maximum);
  return Set(mapping->id, raw);
}

}  // namespace vidorra::devices::v4l2
