// CV4l2CaptureFilter; see V4l2CaptureFilter.h.
#include "V4l2CaptureFilter.h"

#include <vidorra_pages.h>

#include "PropertyPages.h"

namespace vidorra::devices::v4l2 {

CV4l2CaptureFilter::CV4l2CaptureFilter(std::wstring friendlyName, std::wstring deviceName,
                                       std::unique_ptr<V4l2VideoDevice> device)
    : CVideoCaptureFilter(std::move(friendlyName), std::move(deviceName), std::move(device),
                          CLSID_VidorraVideoCapture),
      controls_(static_cast<V4l2VideoDevice*>(backend_.get())->Controls()) {}

HRESULT CV4l2CaptureFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAMCameraControl && HasCameraControls()) {
    return GetInterface(static_cast<IAMCameraControl*>(&cameraControl_), ppv);
  }
  if (riid == IID_IDeviceControls) return GetInterface(static_cast<IDeviceControls*>(this), ppv);
  return CVideoCaptureFilter::NonDelegatingQueryInterface(riid, ppv);
}

bool CV4l2CaptureFilter::HasCameraControls() {
  return !controls_.Ranges(ControlFamily::kCameraControl).empty();
}

STDMETHODIMP CV4l2CaptureFilter::GetPages(CAUUID* pPages) {
  std::vector<const GUID*> pages = DevicePages();
  if (HasCameraControls()) pages.insert(pages.begin() + 1, &CLSID_CameraControlPropertyPage);
  pages.push_back(&CLSID_DeviceControlsPropertyPage);
  return ListPages(pPages, pages);
}

std::vector<DeviceControl> CV4l2CaptureFilter::Controls() { return controls_.Controls(); }

STDMETHODIMP CV4l2CaptureFilter::GetControl(ULONG id, int64_t* value) {
  return controls_.Get(static_cast<uint32_t>(id), value);
}

STDMETHODIMP CV4l2CaptureFilter::SetControl(ULONG id, int64_t value) {
  return controls_.Set(static_cast<uint32_t>(id), value);
}

HRESULT CV4l2CaptureFilter::GetText(ULONG id, std::string* text) {
  return controls_.GetText(static_cast<uint32_t>(id), text);
}

HRESULT CV4l2CaptureFilter::SetText(ULONG id, const std::string& text) {
  return controls_.SetText(static_cast<uint32_t>(id), text);
}

STDMETHODIMP CV4l2CaptureFilter::CameraControl::GetRange(long Property, long* pMin, long* pMax,
                                                         long* pSteppingDelta, long* pDefault,
                                                         long* pCapsFlags) {
  if (!pMin || !pMax || !pSteppingDelta || !pDefault || !pCapsFlags) return E_POINTER;
  for (const ControlRange& range : filter_->controls_.Ranges(ControlFamily::kCameraControl)) {
    if (range.property != Property) continue;
    *pMin = range.minimum;
    *pMax = range.maximum;
    *pSteppingDelta = range.step;
    *pDefault = range.defaultValue;
    *pCapsFlags = range.capsFlags;
    return S_OK;
  }
  return E_PROP_ID_UNSUPPORTED;
}

STDMETHODIMP CV4l2CaptureFilter::CameraControl::Set(long Property, long lValue, long Flags) {
  return filter_->controls_.SetMapped(ControlFamily::kCameraControl, Property, lValue, Flags);
}

STDMETHODIMP CV4l2CaptureFilter::CameraControl::Get(long Property, long* lValue, long* Flags) {
  return filter_->controls_.GetMapped(ControlFamily::kCameraControl, Property, lValue, Flags);
}

}  // namespace vidorra::devices::v4l2
