// "DV Video Decoder"; see DvVideoDecoderFilter.h.
#include "DvVideoDecoderFilter.h"

#include <algorithm>
#include <cstring>

#include "DvMediaTypes.h"

namespace vidorra::filters {

namespace {

constexpr long kOutputBuffers = 2;
constexpr dv::PictureFormat kOffered[] = {dv::PictureFormat::kYuy2, dv::PictureFormat::kRgb24,
                                          dv::PictureFormat::kRgb32};

}  // namespace

CDvVideoDecoderFilter::CDvVideoDecoderFilter()
    : CTransformFilter(L"DV Video Decoder", CLSID_DVVideoCodec) {}

CDvVideoDecoderFilter::~CDvVideoDecoderFilter() = default;

HRESULT CDvVideoDecoderFilter::CheckInputType(const CMediaType* in) {
  if (!in || *in->Type() != MEDIATYPE_Video || *in->Subtype() != MEDIASUBTYPE_dvsd) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return dv::SystemOfType(*in) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDvVideoDecoderFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  const auto system = dv::SystemOfType(*in);
  const auto format = dv::PictureFormatOf(*out);
  const auto video = dv::VideoFormatOf(*out);
  if (!system || !format || !video) return VFW_E_TYPE_NOT_ACCEPTED;
  if (std::find(std::begin(kOffered), std::end(kOffered), *format) == std::end(kOffered)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  const dv::SystemFacts& facts = dv::FactsOf(*system);
  // The picture is delivered at the frame's size (RGB bottom-up, as DIBs are).
  if (video->bitmap.biWidth != facts.width || video->bitmap.biHeight != facts.height) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CDvVideoDecoderFilter::GetMediaType(int position, CMediaType* mt) {
  if (!InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (position < 0) return E_INVALIDARG;
  if (position >= static_cast<int>(std::size(kOffered))) return VFW_S_NO_MORE_ITEMS;
  const CMediaType& input = InputPin()->CurrentMediaType();
  const auto system = dv::SystemOfType(input);
  const auto video = dv::VideoFormatOf(input);
  if (!system || !video) return VFW_E_TYPE_NOT_ACCEPTED;
  const dv::SystemFacts& facts = dv::FactsOf(*system);
  *mt = dv::PictureType(kOffered[position], facts.width, facts.height,
                        video->avgTimePerFrame ? video->avgTimePerFrame : facts.avgTimePerFrame);
  return S_OK;
}

HRESULT CDvVideoDecoderFilter::DecideBufferSize(IMemAllocator* allocator,
                                                ALLOCATOR_PROPERTIES* request) {
  const auto format = dv::PictureFormatOf(OutputPin()->CurrentMediaType());
  const auto video = dv::VideoFormatOf(OutputPin()->CurrentMediaType());
  if (!format || !video) return VFW_E_TYPE_NOT_ACCEPTED;
  const long bytes =
      static_cast<long>(dv::PictureBytes(*format, video->bitmap.biWidth, video->bitmap.biHeight));
  request->cBuffers = std::max(request->cBuffers, kOutputBuffers);
  request->cbBuffer = std::max(request->cbBuffer, bytes);
  request->cbAlign = std::max(request->cbAlign, 1L);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= bytes ? S_OK : E_FAIL;
}

HRESULT CDvVideoDecoderFilter::StartStreaming() {
  const auto format = dv::PictureFormatOf(OutputPin()->CurrentMediaType());
  if (!format) return VFW_E_TYPE_NOT_ACCEPTED;
  outputFormat_ = *format;
  decoder_ = dv::DvVideoDecoder::Create();
  if (!decoder_) return E_FAIL;
  return CTransformFilter::StartStreaming();
}

HRESULT CDvVideoDecoderFilter::StopStreaming() {
  decoder_.reset();
  return CTransformFilter::StopStreaming();
}

HRESULT CDvVideoDecoderFilter::Transform(IMediaSample* in, IMediaSample* out) {
  BYTE* source = nullptr;
  BYTE* destination = nullptr;
  HRESULT hr = in->GetPointer(&source);
  if (SUCCEEDED(hr)) hr = out->GetPointer(&destination);
  if (FAILED(hr)) return hr;
  if (!decoder_) return VFW_E_WRONG_STATE;
  const long length = std::max(in->GetActualDataLength(), 0L);
  if (FAILED(decoder_->Decode({source, static_cast<size_t>(length)}, outputFormat_, picture_))) {
    ++badFrames_;
    return S_FALSE;
  }
  if (static_cast<long>(picture_.size()) > out->GetSize()) return E_UNEXPECTED;
  std::memcpy(destination, picture_.data(), picture_.size());
  out->SetActualDataLength(static_cast<long>(picture_.size()));
  out->SetSyncPoint(TRUE);
  return S_OK;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_DVVideoCodec,
    .friendlyName = L"DV Video Decoder",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_PREFERRED,
    .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}},
    .outputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_YUY2},
                    {MEDIATYPE_Video, MEDIASUBTYPE_RGB24},
                    {MEDIATYPE_Video, MEDIASUBTYPE_RGB32}},
    .monikerName = {},
    .factory = FilterFactoryFor<CDvVideoDecoderFilter>(),
});

}  // namespace
}  // namespace vidorra::filters
