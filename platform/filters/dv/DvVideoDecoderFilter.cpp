// "DV Video Decoder"; see DvVideoDecoderFilter.h.
#include "DvVideoDecoderFilter.h"

#include <algorithm>
#include <array>

#include "DvMediaTypes.h"

namespace vidorra::filters {

namespace {

constexpr long kOutputBuffers = 2;
// Planes start on a cache line, as the codec's own buffers do.
constexpr long kOutputAlignment = 64;
// The offered output formats by system, in order of preference.
constexpr std::array kOfferedPal = {dv::PictureFormat::kI420, dv::PictureFormat::kRgb32,
                                    dv::PictureFormat::kRgb24, dv::PictureFormat::kYuy2};
constexpr std::array kOfferedNtsc = {dv::PictureFormat::kY41b, dv::PictureFormat::kRgb32,
                                     dv::PictureFormat::kRgb24, dv::PictureFormat::kYuy2,
                                     dv::PictureFormat::kI420};

std::span<const dv::PictureFormat> OfferedFor(dv::DvSystem system) {
  if (system == dv::DvSystem::k625_50) return kOfferedPal;
  return kOfferedNtsc;
}

// A still image of one instant: the lines of a bottom-up DIB's second field (DV sends the
// bottom field first: the top field's lines, 0, 2, 4... counted from the top) made anew as the
// mean of the first field's lines above and below them. A motion-adaptive deinterlacer has
// nothing to compare a lone frame with and would leave it as it is.
void KeepFirstField(std::span<uint8_t> dib, int stride, int height) {
  const auto row = [&](int fromTop) {
    return dib.data() + static_cast<size_t>(height - 1 - fromTop) * static_cast<size_t>(stride);
  };
  for (int y = 0; y < height; y += 2) {
    const uint8_t* above = row(y > 0 ? y - 1 : y + 1);
    const uint8_t* below = row(y + 1 < height ? y + 1 : y - 1);
    uint8_t* line = row(y);
    for (int x = 0; x < stride; ++x) line[x] = static_cast<uint8_t>((above[x] + below[x] + 1) / 2);
  }
}

// The codec's reduced decoding for a resolution of IIPDVDec; none for another value.
std::optional<int> LowresOf(int resolution) {
  if (resolution < DVRESOLUTION_FULL || resolution > DVRESOLUTION_DC) return std::nullopt;
  return resolution - DVRESOLUTION_FULL;
}

}  // namespace

CDvVideoDecoderFilter::CDvVideoDecoderFilter()
    : CTransformFilter(L"DV Video Decoder", CLSID_DVVideoCodec) {}

CDvVideoDecoderFilter::~CDvVideoDecoderFilter() = default;

HRESULT CDvVideoDecoderFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IIPDVDec) return GetInterface(static_cast<IIPDVDec*>(this), ppv);
  if (riid == IID_IDvFullFrame) return GetInterface(static_cast<IDvFullFrame*>(this), ppv);
  return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

std::optional<dv::PictureSize> CDvVideoDecoderFilter::OutputSize(const CMediaType& input) {
  const auto system = dv::SystemOfType(input);
  if (!system) return std::nullopt;
  std::lock_guard lock(FilterLock());
  return dv::DecodedSize(*system, *LowresOf(resolution_));
}

STDMETHODIMP CDvVideoDecoderFilter::get_IPDisplay(int* displayPix) {
  if (!displayPix) return E_POINTER;
  std::lock_guard lock(FilterLock());
  *displayPix = resolution_;
  return S_OK;
}

STDMETHODIMP CDvVideoDecoderFilter::put_IPDisplay(int displayPix) {
  if (!LowresOf(displayPix)) return E_INVALIDARG;
  int previous = 0;
  {
    std::lock_guard lock(FilterLock());
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    previous = resolution_;
    if (displayPix == previous) return S_OK;
    if (!OutputPin()->IsConnected()) {
      resolution_ = displayPix;
      return S_OK;
    }
  }
  // Connected: the same format at the new size, if the receiver takes it. The graph is called
  // outside the filter lock (it takes its own lock, then ours).
  const CMediaType current = OutputPin()->CurrentMediaType();
  const ComPtr<IPin> receiver(OutputPin()->GetConnected());
  const auto format = dv::PictureFormatOf(current);
  const auto video = dv::VideoFormatOf(current);
  const auto system = dv::SystemOfType(InputPin()->CurrentMediaType());
  if (!format || !video || !system || !receiver) return VFW_E_NOT_CONNECTED;
  const dv::PictureSize size = dv::DecodedSize(*system, *LowresOf(displayPix));
  const CMediaType next = dv::PictureType(*format, size.width, size.height, video->avgTimePerFrame);
  if (receiver->QueryAccept(&next) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  const ComPtr<IFilterGraph2> graph = QueryAs<IFilterGraph2>(Graph());
  if (!graph) return VFW_E_NOT_IN_GRAPH;
  {
    std::lock_guard lock(FilterLock());
    resolution_ = displayPix;
  }
  const HRESULT hr = graph->ReconnectEx(OutputPin(), &next);
  if (SUCCEEDED(hr)) return hr;
  // Refused after all: the connection as it was.
  {
    std::lock_guard lock(FilterLock());
    resolution_ = previous;
  }
  if (!OutputPin()->IsConnected()) graph->ConnectDirect(OutputPin(), receiver.Get(), &current);
  return hr;
}

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
  const auto offered = OfferedFor(*system);
  if (std::find(offered.begin(), offered.end(), *format) == offered.end()) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  // The picture is delivered at the resolution's size (RGB bottom-up, as DIBs are).
  const auto size = OutputSize(*in);
  if (!size || video->bitmap.biWidth != size->width || video->bitmap.biHeight != size->height) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CDvVideoDecoderFilter::GetMediaType(int position, CMediaType* mt) {
  if (!InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (position < 0) return E_INVALIDARG;
  const CMediaType& input = InputPin()->CurrentMediaType();
  const auto system = dv::SystemOfType(input);
  const auto video = dv::VideoFormatOf(input);
  if (!system || !video) return VFW_E_TYPE_NOT_ACCEPTED;
  const auto offered = OfferedFor(*system);
  if (position >= static_cast<int>(offered.size())) return VFW_S_NO_MORE_ITEMS;
  const dv::SystemFacts& facts = dv::FactsOf(*system);
  const dv::PictureSize size = *OutputSize(input);
  *mt = dv::PictureType(offered[position], size.width, size.height,
                        video->avgTimePerFrame ? video->avgTimePerFrame : facts.avgTimePerFrame);
  return S_OK;
}

HRESULT CDvVideoDecoderFilter::DecideBufferSize(IMemAllocator* allocator,
                                                ALLOCATOR_PROPERTIES* request) {
  const auto format = dv::PictureFormatOf(OutputPin()->CurrentMediaType());
  const auto video = dv::VideoFormatOf(OutputPin()->CurrentMediaType());
  if (!format || !video) return VFW_E_TYPE_NOT_ACCEPTED;
  // Room after the picture lets a converter downstream read it in place.
  const auto bytes =
      static_cast<long>(dv::PictureBytes(*format, video->bitmap.biWidth, video->bitmap.biHeight) +
                        PixelFormatConverter::kBufferPadding);
  return DecideBuffers(allocator, *request,
                       {.buffers = kOutputBuffers, .bytes = bytes, .align = kOutputAlignment});
}

HRESULT CDvVideoDecoderFilter::StartStreaming() {
  // Unconnected, there is nothing to decode; the filter still changes state.
  if (!InputPin()->IsConnected() || !OutputPin()->IsConnected()) {
    return CTransformFilter::StartStreaming();
  }
  const auto format = dv::PictureFormatOf(OutputPin()->CurrentMediaType());
  const auto video = dv::VideoFormatOf(OutputPin()->CurrentMediaType());
  if (!format || !video) return VFW_E_TYPE_NOT_ACCEPTED;
  outputFormat_ = *format;
  pictureBytes_ = static_cast<long>(
      dv::PictureBytes(*format, video->bitmap.biWidth, video->bitmap.biHeight));
  int resolution = DVRESOLUTION_FULL;
  {
    std::lock_guard lock(FilterLock());
    resolution = resolution_;
  }
  decoder_ = dv::DvVideoDecoder::Create(*LowresOf(resolution));
  if (!decoder_) return E_FAIL;
  keepFrames_ = resolution != DVRESOLUTION_FULL;
  {
    std::lock_guard lock(lastFrameLock_);
    lastFrame_.clear();
  }
  copies_ = 0;
  conversions_ = 0;
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
  const auto length = static_cast<size_t>(std::max(in->GetActualDataLength(), 0L));
  // The codec may read the whole input buffer, past the frame.
  const size_t readable = std::max(static_cast<size_t>(std::max(in->GetSize(), 0L)), length);
  const std::span<uint8_t> picture(destination, static_cast<size_t>(std::max(out->GetSize(), 0L)));
  hr = decoder_->Decode({source, length}, readable, outputFormat_, picture);
  copies_ = decoder_->Copies();
  conversions_ = decoder_->Conversions();
  if (FAILED(hr)) {
    ++badFrames_;
    return S_FALSE;
  }
  if (keepFrames_) {
    std::lock_guard lock(lastFrameLock_);
    lastFrame_.assign(source, source + length);
  }
  out->SetActualDataLength(pictureBytes_);
  out->SetSyncPoint(TRUE);
  return S_OK;
}

STDMETHODIMP CDvVideoDecoderFilter::GetFullFrame(BOOL deinterlaced, BYTE* buffer, LONG* size,
                                                 LONG* width, LONG* height) {
  if (!size || !width || !height) return E_POINTER;
  std::vector<uint8_t> frame;
  {
    std::lock_guard lock(lastFrameLock_);
    frame = lastFrame_;
  }
  const auto system = dv::ReadableFrame(frame);
  if (frame.empty() || !system) return S_FALSE;
  const dv::SystemFacts& facts = dv::FactsOf(*system);
  const auto bytes = static_cast<LONG>(
      dv::PictureBytes(dv::PictureFormat::kRgb24, facts.width, facts.height));
  const LONG room = *size;
  *width = facts.width;
  *height = facts.height;
  *size = bytes;
  if (!buffer) return S_OK;
  if (room < bytes) return E_OUTOFMEMORY;
  // A decoder of its own: the streaming thread's goes on meanwhile.
  std::lock_guard lock(wholeLock_);
  if (!whole_) whole_ = dv::DvVideoDecoder::Create();
  const std::span<uint8_t> picture(buffer, static_cast<size_t>(bytes));
  if (!whole_ || FAILED(whole_->Decode(frame, frame.size(), dv::PictureFormat::kRgb24, picture))) {
    return E_FAIL;
  }
  if (deinterlaced) KeepFirstField(picture, dv::PackedStride(dv::PictureFormat::kRgb24, facts.width),
                                   facts.height);
  return S_OK;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_DVVideoCodec,
    .friendlyName = L"DV Video Decoder",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_PREFERRED,
    .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}},
    .outputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_IYUV},
                    {MEDIATYPE_Video, kSubtypeY41b},
                    {MEDIATYPE_Video, MEDIASUBTYPE_RGB32},
                    {MEDIATYPE_Video, MEDIASUBTYPE_RGB24},
                    {MEDIATYPE_Video, MEDIASUBTYPE_YUY2}},
    .monikerName = {},
    .factory = FilterFactoryFor<CDvVideoDecoderFilter>(),
});

}  // namespace
}  // namespace vidorra::filters
