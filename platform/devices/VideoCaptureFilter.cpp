// CVideoCaptureFilter; see VideoCaptureFilter.h.
#include "VideoCaptureFilter.h"

#include <olectl.h>

#include <algorithm>
#include <cstring>

#include "PropertyPages.h"

namespace vidorra::devices {

namespace {

// Buffers of a video capture pin: enough for downstream to hold a few frames (a renderer's
// current picture, a tee's copies) before the device has to drop.
constexpr long kVideoBuffers = 4;

// Where the property frame of a driver dialog stands in its owner.
constexpr UINT kDialogX = 30;
constexpr UINT kDialogY = 30;

// The object a capture driver's format dialog works on: the capture pin's stream
// configuration, except that a format chosen is the device's at once, whatever the pin is
// connected with.
class CDriverFormat : public CUnknown, public IAMStreamConfig {
 public:
  CDriverFormat(CLiveSource* filter, CCapturePin* pin)
      : filter_(filter), pin_(pin), holder_(filter) {}

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }

  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override { return filter_->ChooseFormat(pmt); }
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override {
    if (!ppmt) return E_POINTER;
    const CMediaType format = filter_->ChosenFormat().value_or(filter_->CurrentFormat());
    *ppmt = CreateMediaType(&format);
    return *ppmt ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override {
    return pin_->GetNumberOfCapabilities(piCount, piSize);
  }
  STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override {
    return pin_->GetStreamCaps(iIndex, ppmt, pSCC);
  }

 private:
  CLiveSource* const filter_;
  CCapturePin* const pin_;
  const ComPtr<IBaseFilter> holder_;  // keeps the filter, and so its pin, alive
};

const GUID& CategoryOf(VideoPinRole role) {
  switch (role) {
    case VideoPinRole::kCapture:
      return PIN_CATEGORY_CAPTURE;
    case VideoPinRole::kPreview:
      return PIN_CATEGORY_PREVIEW;
    case VideoPinRole::kVideoPort:
      return PIN_CATEGORY_VIDEOPORT;
  }
  return PIN_CATEGORY_CAPTURE;
}

}  // namespace

CVideoCaptureFilter::CVideoCaptureFilter(std::wstring friendlyName, std::wstring deviceName,
                                         std::unique_ptr<VideoBackend> backend, REFCLSID clsid)
    : CLiveSource(std::move(friendlyName), clsid, std::move(deviceName), std::move(backend)),
      device_(static_cast<VideoBackend*>(backend_.get())),
      layout_(device_->Layout()) {
  if (layout_.analogVideoIn) {
    AnalogPinDesc input{L"Analog Video In", PINDIR_INPUT, MEDIATYPE_AnalogVideo,
                        layout_.analogVideoIn};
    auto pin = std::make_unique<CWirePin>(this, input);
    pin->SetPinCategory(PIN_CATEGORY_ANALOGVIDEOIN);
    pins_.push_back(std::move(pin));
  }
  for (const VideoPinDesc& output : layout_.outputs) {
    if (output.role == VideoPinRole::kVideoPort) {
      // A video port goes straight to the display hardware: no samples through memory.
      AnalogPinDesc port{output.name, PINDIR_OUTPUT, MEDIATYPE_Video, std::nullopt};
      auto pin = std::make_unique<CWirePin>(this, port, MEDIASUBTYPE_VPVideo);
      pin->SetPinCategory(PIN_CATEGORY_VIDEOPORT);
      pins_.push_back(std::move(pin));
      continue;
    }
    const bool capture = output.role == VideoPinRole::kCapture;
    auto pin = std::make_unique<CCapturePin>(this, output.name, CategoryOf(output.role), capture,
                                             kVideoBuffers);
    (capture ? capture_ : preview_) = pin.get();
    pins_.push_back(std::move(pin));
  }
}

CVideoCaptureFilter::~CVideoCaptureFilter() { JoinStreamingThread(); }

HRESULT CVideoCaptureFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAMVideoProcAmp) return GetInterface(static_cast<IAMVideoProcAmp*>(this), ppv);
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  }
  if (riid == IID_IAMVfwCaptureDialogs && layout_.vfwDialogs) {
    return GetInterface(static_cast<IAMVfwCaptureDialogs*>(this), ppv);
  }
  if (riid == IID_IAMAnalogVideoDecoder && DecodesStandards()) {
    return GetInterface(static_cast<IAMAnalogVideoDecoder*>(this), ppv);
  }
  if (riid == IID_IDvTapeTransport && device_->TapeTransport()) {
    return GetInterface(static_cast<IDvTapeTransport*>(this), ppv);
  }
  if (riid == IID_IDvFrameInfo && OffersDv()) {
    return GetInterface(static_cast<IDvFrameInfo*>(this), ppv);
  }
  return CLiveSource::NonDelegatingQueryInterface(riid, ppv);
}

int CVideoCaptureFilter::GetPinCount() { return static_cast<int>(pins_.size()); }

CBasePin* CVideoCaptureFilter::GetPin(int n) {
  if (n < 0 || n >= static_cast<int>(pins_.size())) return nullptr;
  return pins_[static_cast<size_t>(n)].get();
}

std::vector<CCapturePin*> CVideoCaptureFilter::CapturePins() {
  std::vector<CCapturePin*> pins;
  if (capture_) pins.push_back(capture_);
  if (preview_) pins.push_back(preview_);
  return pins;
}

// ---- Streaming ----

void CVideoCaptureFilter::StreamStarting() {
  lastNumber_.reset();
  discontinuity_ = true;
  const auto carriesDv = [](CCapturePin* pin) {
    return pin && pin->IsConnected() && *pin->CurrentMediaType().Subtype() == MEDIASUBTYPE_dvsd;
  };
  streamIsDv_ = carriesDv(capture_) || carriesDv(preview_);
  dvFrames_.Reset();
}

bool CVideoCaptureFilter::OffersDv() {
  const std::vector<FormatCapability> formats = device_->Capabilities();
  return std::any_of(formats.begin(), formats.end(), [](const FormatCapability& format) {
    return *format.type.Subtype() == MEDIASUBTYPE_dvsd;
  });
}

HRESULT CVideoCaptureFilter::CaptureOne(StreamTiming& timing) {
  FrameInfo frame;
  HRESULT hr = device_->NextFrame(timing, &frame);
  if (hr != S_OK) return hr;
  const bool captureConnected = capture_ && capture_->IsConnected();
  // Frames the device lost before this one.
  if (lastNumber_ && frame.number > *lastNumber_ + 1) {
    for (uint64_t n = *lastNumber_ + 1; n < frame.number; ++n) {
      if (captureConnected) capture_->CountDropped(n);
    }
    discontinuity_ = true;
  }
  lastNumber_ = frame.number;

  ComPtr<IMediaSample> captured = captureConnected ? capture_->TryGetBuffer() : nullptr;
  if (captureConnected && !captured) {
    // Downstream holds every buffer: the frame is lost rather than the device held up.
    capture_->CountDropped(frame.number);
    discontinuity_ = true;
  }
  ComPtr<IMediaSample> target = captured;
  if (!target && preview_ && preview_->IsConnected()) target = preview_->TryGetBuffer();
  if (!target) {
    size_t ignored = 0;
    return device_->ReadFrame({}, &ignored);
  }
  BYTE* data = nullptr;
  hr = target->GetPointer(&data);
  if (FAILED(hr)) return hr;
  size_t length = 0;
  hr = device_->ReadFrame({data, static_cast<size_t>(target->GetSize())}, &length);
  if (hr == E_OUTOFMEMORY) {
    if (captured) capture_->CountDropped(frame.number);
    discontinuity_ = true;
    return S_OK;
  }
  if (FAILED(hr)) return hr;
  target->SetActualDataLength(static_cast<long>(length));
  if (streamIsDv_) dvFrames_.Look({data, length});
  target->SetSyncPoint(TRUE);
  target->SetPreroll(FALSE);
  if (captured) {
    REFERENCE_TIME start = frame.captureTime;
    REFERENCE_TIME stop = frame.captureTime + frame.duration;
    captured->SetTime(&start, &stop);
    captured->SetMediaTime(&frame.mediaStart, &frame.mediaStop);
    captured->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
    discontinuity_ = false;
    // Delivered first: the recording matters more than the picture on the screen.
    // A refusal (S_FALSE, an error) is the receiver's to report; capture goes on.
    capture_->Deliver(captured.Get());
    capture_->CountDelivered(length);
    DeliverPreview(captured.Get(), length);
    return S_OK;
  }
  target->SetTime(nullptr, nullptr);
  target->SetDiscontinuity(FALSE);
  preview_->Deliver(target.Get());
  return S_OK;
}

void CVideoCaptureFilter::DeliverPreview(IMediaSample* frame, size_t length) {
  // A preview connected with another format than the capture pin's (a driver dialog changed
  // the device's format in between) cannot carry the frame.
  if (!preview_ || !preview_->IsConnected() ||
      preview_->CurrentMediaType() != capture_->CurrentMediaType()) {
    return;
  }
  ComPtr<IMediaSample> copy = preview_->TryGetBuffer();
  if (!copy) return;
  BYTE* from = nullptr;
  BYTE* to = nullptr;
  if (FAILED(frame->GetPointer(&from)) || FAILED(copy->GetPointer(&to)) ||
      copy->GetSize() < static_cast<long>(length)) {
    return;
  }
  std::memcpy(to, from, length);
  copy->SetActualDataLength(static_cast<long>(length));
  copy->SetSyncPoint(TRUE);
  copy->SetTime(nullptr, nullptr);
  preview_->Deliver(copy.Get());
}

// ---- IAMVideoProcAmp ----

STDMETHODIMP CVideoCaptureFilter::GetRange(long Property, long* pMin, long* pMax,
                                           long* pSteppingDelta, long* pDefault, long* pCapsFlags) {
  if (!pMin || !pMax || !pSteppingDelta || !pDefault || !pCapsFlags) return E_POINTER;
  for (const ControlRange& range : device_->PictureControls()) {
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

STDMETHODIMP CVideoCaptureFilter::Set(long Property, long lValue, long Flags) {
  return device_->SetPictureControl(Property, lValue, Flags);
}

STDMETHODIMP CVideoCaptureFilter::Get(long Property, long* lValue, long* Flags) {
  if (!lValue || !Flags) return E_POINTER;
  return device_->GetPictureControl(Property, lValue, Flags);
}

// ---- ISpecifyPropertyPages ----

std::vector<const GUID*> CVideoCaptureFilter::DevicePages() {
  std::vector<const GUID*> pages = {&CLSID_VideoProcAmpPropertyPage};
  if (DecodesStandards()) pages.push_back(&CLSID_AnalogVideoDecoderPropertyPage);
  return pages;
}

STDMETHODIMP CVideoCaptureFilter::GetPages(CAUUID* pPages) {
  return ListPages(pPages, DevicePages());
}

// ---- IAMAnalogVideoDecoder ----

STDMETHODIMP CVideoCaptureFilter::get_AvailableTVFormats(long* lAnalogVideoStandard) {
  if (!lAnalogVideoStandard) return E_POINTER;
  *lAnalogVideoStandard = device_->AnalogStandards();
  return S_OK;
}

STDMETHODIMP CVideoCaptureFilter::put_TVFormat(long lAnalogVideoStandard) {
  // One standard at a time, among those the decoder takes.
  if (lAnalogVideoStandard == 0 || (lAnalogVideoStandard & (lAnalogVideoStandard - 1)) != 0 ||
      !(lAnalogVideoStandard & device_->AnalogStandards())) {
    return E_INVALIDARG;
  }
  return device_->SetAnalogStandard(lAnalogVideoStandard);
}

STDMETHODIMP CVideoCaptureFilter::get_TVFormat(long* plAnalogVideoStandard) {
  if (!plAnalogVideoStandard) return E_POINTER;
  *plAnalogVideoStandard = device_->AnalogStandard();
  return S_OK;
}

STDMETHODIMP CVideoCaptureFilter::get_HorizontalLocked(long* plLocked) {
  if (!plLocked) return E_POINTER;
  *plLocked = TRUE;  // the picture the device delivers is always whole
  return S_OK;
}

STDMETHODIMP CVideoCaptureFilter::put_VCRHorizontalLocking(long lVCRHorizontalLocking) {
  vcrLocking_ = lVCRHorizontalLocking != 0;
  return S_OK;
}

STDMETHODIMP CVideoCaptureFilter::get_VCRHorizontalLocking(long* plVCRHorizontalLocking) {
  if (!plVCRHorizontalLocking) return E_POINTER;
  *plVCRHorizontalLocking = vcrLocking_ ? TRUE : FALSE;
  return S_OK;
}

STDMETHODIMP CVideoCaptureFilter::get_NumberOfLines(long* plNumberOfLines) {
  if (!plNumberOfLines) return E_POINTER;
  constexpr long k525LineStandards = AnalogVideo_NTSC_M | AnalogVideo_NTSC_M_J |
                                     AnalogVideo_NTSC_433 | AnalogVideo_PAL_M | AnalogVideo_PAL_60;
  const long standard = device_->AnalogStandard();
  if (standard == AnalogVideo_None) return E_FAIL;
  *plNumberOfLines = (standard & k525LineStandards) ? 525 : 625;
  return S_OK;
}

STDMETHODIMP CVideoCaptureFilter::put_OutputEnable(long lOutputEnable) {
  // The decoder's output is the capture pin's stream: it cannot be switched off apart.
  return lOutputEnable ? S_OK : E_NOTIMPL;
}

STDMETHODIMP CVideoCaptureFilter::get_OutputEnable(long* plOutputEnable) {
  if (!plOutputEnable) return E_POINTER;
  *plOutputEnable = TRUE;
  return S_OK;
}

// ---- IAMVfwCaptureDialogs ----

STDMETHODIMP CVideoCaptureFilter::HasDialog(int iDialog) {
  switch (iDialog) {
    case VfwCaptureDialog_Format:
    case VfwCaptureDialog_Source:
      return S_OK;
    case VfwCaptureDialog_Display:
      return S_FALSE;
    default:
      return E_INVALIDARG;
  }
}

STDMETHODIMP CVideoCaptureFilter::ShowDialog(int iDialog, HWND hwnd) {
  if (HasDialog(iDialog) != S_OK) return E_INVALIDARG;
  if (iDialog == VfwCaptureDialog_Source) {
    IUnknown* object = static_cast<IBaseFilter*>(this);
    return OleCreatePropertyFrame(hwnd, kDialogX, kDialogY, nullptr, 1, &object, 1,
                                  &CLSID_VideoProcAmpPropertyPage, 0, 0, nullptr);
  }
  if (!capture_) return E_UNEXPECTED;
  // The driver's format choice sets the device's format without touching the connections; a
  // pin connected with another type cannot carry it, and the caller has to connect again.
  ComPtr<IAMStreamConfig> driverFormat = MakeComObject<CDriverFormat>(this, capture_);
  IUnknown* object = driverFormat.Get();
  const HRESULT hr = OleCreatePropertyFrame(hwnd, kDialogX, kDialogY, nullptr, 1, &object, 1,
                                            &CLSID_StreamFormatPropertyPage, 0, 0, nullptr);
  if (FAILED(hr)) return hr;
  const std::optional<CMediaType> chosen = ChosenFormat();
  if (capture_->IsConnected() && chosen && capture_->CurrentMediaType() != *chosen) {
    return VFW_E_CANNOT_CONNECT;
  }
  return hr;
}

STDMETHODIMP CVideoCaptureFilter::SendDriverMessage(int, int, long, long) {
  // Driver messages are private to each capture driver; this one defines none.
  return E_NOTIMPL;
}

// ---- IDvTapeTransport, IDvFrameInfo ----

STDMETHODIMP CVideoCaptureFilter::put_Mode(long mode) {
  TapeTransportBackend* transport = device_->TapeTransport();
  return transport ? transport->SetMode(mode) : E_NOTIMPL;
}

STDMETHODIMP CVideoCaptureFilter::get_Mode(long* mode) {
  TapeTransportBackend* transport = device_->TapeTransport();
  return transport ? transport->GetMode(mode) : E_NOTIMPL;
}

STDMETHODIMP CVideoCaptureFilter::GetLastFrameInfo(DV_FRAME_INFO* info) {
  return dvFrames_.Fill(info);
}

}  // namespace vidorra::devices
