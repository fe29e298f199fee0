// CVideoCaptureFilter: the filter of a video capture device, whatever the device (a
// VideoBackend). Its pins come from the device's layout, in this order: the analogue video
// input of a capture card (PIN_CATEGORY_ANALOGVIDEOIN, on the wire from the card's crossbar),
// then the outputs (capture, preview and video-port pins, CCapturePin or CWirePin).
//
// One streaming thread (CLiveSource) takes each frame from the device into a capture pin
// sample, stamped with its capture time on the graph's clock (media times: the device's frame
// numbers), and copies it to the preview pin, which carries no time stamps (a preview is shown
// as it comes). A frame that finds no free buffer is dropped and counted on the capture pin.
//
// The filter answers IAMVideoProcAmp (the device's picture controls), ISpecifyPropertyPages
// (the picture controls page, and the analogue video decoder's), IAMAnalogVideoDecoder for a
// device that decodes broadcast standards and, for drivers that have them, IAMVfwCaptureDialogs: the
// format dialog shows the stream format page of the capture pin and answers
// VFW_E_CANNOT_CONNECT when the chosen format no longer fits the connected pin; the source
// dialog shows the picture controls page; there is no display dialog.
//
// Threads: see CLiveSource; the controls may be used from any thread while streaming.
#pragma once

#include <streams.h>

#include <memory>
#include <optional>
#include <vector>

#include "CapturePin.h"
#include "DeviceBackend.h"
#include "DvFrameWatch.h"
#include "LiveSource.h"
#include "WirePin.h"

namespace vidorra::devices {

// The class of the device filters of this layer (what their property bags give as "CLSID").
// {8E3A5F20-1D4C-4B7A-9E61-5C2D7A0B3101}
DEFINE_GUID(CLSID_VidorraVideoCapture, 0x8E3A5F20, 0x1D4C, 0x4B7A, 0x9E, 0x61, 0x5C, 0x2D, 0x7A,
            0x0B, 0x31, 0x01);

class CVideoCaptureFilter : public CLiveSource,
                            public IAMVideoProcAmp,
                            public ISpecifyPropertyPages,
                            public IAMVfwCaptureDialogs,
                            public IAMAnalogVideoDecoder,
                            public IDvTapeTransport,
                            public IDvFrameInfo {
 public:
  CVideoCaptureFilter(std::wstring friendlyName, std::wstring deviceName,
                      std::unique_ptr<VideoBackend> backend, REFCLSID clsid);
  ~CVideoCaptureFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;

  // ---- IAMVideoProcAmp ----
  STDMETHODIMP GetRange(long Property, long* pMin, long* pMax, long* pSteppingDelta, long* pDefault,
                        long* pCapsFlags) override;
  STDMETHODIMP Set(long Property, long lValue, long Flags) override;
  STDMETHODIMP Get(long Property, long* lValue, long* Flags) override;

  // ---- ISpecifyPropertyPages ----
  STDMETHODIMP GetPages(CAUUID* pPages) override;

  // ---- IAMVfwCaptureDialogs ----
  STDMETHODIMP HasDialog(int iDialog) override;
  STDMETHODIMP ShowDialog(int iDialog, HWND hwnd) override;
  STDMETHODIMP SendDriverMessage(int iDialog, int uMsg, long dw1, long dw2) override;

  // ---- IAMAnalogVideoDecoder (the device's analogue standards) ----
  STDMETHODIMP get_AvailableTVFormats(long* lAnalogVideoStandard) override;
  STDMETHODIMP put_TVFormat(long lAnalogVideoStandard) override;
  STDMETHODIMP get_TVFormat(long* plAnalogVideoStandard) override;
  STDMETHODIMP get_HorizontalLocked(long* plLocked) override;
  STDMETHODIMP put_VCRHorizontalLocking(long lVCRHorizontalLocking) override;
  STDMETHODIMP get_VCRHorizontalLocking(long* plVCRHorizontalLocking) override;
  STDMETHODIMP get_NumberOfLines(long* plNumberOfLines) override;
  STDMETHODIMP put_OutputEnable(long lOutputEnable) override;
  STDMETHODIMP get_OutputEnable(long* plOutputEnable) override;

  // ---- IDvTapeTransport (a device with a tape transport) ----
  STDMETHODIMP put_Mode(long mode) override;
  STDMETHODIMP get_Mode(long* mode) override;

  // ---- IDvFrameInfo (a device that offers DV) ----
  STDMETHODIMP GetLastFrameInfo(DV_FRAME_INFO* info) override;

 protected:
  // The pages of the device's settings: the picture controls, and the analogue decoder's for
  // a device that has one; filters of other devices add their own.
  std::vector<const GUID*> DevicePages();
  bool DecodesStandards() { return device_->AnalogStandards() != AnalogVideo_None; }
  bool OffersDv();
  std::vector<CCapturePin*> CapturePins() override;
  void StreamStarting() override;
  HRESULT CaptureOne(StreamTiming& timing) override;

 private:
  void DeliverPreview(IMediaSample* frame, size_t length);

  VideoBackend* const device_;  // owned by CLiveSource
  const VideoDeviceLayout layout_;
  std::vector<std::unique_ptr<CBasePin>> pins_;  // in pin order
  CCapturePin* capture_ = nullptr;
  CCapturePin* preview_ = nullptr;

  bool vcrLocking_ = false;
  DvFrameWatch dvFrames_;

  // Streaming thread (StreamStarting resets them before the thread starts).
  std::optional<uint64_t> lastNumber_;
  bool discontinuity_ = true;
  bool streamIsDv_ = false;
};

}  // namespace vidorra::devices
