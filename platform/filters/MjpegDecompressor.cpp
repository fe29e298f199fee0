// "MJPEG Decompressor"; see MjpegDecompressor.h.
#include "MjpegDecompressor.h"

#include <algorithm>
#include <cstdlib>

#include "ColorSpaceConverter.h"
#include "LibavPointers.h"

namespace vidorra::filters {

namespace {

constexpr long kOutputBuffers = 3;
constexpr PixelFormat kOffered[] = {PixelFormat::kYuy2, PixelFormat::kRgb32, PixelFormat::kRgb24};

AVPixelFormat AvFormatOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::kYuy2:
      return AV_PIX_FMT_YUYV422;
    case PixelFormat::kRgb32:
      return AV_PIX_FMT_BGRA;  // DIB byte order
    case PixelFormat::kRgb24:
      return AV_PIX_FMT_BGR24;
    default:
      return AV_PIX_FMT_NONE;
  }
}

// JPEG pictures decode to full-range YCbCr, which libswscale wants named as the limited-range
// layout with its range given apart.
AVPixelFormat WithoutRange(AVPixelFormat format, bool* fullRange) {
  *fullRange = true;
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      return AV_PIX_FMT_YUV440P;
    default:
      *fullRange = false;
      return format;
  }
}

// The picture size of an MJPG type (VIDEOINFOHEADER or VIDEOINFOHEADER2).
std::optional<FrameLayout> JpegSizeOf(const CMediaType& mt) {
  if (mt.majortype != MEDIATYPE_Video || mt.subtype != MEDIASUBTYPE_MJPG) return std::nullopt;
  const BITMAPINFOHEADER* header = BitmapInfoOf(mt);
  if (!header || header->biWidth <= 0 || header->biHeight == 0) return std::nullopt;
  FrameLayout size;
  size.width = header->biWidth;
  size.height = std::abs(header->biHeight);
  return size;
}

bool Offered(PixelFormat format) {
  return std::find(std::begin(kOffered), std::end(kOffered), format) != std::end(kOffered);
}

}  // namespace

struct CMjpegDecompressor::Decoder {
  CodecContextPtr context;
  FramePtr frame;
  PacketPtr packet;
  SwsPtr scaler;
};

CMjpegDecompressor::CMjpegDecompressor()
    : CTransformFilter(L"MJPEG Decompressor", CLSID_MjpegDec) {}

CMjpegDecompressor::~CMjpegDecompressor() = default;

HRESULT CMjpegDecompressor::CheckInputType(const CMediaType* in) {
  return in && JpegSizeOf(*in) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMjpegDecompressor::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (!in || !out) return E_POINTER;
  const auto size = JpegSizeOf(*in);
  const auto layout = FrameLayout::FromMediaType(*out);
  if (!size || !layout || !Offered(layout->format) || !layout->IsValid()) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return layout->width == size->width && layout->height == size->height ? S_OK
                                                                        : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CMjpegDecompressor::GetMediaType(int position, CMediaType* mt) {
  if (!InputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (position < 0) return E_INVALIDARG;
  if (position >= static_cast<int>(std::size(kOffered))) return VFW_S_NO_MORE_ITEMS;
  const CMediaType& input = InputPin()->CurrentMediaType();
  auto layout = JpegSizeOf(input);
  if (!layout) return VFW_E_TYPE_NOT_ACCEPTED;
  layout->format = kOffered[position];
  layout->bottomUp = IsRgb(layout->format);
  *mt = MakeVideoMediaType(*layout, &input);
  return S_OK;
}

HRESULT CMjpegDecompressor::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
  const auto layout = FrameLayout::FromMediaType(OutputPin()->CurrentMediaType());
  if (!layout) return VFW_E_TYPE_NOT_ACCEPTED;
  const long bytes = static_cast<long>(layout->ImageSize());
  request->cBuffers = std::max(request->cBuffers, kOutputBuffers);
  request->cbBuffer = std::max(request->cbBuffer, bytes);
  request->cbAlign = std::max(request->cbAlign, 1L);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= bytes ? S_OK : E_FAIL;
}

HRESULT CMjpegDecompressor::StartStreaming() {
  const auto layout = FrameLayout::FromMediaType(OutputPin()->CurrentMediaType());
  if (!layout) return VFW_E_TYPE_NOT_ACCEPTED;
  output_ = *layout;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
  if (!codec) return VFW_E_NO_DECOMPRESSOR;
  auto decoder = std::make_unique<Decoder>();
  decoder->context.reset(avcodec_alloc_context3(codec));
  if (!decoder->context) return E_OUTOFMEMORY;
  decoder->context->thread_count = 1;
  if (avcodec_open2(decoder->context.get(), codec, nullptr) < 0) return VFW_E_NO_DECOMPRESSOR;
  decoder->frame.reset(av_frame_alloc());
  decoder->packet.reset(av_packet_alloc());
  if (!decoder->frame || !decoder->packet) return E_OUTOFMEMORY;
  decoder_ = std::move(decoder);
  return CTransformFilter::StartStreaming();
}

HRESULT CMjpegDecompressor::StopStreaming() {
  decoder_.reset();
  return CTransformFilter::StopStreaming();
}

HRESULT CMjpegDecompressor::Transform(IMediaSample* in, IMediaSample* out) {
  if (!decoder_) return VFW_E_WRONG_STATE;
  BYTE* source = nullptr;
  BYTE* destination = nullptr;
  HRESULT hr = in->GetPointer(&source);
  if (SUCCEEDED(hr)) hr = out->GetPointer(&destination);
  if (FAILED(hr)) return hr;
  const long length = in->GetActualDataLength();
  if (length <= 0 || static_cast<size_t>(out->GetSize()) < output_.ImageSize()) {
    ++badFrames_;
    return S_FALSE;
  }
  AVPacket* packet = decoder_->packet.get();
  if (av_new_packet(packet, static_cast<int>(length)) < 0) return E_OUTOFMEMORY;
  std::copy_n(source, length, packet->data);
  const int sent = avcodec_send_packet(decoder_->context.get(), packet);
  av_packet_unref(packet);
  AVFrame* frame = decoder_->frame.get();
  // A damaged image, or one of another size than the connection's, is dropped.
  if (sent < 0 || avcodec_receive_frame(decoder_->context.get(), frame) < 0) {
    ++badFrames_;
    return S_FALSE;
  }
  if (frame->width != output_.width || frame->height != output_.height) {
    av_frame_unref(frame);
    ++badFrames_;
    return S_FALSE;
  }
  bool impliedFullRange = false;
  const AVPixelFormat decoded =
      WithoutRange(static_cast<AVPixelFormat>(frame->format), &impliedFullRange);
  const bool fullRange = impliedFullRange || frame->color_range == AVCOL_RANGE_JPEG;
  decoder_->scaler.reset(sws_getCachedContext(
      decoder_->scaler.release(), frame->width, frame->height, decoded, output_.width,
      output_.height, AvFormatOf(output_.format), SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!decoder_->scaler) {
    av_frame_unref(frame);
    return E_FAIL;
  }
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(decoder_->scaler.get(), coefficients, fullRange ? 1 : 0, coefficients,
                           IsRgb(output_.format) ? 1 : 0, 0, 1 << 16, 1 << 16);
  const int stride = static_cast<int>(output_.Stride());
  uint8_t* planes[4] = {destination, nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  if (output_.bottomUp) {
    planes[0] = destination + static_cast<size_t>(stride) * (output_.height - 1);
    strides[0] = -stride;
  }
  sws_scale(decoder_->scaler.get(), frame->data, frame->linesize, 0, frame->height, planes,
            strides);
  av_frame_unref(frame);
  out->SetActualDataLength(static_cast<long>(output_.ImageSize()));
  out->SetSyncPoint(TRUE);
  return S_OK;
}

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_MjpegDec,
    .friendlyName = L"MJPEG Decompressor",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_NORMAL,
    .inputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_MJPG}},
    .outputTypes = {{MEDIATYPE_Video, MEDIASUBTYPE_YUY2},
                    {MEDIATYPE_Video, MEDIASUBTYPE_RGB32},
                    {MEDIATYPE_Video, MEDIASUBTYPE_RGB24}},
    .monikerName = {},
    .factory = FilterFactoryFor<CMjpegDecompressor>(),
});

}  // namespace
}  // namespace vidorra::filters
