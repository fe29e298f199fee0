#include "DvVideoCodec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace vidorra::dv {

namespace {

struct CodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;

constexpr int kDibRowAlign = 4;

AVPixelFormat AvFormatOf(PictureFormat f) {
  switch (f) {
    case PictureFormat::kYuy2:
      return AV_PIX_FMT_YUYV422;
    case PictureFormat::kUyvy:
      return AV_PIX_FMT_UYVY422;
    case PictureFormat::kRgb24:
      return AV_PIX_FMT_BGR24;  // DIB byte order
    case PictureFormat::kRgb32:
      return AV_PIX_FMT_BGRA;
    case PictureFormat::kI420:
      return AV_PIX_FMT_YUV420P;
  }
  return AV_PIX_FMT_NONE;
}

bool IsRgb(PictureFormat f) { return f == PictureFormat::kRgb24 || f == PictureFormat::kRgb32; }

int BytesPerPixel(PictureFormat f) {
  switch (f) {
    case PictureFormat::kYuy2:
    case PictureFormat::kUyvy:
      return 2;
    case PictureFormat::kRgb24:
      return 3;
    case PictureFormat::kRgb32:
      return 4;
    case PictureFormat::kI420:
      return 0;
  }
  return 0;
}

// Source planes and strides of a picture (bottom-up DIBs read from the last row upwards).
void SourcePlanes(const Picture& p, const uint8_t* planes[4], int strides[4]) {
  for (int i = 0; i < 4; ++i) {
    planes[i] = nullptr;
    strides[i] = 0;
  }
  if (p.format == PictureFormat::kI420) {
    const int cw = (p.width + 1) / 2, ch = (p.height + 1) / 2;
    planes[0] = p.data.data();
    strides[0] = p.width;
    planes[1] = planes[0] + static_cast<size_t>(p.width) * p.height;
    strides[1] = cw;
    planes[2] = planes[1] + static_cast<size_t>(cw) * ch;
    strides[2] = cw;
    return;
  }
  const int stride = p.stride ? p.stride : PackedStride(p.format, p.width);
  if (p.bottomUp) {
    planes[0] = p.data.data() + static_cast<size_t>(stride) * (p.height - 1);
    strides[0] = -stride;
  } else {
    planes[0] = p.data.data();
    strides[0] = stride;
  }
}

}  // namespace

int PackedStride(PictureFormat format, int width) {
  const int bpp = BytesPerPixel(format);
  if (bpp == 0) return 0;
  return (width * bpp + kDibRowAlign - 1) / kDibRowAlign * kDibRowAlign;
}

size_t PictureBytes(PictureFormat format, int width, int height) {
  if (format == PictureFormat::kI420) {
    const size_t cw = (width + 1) / 2, ch = (height + 1) / 2;
    return static_cast<size_t>(width) * height + 2 * cw * ch;
  }
  return static_cast<size_t>(PackedStride(format, width)) * height;
}

struct DvVideoEncoder::Impl {
  CodecContextPtr context;
  FramePtr frame;
  PacketPtr packet;
  SwsPtr scaler;
  int64_t pts = 0;
};

DvVideoEncoder::DvVideoEncoder(DvSystem system, std::unique_ptr<Impl> impl)
    : system_(system), impl_(std::move(impl)) {}
DvVideoEncoder::~DvVideoEncoder() = default;

std::unique_ptr<DvVideoEncoder> DvVideoEncoder::Create(DvSystem system) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
  if (!codec) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->context.reset(avcodec_alloc_context3(codec));
  if (!impl->context) return nullptr;
  const SystemFacts& facts = FactsOf(system);
  AVCodecContext* c = impl->context.get();
  c->width = facts.width;
  c->height = facts.height;
  // DV25: 4:2:0 sampling on 625 lines, 4:1:1 on 525.
  c->pix_fmt = system == DvSystem::k625_50 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV411P;
  c->time_base = AVRational{static_cast<int>(facts.rateScale), static_cast<int>(facts.rate)};
  c->thread_count = 1;
  if (avcodec_open2(c, codec, nullptr) < 0) return nullptr;
  impl->frame.reset(av_frame_alloc());
  impl->packet.reset(av_packet_alloc());
  if (!impl->frame || !impl->packet) return nullptr;
  impl->frame->format = c->pix_fmt;
  impl->frame->width = c->width;
  impl->frame->height = c->height;
  if (av_frame_get_buffer(impl->frame.get(), 0) < 0) return nullptr;
  return std::unique_ptr<DvVideoEncoder>(new DvVideoEncoder(system, std::move(impl)));
}

HRESULT DvVideoEncoder::Encode(const Picture& picture, std::vector<uint8_t>& out) {
  if (picture.width <= 0 || picture.height <= 0) return E_INVALIDARG;
  if (picture.data.size() < PictureBytes(picture.format, picture.width, picture.height)) {
    return E_INVALIDARG;
  }
  AVCodecContext* c = impl_->context.get();
  impl_->scaler.reset(sws_getCachedContext(impl_->scaler.release(), picture.width, picture.height,
                                           AvFormatOf(picture.format), c->width, c->height,
                                           c->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!impl_->scaler) return E_FAIL;
  if (av_frame_make_writable(impl_->frame.get()) < 0) return E_OUTOFMEMORY;
  const uint8_t* planes[4];
  int strides[4];
  SourcePlanes(picture, planes, strides);
  sws_scale(impl_->scaler.get(), planes, strides, 0, picture.height, impl_->frame->data,
            impl_->frame->linesize);
  impl_->frame->pts = impl_->pts++;
  if (avcodec_send_frame(c, impl_->frame.get()) < 0) return E_FAIL;
  if (avcodec_receive_packet(c, impl_->packet.get()) < 0) return E_FAIL;
  out.assign(impl_->packet->data, impl_->packet->data + impl_->packet->size);
  av_packet_unref(impl_->packet.get());
  return out.size() == FactsOf(system_).frameBytes ? S_OK : E_FAIL;
}

struct DvVideoDecoder::Impl {
  CodecContextPtr context;
  FramePtr frame;
  PacketPtr packet;
  SwsPtr scaler;
};

DvVideoDecoder::DvVideoDecoder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DvVideoDecoder::~DvVideoDecoder() = default;

std::unique_ptr<DvVideoDecoder> DvVideoDecoder::Create() {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
  if (!codec) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->context.reset(avcodec_alloc_context3(codec));
  if (!impl->context) return nullptr;
  impl->context->thread_count = 1;
  if (avcodec_open2(impl->context.get(), codec, nullptr) < 0) return nullptr;
  impl->frame.reset(av_frame_alloc());
  impl->packet.reset(av_packet_alloc());
  if (!impl->frame || !impl->packet) return nullptr;
  return std::unique_ptr<DvVideoDecoder>(new DvVideoDecoder(std::move(impl)));
}

HRESULT DvVideoDecoder::Decode(std::span<const uint8_t> frame, PictureFormat format,
                               std::vector<uint8_t>& out) {
  if (!CheckFrame(frame)) return E_INVALIDARG;
  if (format == PictureFormat::kI420 || format == PictureFormat::kUyvy) return E_INVALIDARG;
  AVPacket* pkt = impl_->packet.get();
  if (av_new_packet(pkt, static_cast<int>(frame.size())) < 0) return E_OUTOFMEMORY;
  std::memcpy(pkt->data, frame.data(), frame.size());
  const int sent = avcodec_send_packet(impl_->context.get(), pkt);
  av_packet_unref(pkt);
  if (sent < 0) return E_INVALIDARG;
  AVFrame* f = impl_->frame.get();
  if (avcodec_receive_frame(impl_->context.get(), f) < 0) return E_INVALIDARG;
  impl_->scaler.reset(sws_getCachedContext(
      impl_->scaler.release(), f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
      f->height, AvFormatOf(format), SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!impl_->scaler) {
    av_frame_unref(f);
    return E_FAIL;
  }
  const int stride = PackedStride(format, f->width);
  out.assign(PictureBytes(format, f->width, f->height), 0);
  uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {stride, 0, 0, 0};
  if (IsRgb(format)) {
    // DIBs are bottom-up.
    dst[0] = out.data() + static_cast<size_t>(stride) * (f->height - 1);
    dstStride[0] = -stride;
  }
  sws_scale(impl_->scaler.get(), f->data, f->linesize, 0, f->height, dst, dstStride);
  av_frame_unref(f);
  return S_OK;
}

}  // namespace vidorra::dv
