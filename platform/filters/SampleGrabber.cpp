// "SampleGrabber"; see SampleGrabber.h.
#include "SampleGrabber.h"

#include <algorithm>
#include <cstring>

namespace vidorra::filters {
namespace {

constexpr long kSampleCallback = 0;
constexpr long kBufferCallback = 1;
constexpr double kUnitsPerSecond = 10'000'000.0;

}  // namespace

CSampleGrabberInputPin::CSampleGrabberInputPin(CSampleGrabber* grabber)
    : CTransformInputPin(grabber, L"Input"), grabber_(grabber) {
  Rename(L"Input", L"In");
}

STDMETHODIMP CSampleGrabberInputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  if (!grabber_->OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  return CTransformInputPin::EnumMediaTypes(ppEnum);
}

STDMETHODIMP CSampleGrabberInputPin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  return grabber_->Accepts(pmt);
}

CSampleGrabberOutputPin::CSampleGrabberOutputPin(CSampleGrabber* grabber)
    : CTransformOutputPin(grabber, L"Output"), grabber_(grabber) {
  Rename(L"Output", L"Out");
}

STDMETHODIMP CSampleGrabberOutputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  CTransformInputPin* input = grabber_->InputPin();
  ComPtr<IPin> upstream = input->GetConnected();
  if (!upstream) return VFW_E_NOT_CONNECTED;
  auto types = std::make_shared<std::vector<CMediaType>>();
  ComPtr<IEnumMediaTypes> offered;
  if (SUCCEEDED(upstream->EnumMediaTypes(offered.GetAddressOf())) && offered) {
    AM_MEDIA_TYPE* next = nullptr;
    ULONG fetched = 0;
    while (offered->Next(1, &next, &fetched) == S_OK && fetched == 1 && next) {
      types->emplace_back().Adopt(*next);
      CoTaskMemFree(next);
    }
  }
  // The type it is connected with may come from elsewhere (the grabber's receiver's list).
  const CMediaType connection = input->CurrentMediaType();
  if (connection.IsValid() && std::find(types->begin(), types->end(), connection) == types->end()) {
    types->push_back(connection);
  }
  *ppEnum = MakeComObject<CEnumMediaTypes>(std::move(types), 0).Detach();
  return S_OK;
}

STDMETHODIMP CSampleGrabberOutputPin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  return grabber_->Accepts(pmt);
}

CSampleGrabber::CSampleGrabber() : CTransInPlaceFilter(L"SampleGrabber", CLSID_SampleGrabber) {
  input_ = std::make_unique<CSampleGrabberInputPin>(this);
  output_ = std::make_unique<CSampleGrabberOutputPin>(this);
}

HRESULT CSampleGrabber::Accepts(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  std::lock_guard lock(settingsMutex_);
  if (!acceptedType_) return S_OK;
  for (auto field :
       {&AM_MEDIA_TYPE::majortype, &AM_MEDIA_TYPE::subtype, &AM_MEDIA_TYPE::formattype}) {
    const GUID& wanted = (*acceptedType_).*field;
    if (wanted == GUID_NULL) return S_OK;
    if (wanted != pmt->*field) return S_FALSE;
  }
  return S_OK;
}

HRESULT CSampleGrabber::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_ISampleGrabber) return GetInterface(static_cast<ISampleGrabber*>(this), ppv);
  return CTransInPlaceFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CSampleGrabber::SetOneShot(BOOL OneShot) {
  std::lock_guard lock(settingsMutex_);
  oneShot_ = OneShot != FALSE;
  oneShotDone_ = false;
  return S_OK;
}

STDMETHODIMP CSampleGrabber::SetMediaType(const AM_MEDIA_TYPE* pType) {
  std::lock_guard lock(settingsMutex_);
  if (pType) {
    acceptedType_.emplace(*pType);
  } else {
    acceptedType_.reset();
  }
  return S_OK;
}

STDMETHODIMP CSampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* pType) {
  if (!pType) return E_POINTER;
  std::lock_guard lock(FilterLock());
  if (!InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  return CopyMediaType(pType, &InputPin()->CurrentMediaType());
}

STDMETHODIMP CSampleGrabber::SetBufferSamples(BOOL BufferThem) {
  std::lock_guard lock(settingsMutex_);
  bufferSamples_ = BufferThem != FALSE;
  return S_OK;
}

STDMETHODIMP CSampleGrabber::GetCurrentBuffer(long* pBufferSize, long* pBuffer) {
  if (!pBufferSize) return E_POINTER;
  {
    std::lock_guard lock(settingsMutex_);
    if (!bufferSamples_) return E_INVALIDARG;
  }
  std::lock_guard lock(bufferMutex_);
  if (!haveKept_) return VFW_E_WRONG_STATE;
  const auto size = static_cast<long>(kept_.size());
  if (!pBuffer) {
    *pBufferSize = size;
    return S_OK;
  }
  // Never write past the caller's buffer: a short buffer gets nothing.
  if (*pBufferSize < size) return E_OUTOFMEMORY;
  std::memcpy(pBuffer, kept_.data(), kept_.size());
  *pBufferSize = size;
  return S_OK;
}

STDMETHODIMP CSampleGrabber::GetCurrentSample(IMediaSample** ppSample) {
  if (ppSample) *ppSample = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CSampleGrabber::SetCallback(ISampleGrabberCB* pCallback, long WhichMethodToCallback) {
  if (pCallback && WhichMethodToCallback != kSampleCallback &&
      WhichMethodToCallback != kBufferCallback) {
    return E_INVALIDARG;
  }
  std::lock_guard lock(settingsMutex_);
  callback_ = pCallback;
  callbackMethod_ = WhichMethodToCallback;
  return S_OK;
}

HRESULT CSampleGrabber::CheckInputType(const CMediaType* in) {
  if (!in || !in->IsValid()) return VFW_E_TYPE_NOT_ACCEPTED;
  std::lock_guard lock(settingsMutex_);
  if (!acceptedType_) return S_OK;
  const CMediaType& wanted = *acceptedType_;
  // GUID_NULL fields are wildcards. A format type without a format block accepts any block
  // of that type: callers ask for "RGB24 video in a VIDEOINFOHEADER" without knowing the
  // picture size.
  if (wanted.majortype != GUID_NULL && wanted.majortype != in->majortype) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  if (wanted.subtype != GUID_NULL && wanted.subtype != in->subtype) return VFW_E_TYPE_NOT_ACCEPTED;
  if (wanted.formattype != GUID_NULL && wanted.formattype != in->formattype) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  if (wanted.cbFormat > 0 && (wanted.cbFormat != in->cbFormat ||
                              std::memcmp(wanted.pbFormat, in->pbFormat, in->cbFormat) != 0)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CSampleGrabber::StartStreaming() {
  {
    std::lock_guard lock(settingsMutex_);
    oneShotDone_ = false;
  }
  return CTransInPlaceFilter::StartStreaming();
}

HRESULT CSampleGrabber::Receive(IMediaSample* sample) {
  bool sendEndOfStream = false;
  {
    std::lock_guard lock(settingsMutex_);
    if (oneShot_ && oneShotDone_) return S_FALSE;
  }
  HRESULT hr = S_OK;
  if (OutputPin()->IsConnected()) {
    hr = CTransInPlaceFilter::Receive(sample);
  } else {
    // Nothing downstream: grab, and tell upstream all is well.
    hr = Transform(sample);
    if (hr == S_FALSE) hr = S_OK;
    if (FAILED(hr)) NotifyEvent(EC_ERRORABORT, hr, 0);
  }
  {
    std::lock_guard lock(settingsMutex_);
    if (oneShot_ && !oneShotDone_) {
      oneShotDone_ = true;
      sendEndOfStream = true;
    }
  }
  if (sendEndOfStream) {
    if (OutputPin()->IsConnected()) {
      OutputPin()->DeliverEndOfStream();
    } else {
      NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
    }
  }
  return hr;
}

HRESULT CSampleGrabber::Transform(IMediaSample* sample) {
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long length = sample->GetActualDataLength();
  bool keep = false;
  ComPtr<ISampleGrabberCB> callback;
  long method = kSampleCallback;
  {
    std::lock_guard lock(settingsMutex_);
    keep = bufferSamples_;
    callback = callback_;
    method = callbackMethod_;
  }
  if (keep && data && length >= 0) {
    std::lock_guard lock(bufferMutex_);
    kept_.assign(data, data + length);
    haveKept_ = true;
  }
  if (callback) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    double time = 0;
    if (SUCCEEDED(sample->GetTime(&start, &end))) time = start / kUnitsPerSecond;
    // The callback's result does not stop the stream: the application is told about the
    // sample, the graph goes on.
    if (method == kBufferCallback) {
      callback->BufferCB(time, data, length);
    } else {
      callback->SampleCB(time, sample);
    }
  }
  return S_OK;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_SampleGrabber,
    .friendlyName = L"SampleGrabber",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_DO_NOT_USE,
    .inputTypes = {{GUID_NULL, GUID_NULL}},
    .outputTypes = {{GUID_NULL, GUID_NULL}},
    .monikerName = {},
    .factory = FilterFactoryFor<CSampleGrabber>(),
});

}  // namespace
}  // namespace vidorra::filters
