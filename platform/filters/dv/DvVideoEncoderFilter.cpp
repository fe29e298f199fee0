// "DV Video Encoder"; see DvVideoEncoderFilter.h.
#include "DvVideoEncoderFilter.h"

#include <algorithm>

#include "DvMediaTypes.h"

namespace vidorra::filters {

namespace {
constexpr long kOutputBuffers = 2;
}

CDvVideoEncoderFilter::CDvVideoEncoderFilter()
    : CTransformFilter(L"DV Video Encoder", CLSID_DVVideoEnc) {}

CDvVideoEncoderFilter::~CDvVideoEncoderFilter() = default;

HRESULT CDvVideoEncoderFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IDVEnc) return GetInterface(static_cast<IDVEnc*>(this), ppv);
  return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CDvVideoEncoderFilter::CheckInputType(const CMediaType* in) {
  if (!in) return E_POINTER;
  return dv::PictureFormatOf(*in) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDvVideoEncoderFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  if (!dv::PictureFormatOf(*in)) return VFW_E_TYPE_NOT_ACCEPTED;
  if (*out->Type() != MEDIATYPE_Video || *out->Subtype() != MEDIASUBTYPE_dvsd) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return dv::SystemOfType(*out) == system_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDvVideoEncoderFilter::GetMediaType(int position, CMediaType* mt) {
  if (!InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  const auto video = dv::VideoFormatOf(InputPin()->CurrentMediaType());
  if (!video) return VFW_E_TYPE_NOT_ACCEPTED;
  *mt = dv::DvVideoType(system_, video->avgTimePerFrame);
  return S_OK;
}

HRESULT CDvVideoEncoderFilter::DecideBufferSize(IMemAllocator* allocator,
                                                ALLOCATOR_PROPERTIES* request) {
  // Room after the frame lets the codec write it straight into the sample.
  const auto bytes = static_cast<long>(dv::FactsOf(system_).frameBytes + dv::kPadding);
  return DecideBuffers(allocator, *request, {.buffers = kOutputBuffers, .bytes = bytes});
}

HRESULT CDvVideoEncoderFilter::StartStreaming() {
  // Unconnected, there is nothing to code; the filter still changes state.
  if (!InputPin()->IsConnected() || !OutputPin()->IsConnected()) {
    return CTransformFilter::StartStreaming();
  }
  const CMediaType& input = InputPin()->CurrentMediaType();
  const auto format = dv::PictureFormatOf(input);
  const auto video = dv::VideoFormatOf(input);
  if (!format || !video) return VFW_E_TYPE_NOT_ACCEPTED;
  picture_ = {};
  picture_.format = *format;
  picture_.width = video->bitmap.biWidth;
  // DIBs in RGB are bottom-up unless the height is negative; YUV is always top-down.
  const bool rgb = *format == dv::PictureFormat::kRgb24 || *format == dv::PictureFormat::kRgb32;
  picture_.height = std::abs(video->bitmap.biHeight);
  picture_.bottomUp = rgb && video->bitmap.biHeight > 0;
  picture_.stride = dv::PackedStride(*format, picture_.width);
  encoder_ = dv::DvVideoEncoder::Create(system_);
  if (!encoder_) return E_FAIL;
  conversions_ = 0;
  copies_ = 0;
  return CTransformFilter::StartStreaming();
}

HRESULT CDvVideoEncoderFilter::StopStreaming() {
  encoder_.reset();
  return CTransformFilter::StopStreaming();
}

HRESULT CDvVideoEncoderFilter::Transform(IMediaSample* in, IMediaSample* out) {
  BYTE* source = nullptr;
  BYTE* destination = nullptr;
  HRESULT hr = in->GetPointer(&source);
  if (SUCCEEDED(hr)) hr = out->GetPointer(&destination);
  if (FAILED(hr)) return hr;
  if (!encoder_) return VFW_E_WRONG_STATE;
  const long length = std::max(in->GetActualDataLength(), 0L);
  dv::Picture picture = picture_;
  picture.data = {source, static_cast<size_t>(length)};
  hr = encoder_->Encode(picture, {destination, static_cast<size_t>(std::max(out->GetSize(), 0L))});
  conversions_ = encoder_->Conversions();
  copies_ = encoder_->Copies();
  if (FAILED(hr)) return hr;
  out->SetActualDataLength(static_cast<long>(dv::FactsOf(system_).frameBytes));
  out->SetSyncPoint(TRUE);
  return S_OK;
}

STDMETHODIMP CDvVideoEncoderFilter::get_IFormatResolution(int* VideoFormat, int* DVFormat,
                                                          int* Resolution, BYTE fDVInfo,
                                                          DVINFO* sDVInfo) {
  if (!VideoFormat || !DVFormat || !Resolution) return E_POINTER;
  if (fDVInfo && !sDVInfo) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *VideoFormat =
      system_ == dv::DvSystem::k625_50 ? DVENCODERVIDEOFORMAT_PAL : DVENCODERVIDEOFORMAT_NTSC;
  *DVFormat = DVENCODERFORMAT_DVSD;
  *Resolution = DVENCODERRESOLUTION_720x480;
  if (fDVInfo) {
    // The packs a frame of this encoder carries: no sound, the system's 50/60 bit.
    *sDVInfo = DVINFO{};
    sDVInfo->dwDVAAuxSrc = sDVInfo->dwDVAAuxCtl = 0xFFFFFFFFu;
    sDVInfo->dwDVAAuxSrc1 = sDVInfo->dwDVAAuxCtl1 = 0xFFFFFFFFu;
    sDVInfo->dwDVVAuxSrc = sDVInfo->dwDVVAuxCtl = 0xFFFFFFFFu;
  }
  return S_OK;
}

STDMETHODIMP CDvVideoEncoderFilter::put_IFormatResolution(int VideoFormat, int DVFormat,
                                                          int Resolution, BYTE, DVINFO*) {
  std::lock_guard lock(filterLock_);
  if (VideoFormat != DVENCODERVIDEOFORMAT_PAL && VideoFormat != DVENCODERVIDEOFORMAT_NTSC) {
    return E_INVALIDARG;
  }
  // Only full-resolution DVSD is produced.
  if (DVFormat != DVENCODERFORMAT_DVSD || Resolution != DVENCODERRESOLUTION_720x480) {
    return E_INVALIDARG;
  }
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  const dv::DvSystem wanted =
      VideoFormat == DVENCODERVIDEOFORMAT_PAL ? dv::DvSystem::k625_50 : dv::DvSystem::k525_60;
  if (wanted != system_ && OutputPin()->IsConnected()) return VFW_E_ALREADY_CONNECTED;
  system_ = wanted;
  return S_OK;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_DVVideoEnc,
    .friendlyName = L"DV Video Encoder",
    .category = CLSID_VideoCompressorCategory,
    .merit = MERIT_DO_NOT_USE,
    .inputTypes = {{MEDIATYPE_Video, GUID_NULL}},
    .outputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}},
    .monikerName = L"DV Video Encoder",
    .factory = FilterFactoryFor<CDvVideoEncoderFilter>(),
});

}  // namespace
}  // namespace vidorra::filters
