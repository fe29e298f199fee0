// CV4l2CaptureFilter: the video capture filter of a V4L2 node. Besides what every video
// capture filter answers (CVideoCaptureFilter), it answers IAMCameraControl when the camera
// has any of its controls (exposure, focus, zoom, pan, tilt, iris) and IDeviceControls, and
// lists the camera controls page after the picture controls page, and the page of all the
// device's controls last.
//
// IAMCameraControl has the same method names as IAMVideoProcAmp, so it lives on a small
// object of its own that shares the filter's identity and reference count.
#pragma once

#include "V4l2Controls.h"
#include "V4l2VideoDevice.h"
#include "VideoCaptureFilter.h"

namespace vidorra::devices::v4l2 {

class CV4l2CaptureFilter : public CVideoCaptureFilter, public IDeviceControls {
 public:
  CV4l2CaptureFilter(std::wstring friendlyName, std::wstring deviceName,
                     std::unique_ptr<V4l2VideoDevice> device);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP GetPages(CAUUID* pPages) override;

  // ---- IDeviceControls ----
  std::vector<DeviceControl> Controls() override;
  STDMETHODIMP GetControl(ULONG id, int64_t* value) override;
  STDMETHODIMP SetControl(ULONG id, int64_t value) override;
  HRESULT GetText(ULONG id, std::string* text) override;
  HRESULT SetText(ULONG id, const std::string& text) override;

 private:
  class CameraControl : public IAMCameraControl {
   public:
    explicit CameraControl(CV4l2CaptureFilter* filter) : filter_(filter) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
      return filter_->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return filter_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return filter_->Release(); }
    STDMETHODIMP GetRange(long Property, long* pMin, long* pMax, long* pSteppingDelta,
                          long* pDefault, long* pCapsFlags) override;
    STDMETHODIMP Set(long Property, long lValue, long Flags) override;
    STDMETHODIMP Get(long Property, long* lValue, long* Flags) override;

   private:
    CV4l2CaptureFilter* const filter_;
  };

  bool HasCameraControls();

  V4l2ControlSet& controls_;
  CameraControl cameraControl_{this};
};

}  // namespace vidorra::devices::v4l2
