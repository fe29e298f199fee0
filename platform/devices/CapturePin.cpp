// CCapturePin; see CapturePin.h.
#include "CapturePin.h"

#include <algorithm>
#include <cstring>

#include "LiveSource.h"
#include "PropertyPages.h"

namespace vidorra::devices {

namespace {

// GetDroppedInfo reports the numbers of the first dropped frames; a long recording that drops
// many keeps counting them without keeping them all.
constexpr size_t kKeptDropped = 4096;
constexpr long kBufferAlign = 16;

}  // namespace

CCapturePin::CCapturePin(CLiveSource* filter, std::wstring name, const GUID& category,
                         bool countsFrames, long buffers)
    : CBaseOutputPin(filter, std::move(name)),
      source_(filter),
      countsFrames_(countsFrames),
      buffers_(buffers) {
  SetPinCategory(category);
}

HRESULT CCapturePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
  }
  if (riid == IID_IAMDroppedFrames && countsFrames_) {
    return GetInterface(static_cast<IAMDroppedFrames*>(this), ppv);
  }
  return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CCapturePin::CheckMediaType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  return source_->AcceptsType(this, *mt);
}

HRESULT CCapturePin::GetMediaType(int position, CMediaType* mt) {
  if (!mt) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  return source_->OfferedType(position, mt);
}

HRESULT CCapturePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const CMediaType& mt = CurrentMediaType();
  long bytes = static_cast<long>(mt.lSampleSize);
  if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, mt.pbFormat, sizeof vih);
    bytes = std::max(bytes, static_cast<long>(vih.bmiHeader.biSizeImage));
  }
  if (mt.formattype == FORMAT_WaveFormatEx && mt.cbFormat >= sizeof(WAVEFORMATEX)) {
    // Sound goes in buffers of a fiftieth of a second; room for a tenth.
    WAVEFORMATEX wfx;
    std::memcpy(&wfx, mt.pbFormat, sizeof wfx);
    bytes = std::max(bytes, static_cast<long>(wfx.nAvgBytesPerSec / 10));
  }
  if (bytes <= 0) return VFW_E_TYPE_NOT_ACCEPTED;
  request->cBuffers = std::max(request->cBuffers, buffers_);
  request->cbBuffer = std::max(request->cbBuffer, bytes);
  // Samples are written as 16-bit sound or wider words: aligned buffers.
  request->cbAlign = std::max(request->cbAlign, kBufferAlign);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= bytes ? S_OK : E_FAIL;
}

// ---- IAMStreamConfig ----

STDMETHODIMP CCapturePin::SetFormat(AM_MEDIA_TYPE* pmt) { return source_->ChangeFormat(pmt); }

STDMETHODIMP CCapturePin::GetFormat(AM_MEDIA_TYPE** ppmt) {
  if (!ppmt) return E_POINTER;
  const CMediaType format = source_->CurrentFormat();
  *ppmt = CreateMediaType(&format);
  return *ppmt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CCapturePin::GetNumberOfCapabilities(int* piCount, int* piSize) {
  if (!piCount || !piSize) return E_POINTER;
  const auto& capabilities = source_->Capabilities();
  *piCount = static_cast<int>(capabilities.size());
  *piSize = capabilities.empty() ? 0 : static_cast<int>(capabilities.front().caps.size());
  return S_OK;
}

STDMETHODIMP CCapturePin::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) {
  if (!ppmt || !pSCC) return E_POINTER;
  *ppmt = nullptr;
  const auto& capabilities = source_->Capabilities();
  if (iIndex < 0) return E_INVALIDARG;
  if (iIndex >= static_cast<int>(capabilities.size())) return S_FALSE;
  const FormatCapability& capability = capabilities[static_cast<size_t>(iIndex)];
  *ppmt = CreateMediaType(&capability.type);
  if (!*ppmt) return E_OUTOFMEMORY;
  std::memcpy(pSCC, capability.caps.data(), capability.caps.size());
  return S_OK;
}

// ---- ISpecifyPropertyPages ----

STDMETHODIMP CCapturePin::GetPages(CAUUID* pPages) {
  return ListPages(pPages, {&CLSID_StreamFormatPropertyPage});
}

// ---- IAMDroppedFrames ----

STDMETHODIMP CCapturePin::GetNumDropped(long* plDropped) {
  if (!plDropped) return E_POINTER;
  *plDropped = dropped_.load();
  return S_OK;
}

STDMETHODIMP CCapturePin::GetNumNotDropped(long* plNotDropped) {
  if (!plNotDropped) return E_POINTER;
  *plNotDropped = delivered_.load();
  return S_OK;
}

STDMETHODIMP CCapturePin::GetDroppedInfo(long lSize, long* plArray, long* plNumCopied) {
  if (!plArray || !plNumCopied) return E_POINTER;
  if (lSize < 0) return E_INVALIDARG;
  std::lock_guard lock(droppedMutex_);
  const size_t count = std::min(droppedNumbers_.size(), static_cast<size_t>(lSize));
  std::copy_n(droppedNumbers_.begin(), count, plArray);
  *plNumCopied = static_cast<long>(count);
  return S_OK;
}

STDMETHODIMP CCapturePin::GetAverageFrameSize(long* plAverageSize) {
  if (!plAverageSize) return E_POINTER;
  const long delivered = delivered_.load();
  *plAverageSize = delivered == 0 ? 0 : static_cast<long>(deliveredBytes_.load() / delivered);
  return S_OK;
}

// ---- Streaming ----

ComPtr<IMediaSample> CCapturePin::TryGetBuffer() {
  IMediaSample* raw = nullptr;
  if (FAILED(GetDeliveryBuffer(&raw, nullptr, nullptr, AM_GBF_NOWAIT)) || !raw) return nullptr;
  ComPtr<IMediaSample> sample;
  sample.Attach(raw);
  return sample;
}

void CCapturePin::CountDelivered(size_t bytes) {
  ++delivered_;
  deliveredBytes_ += static_cast<long long>(bytes);
}

void CCapturePin::CountDropped(uint64_t frameNumber) {
  ++dropped_;
  std::lock_guard lock(droppedMutex_);
  if (droppedNumbers_.size() < kKeptDropped) {
    droppedNumbers_.push_back(static_cast<long>(frameNumber));
  }
}

void CCapturePin::ResetCounts() {
  delivered_ = 0;
  dropped_ = 0;
  deliveredBytes_ = 0;
  std::lock_guard lock(droppedMutex_);
  droppedNumbers_.clear();
}

}  // namespace vidorra::devices
