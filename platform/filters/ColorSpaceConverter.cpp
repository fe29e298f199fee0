// "Color Space Converter"; see ColorSpaceConverter.h.
#include "ColorSpaceConverter.h"

#include <amvideo.h>
#include <dvdmedia.h>

#include <algorithm>
#include <array>

namespace vidorra::filters {
namespace {

// Output types in the order they are offered.
struct OfferedLayout {
  PixelFormat format;
  bool bottomUp;
};
constexpr std::array kOffered = {
    OfferedLayout{PixelFormat::kRgb32, true},  OfferedLayout{PixelFormat::kRgb24, true},
    OfferedLayout{PixelFormat::kRgb565, true}, OfferedLayout{PixelFormat::kRgb555, true},
    OfferedLayout{PixelFormat::kYuy2, false},  OfferedLayout{PixelFormat::kUyvy, false},
    OfferedLayout{PixelFormat::kI420, false},  OfferedLayout{PixelFormat::kYv12, false},
    OfferedLayout{PixelFormat::kNv12, false},
};
constexpr long kOutputBuffers = 1;
constexpr double kBitsPerByte = 8.0;
constexpr double kUnitsPerSecond = 10'000'000.0;

}  // namespace

CMediaType MakeVideoMediaType(const FrameLayout& layout, const AM_MEDIA_TYPE* like) {
  VIDEOINFOHEADER info{};
  if (like && like->pbFormat && like->formattype == FORMAT_VideoInfo &&
      like->cbFormat >= sizeof(VIDEOINFOHEADER)) {
    const auto* source = reinterpret_cast<const VIDEOINFOHEADER*>(like->pbFormat);
    info.AvgTimePerFrame = source->AvgTimePerFrame;
  } else if (like && like->pbFormat && like->formattype == FORMAT_VideoInfo2 &&
             like->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    info.AvgTimePerFrame =
        reinterpret_cast<const VIDEOINFOHEADER2*>(like->pbFormat)->AvgTimePerFrame;
  }
  info.bmiHeader = layout.ToBitmapInfo();
  if (info.AvgTimePerFrame > 0) {
    info.dwBitRate = static_cast<DWORD>(layout.ImageSize() * kBitsPerByte * kUnitsPerSecond /
                                        static_cast<double>(info.AvgTimePerFrame));
  }
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&SubtypeFromPixelFormat(layout.format));
  mt.SetFormatType(&FORMAT_VideoInfo);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof(info));
  mt.SetSampleSize(static_cast<ULONG>(layout.ImageSize()));
  mt.SetTemporalCompression(FALSE);
  return mt;
}

CColorSpaceConverter::CColorSpaceConverter()
    : CTransformFilter(L"Color Space Converter", CLSID_Colour) {}

HRESULT CColorSpaceConverter::CheckInputType(const CMediaType* in) {
  return in && FrameLayout::FromMediaType(*in) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CColorSpaceConverter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  const auto from = FrameLayout::FromMediaType(*in);
  const auto to = FrameLayout::FromMediaType(*out);
  if (!from || !to) return VFW_E_TYPE_NOT_ACCEPTED;
  if (from->width != to->width || from->height != to->height) return VFW_E_TYPE_NOT_ACCEPTED;
  PixelFormatConverter probe;
  return probe.Configure(*from, *to) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CColorSpaceConverter::GetMediaType(int position, CMediaType* mt) {
  if (!InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (position < 0) return E_INVALIDARG;
  if (position >= static_cast<int>(kOffered.size())) return VFW_S_NO_MORE_ITEMS;
  const CMediaType& input = InputPin()->CurrentMediaType();
  const auto from = FrameLayout::FromMediaType(input);
  if (!from) return VFW_E_TYPE_NOT_ACCEPTED;
  FrameLayout layout{kOffered[position].format, from->width, from->height,
                     kOffered[position].bottomUp};
  if (!layout.IsValid()) {
    // An odd size has no YUV form; offer the first RGB layout in its place.
    layout = FrameLayout{PixelFormat::kRgb32, from->width, from->height, true};
  }
  *mt = MakeVideoMediaType(layout, &input);
  return S_OK;
}

HRESULT CColorSpaceConverter::DecideBufferSize(IMemAllocator* allocator,
                                               ALLOCATOR_PROPERTIES* request) {
  const auto layout = FrameLayout::FromMediaType(OutputPin()->CurrentMediaType());
  if (!layout) return VFW_E_TYPE_NOT_ACCEPTED;
  // Room after the frame lets the converter write straight into the sample.
  const auto bytes = static_cast<long>(layout->ImageSize() + PixelFormatConverter::kBufferPadding);
  return DecideBuffers(allocator, *request, {.buffers = kOutputBuffers, .bytes = bytes});
}

HRESULT CColorSpaceConverter::StartStreaming() {
  // Unconnected, there is nothing to convert; the filter still changes state.
  if (!InputPin()->IsConnected() || !OutputPin()->IsConnected()) {
    return CTransformFilter::StartStreaming();
  }
  const auto from = FrameLayout::FromMediaType(InputPin()->CurrentMediaType());
  const auto to = FrameLayout::FromMediaType(OutputPin()->CurrentMediaType());
  if (!from || !to || !converter_.Configure(*from, *to)) return VFW_E_TYPE_NOT_ACCEPTED;
  return CTransformFilter::StartStreaming();
}

HRESULT CColorSpaceConverter::Transform(IMediaSample* in, IMediaSample* out) {
  BYTE* source = nullptr;
  BYTE* destination = nullptr;
  HRESULT hr = in->GetPointer(&source);
  if (SUCCEEDED(hr)) hr = out->GetPointer(&destination);
  if (FAILED(hr)) return hr;
  if (!converter_.IsConfigured()) return VFW_E_WRONG_STATE;
  // A short frame cannot be converted; it is dropped rather than stopping the stream.
  const long length = in->GetActualDataLength();
  if (length < 0 || static_cast<size_t>(length) < converter_.Input().ImageSize()) return S_FALSE;
  // The converter may read the whole buffer (past the frame) and write the whole output buffer.
  const auto readable = static_cast<size_t>(std::max(in->GetSize(), length));
  if (!converter_.Convert(source, readable, destination, static_cast<size_t>(out->GetSize()))) {
    return S_FALSE;
  }
  out->SetActualDataLength(static_cast<long>(converter_.Output().ImageSize()));
  return S_OK;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_Colour,
    .friendlyName = L"Color Space Converter",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_UNLIKELY,
    .inputTypes = {{MEDIATYPE_Video, GUID_NULL}},
    .outputTypes = {{MEDIATYPE_Video, GUID_NULL}},
    .monikerName = {},
    .factory = FilterFactoryFor<CColorSpaceConverter>(),
});

}  // namespace
}  // namespace vidorra::filters
