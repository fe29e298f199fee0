// MjpegEncoder; see MjpegEncoder.h.
#include "MjpegEncoder.h"

#include <cstring>

#include "LibavPointers.h"

namespace vidorra::devices::sim {

namespace {

// A camera's usual quality: visible detail, small frames. qscale 1 (best) to 31.
constexpr int kQuality = 4;
constexpr int kTimeBase = 30;

}  // namespace

struct MjpegEncoder::Impl {
  filters::CodecContextPtr context;
  filters::FramePtr frame;
  filters::PacketPtr packet;
  int64_t pts = 0;
};

MjpegEncoder::MjpegEncoder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
MjpegEncoder::~MjpegEncoder() = default;

std::unique_ptr<MjpegEncoder> MjpegEncoder::Create(int width, int height) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (!codec) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->context.reset(avcodec_alloc_context3(codec));
  if (!impl->context) return nullptr;
  AVCodecContext* c = impl->context.get();
  c->width = width;
  c->height = height;
  c->pix_fmt = AV_PIX_FMT_YUVJ420P;
  c->color_range = AVCOL_RANGE_JPEG;
  c->time_base = AVRational{1, kTimeBase};
  c->thread_count = 1;
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = FF_QP2LAMBDA * kQuality;
  if (avcodec_open2(c, codec, nullptr) < 0) return nullptr;
  impl->frame.reset(av_frame_alloc());
  impl->packet.reset(av_packet_alloc());
  if (!impl->frame || !impl->packet) return nullptr;
  return std::unique_ptr<MjpegEncoder>(new MjpegEncoder(std::move(impl)));
}

HRESULT MjpegEncoder::Encode(std::span<const uint8_t> picture, std::span<uint8_t> out,
                             size_t* length) {
  AVCodecContext* c = impl_->context.get();
  const size_t luma = static_cast<size_t>(c->width) * c->height;
  const size_t chroma = static_cast<size_t>((c->width + 1) / 2) * ((c->height + 1) / 2);
  if (picture.size() < luma + 2 * chroma) return E_INVALIDARG;
  // The frame points into the caller's picture: no copy.
  AVFrame* f = impl_->frame.get();
  av_frame_unref(f);
  f->format = c->pix_fmt;
  f->width = c->width;
  f->height = c->height;
  f->color_range = AVCOL_RANGE_JPEG;
  f->data[0] = const_cast<uint8_t*>(picture.data());
  f->data[1] = f->data[0] + luma;
  f->data[2] = f->data[1] + chroma;
  f->linesize[0] = c->width;
  f->linesize[1] = f->linesize[2] = (c->width + 1) / 2;
  f->quality = c->global_quality;
  f->pts = impl_->pts++;
  const int sent = avcodec_send_frame(c, f);
  f->data[0] = f->data[1] = f->data[2] = nullptr;
  if (sent < 0) return E_FAIL;
  AVPacket* packet = impl_->packet.get();
  if (avcodec_receive_packet(c, packet) < 0) return E_FAIL;
  HRESULT hr = S_OK;
  if (static_cast<size_t>(packet->size) > out.size()) {
    hr = E_OUTOFMEMORY;
  } else {
    std::memcpy(out.data(), packet->data, static_cast<size_t>(packet->size));
    *length = static_cast<size_t>(packet->size);
  }
  av_packet_unref(packet);
  return hr;
}

}  // namespace vidorra::devices::sim
