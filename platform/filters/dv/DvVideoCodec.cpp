#include "DvVideoCodec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <array>
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
struct BufferDeleter {
  void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using BufferPtr = std::unique_ptr<AVBufferRef, BufferDeleter>;

static_assert(kPadding >= AV_INPUT_BUFFER_PADDING_SIZE);

constexpr int kDibRowAlign = 4;
// Same-size conversions only interpolate chroma; bicubic is what the command-line tools use.
constexpr int kConvertFlags = SWS_BICUBIC;
// Pictures of another size are scaled to the system's.
constexpr int kScaleFlags = SWS_BILINEAR;

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
    case PictureFormat::kY41b:
      return AV_PIX_FMT_YUV411P;
  }
  return AV_PIX_FMT_NONE;
}

bool IsRgb(PictureFormat f) { return f == PictureFormat::kRgb24 || f == PictureFormat::kRgb32; }
bool IsPlanar(PictureFormat f) { return f == PictureFormat::kI420 || f == PictureFormat::kY41b; }

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
    case PictureFormat::kY41b:
      return 0;
  }
  return 0;
}

// Width and height of the chroma planes of a planar format.
std::pair<int, int> ChromaSize(PictureFormat f, int width, int height) {
  if (f == PictureFormat::kY41b) return {(width + 3) / 4, height};
  return {(width + 1) / 2, (height + 1) / 2};
}

struct Planes {
  std::array<uint8_t*, 4> data{};
  std::array<int, 4> linesize{};
};

// The planes of a picture at base: planar Y, U, V one after the other; packed rows of `stride`
// bytes (0: the format's own), read from the last row upwards when bottomUp.
Planes PlanesOf(PictureFormat format, int width, int height, bool bottomUp, const uint8_t* base,
                int stride = 0) {
  Planes p;
  auto* bytes = const_cast<uint8_t*>(base);
  if (IsPlanar(format)) {
    const auto [cw, ch] = ChromaSize(format, width, height);
    p.data = {bytes, bytes + static_cast<size_t>(width) * height, nullptr, nullptr};
    p.data[2] = p.data[1] + static_cast<size_t>(cw) * ch;
    p.linesize = {width, cw, cw, 0};
    return p;
  }
  const int rowBytes = stride ? stride : PackedStride(format, width);
  if (bottomUp) {
    p.data[0] = bytes + static_cast<size_t>(rowBytes) * (height - 1);
    p.linesize[0] = -rowBytes;
  } else {
    p.data[0] = bytes;
    p.linesize[0] = rowBytes;
  }
  return p;
}

// Buffer references over memory the caller owns, so that the codec reads or writes it in place.
// The caller's memory must not stay referenced by the codec once a call returns: a reference the
// caller keeps is checked by its count, one it hands over notes its release in *held.
void KeepMemory(void*, uint8_t*) {}
void NoteReleased(void* opaque, uint8_t*) { *static_cast<bool*>(opaque) = false; }

BufferPtr Borrow(const uint8_t* data, size_t size) {
  return BufferPtr(av_buffer_create(const_cast<uint8_t*>(data), size, KeepMemory, nullptr,
                                    AV_BUFFER_FLAG_READONLY));
}

AVBufferRef* Lend(uint8_t* data, size_t size, bool* held) {
  AVBufferRef* ref = av_buffer_create(data, size, NoteReleased, held, 0);
  if (ref) *held = true;
  return ref;
}

bool StillReferenced(const BufferPtr& memory) { return av_buffer_get_ref_count(memory.get()) > 1; }

// Converts a decoded frame into a picture of `format` (RGB bottom-up, as DIBs are). The rows of
// a bottom-up picture are put in order by reading the planes upwards; the conversion library
// reads upside-down 4:1:1 planes wrongly, so those are written upwards instead (right at the
// codec's 720-pixel width).
void ConvertFrame(SwsContext* scaler, const AVFrame* f, PictureFormat format, PictureSize size,
                  std::span<uint8_t> out) {
  std::array<const uint8_t*, 4> planes{};
  std::array<int, 4> linesizes{};
  for (size_t i = 0; i < planes.size(); ++i) {
    planes[i] = f->data[i];
    linesizes[i] = f->linesize[i];
  }
  const bool upwards = IsRgb(format) && f->format != AV_PIX_FMT_YUV411P;
  if (upwards) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
    for (size_t i = 0; i < planes.size() && planes[i]; ++i) {
      const bool chroma = (i == 1 || i == 2) && desc;
      const int rows = chroma ? AV_CEIL_RSHIFT(f->height, desc->log2_chroma_h) : f->height;
      planes[i] += static_cast<ptrdiff_t>(linesizes[i]) * (rows - 1);
      linesizes[i] = -linesizes[i];
    }
  }
  const Planes target =
      PlanesOf(format, size.width, size.height, IsRgb(format) && !upwards, out.data());
  sws_scale(scaler, planes.data(), linesizes.data(), 0, f->height, target.data.data(),
            target.linesize.data());
}

}  // namespace

int PackedStride(PictureFormat format, int width) {
  const int bpp = BytesPerPixel(format);
  if (bpp == 0) return 0;
  return (width * bpp + kDibRowAlign - 1) / kDibRowAlign * kDibRowAlign;
}

size_t PictureBytes(PictureFormat format, int width, int height) {
  if (IsPlanar(format)) {
    const auto [cw, ch] = ChromaSize(format, width, height);
    return static_cast<size_t>(width) * height + 2 * static_cast<size_t>(cw) * ch;
  }
  return static_cast<size_t>(PackedStride(format, width)) * height;
}

PictureSize DecodedSize(DvSystem system, int lowres) {
  const SystemFacts& facts = FactsOf(system);
  // The DC picture is the codec's eighth (90 pixels) less its last two columns: 88.
  constexpr int kDcWidth = 88;
  return {lowres >= kMaxLowres ? kDcWidth : facts.width >> lowres, facts.height >> lowres};
}

PictureFormat NativeFormat(DvSystem system) {
  return system == DvSystem::k625_50 ? PictureFormat::kI420 : PictureFormat::kY41b;
}

// ---- Encoder ----------------------------------------------------------------------------------

struct DvVideoEncoder::Impl {
  CodecContextPtr context;
  FramePtr converted;  // the codec's own format, for pictures that need converting
  FramePtr borrowed;   // a picture read where it lies
  PacketPtr packet;
  SwsPtr scaler;
  int64_t pts = 0;
  // Where the codec writes the frame of the current call (null: its own buffer).
  std::span<uint8_t> target;
  bool targetHeld = false;

  static int GetEncodeBuffer(AVCodecContext* c, AVPacket* packet, int flags) {
    auto* impl = static_cast<Impl*>(c->opaque);
    const auto needed = static_cast<size_t>(packet->size) + AV_INPUT_BUFFER_PADDING_SIZE;
    if (impl->target.empty() || impl->target.size() < needed) {
      return avcodec_default_get_encode_buffer(c, packet, flags);
    }
    packet->buf = Lend(impl->target.data(), impl->target.size(), &impl->targetHeld);
    if (!packet->buf) return AVERROR(ENOMEM);
    packet->data = packet->buf->data;
    return 0;
  }

  static std::unique_ptr<Impl> Open(DvSystem system) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    if (!codec) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->context.reset(avcodec_alloc_context3(codec));
    if (!impl->context) return nullptr;
    const SystemFacts& facts = FactsOf(system);
    AVCodecContext* c = impl->context.get();
    c->width = facts.width;
    c->height = facts.height;
    c->pix_fmt = AvFormatOf(NativeFormat(system));
    c->time_base = AVRational{static_cast<int>(facts.rateScale), static_cast<int>(facts.rate)};
    c->thread_count = 1;
    c->thread_type = 0;
    if (codec->capabilities & AV_CODEC_CAP_DR1) {
      c->opaque = impl.get();
      c->get_encode_buffer = GetEncodeBuffer;
    }
    if (avcodec_open2(c, codec, nullptr) < 0) return nullptr;
    impl->converted.reset(av_frame_alloc());
    impl->borrowed.reset(av_frame_alloc());
    impl->packet.reset(av_packet_alloc());
    if (!impl->converted || !impl->borrowed || !impl->packet) return nullptr;
    impl->converted->format = c->pix_fmt;
    impl->converted->width = c->width;
    impl->converted->height = c->height;
    if (av_frame_get_buffer(impl->converted.get(), 0) < 0) return nullptr;
    return impl;
  }

  // The frame to code: the picture itself when it is in the codec's own format and size, else
  // the picture converted (and scaled) into `converted`. Null when the conversion fails.
  AVFrame* Input(const Picture& picture, const BufferPtr& memory, bool* convertedIt) {
    AVCodecContext* c = context.get();
    const Planes in = PlanesOf(picture.format, picture.width, picture.height, picture.bottomUp,
                               picture.data.data(), picture.stride);
    *convertedIt = AvFormatOf(picture.format) != c->pix_fmt || picture.width != c->width ||
                   picture.height != c->height;
    if (!*convertedIt) {
      AVFrame* f = borrowed.get();
      f->format = c->pix_fmt;
      f->width = c->width;
      f->height = c->height;
      f->buf[0] = av_buffer_ref(memory.get());
      if (!f->buf[0]) return nullptr;
      for (size_t i = 0; i < in.data.size(); ++i) {
        f->data[i] = in.data[i];
        f->linesize[i] = in.linesize[i];
      }
      f->extended_data = f->data;
      return f;
    }
    const bool sameSize = picture.width == c->width && picture.height == c->height;
    scaler.reset(sws_getCachedContext(scaler.release(), picture.width, picture.height,
                                      AvFormatOf(picture.format), c->width, c->height, c->pix_fmt,
                                      sameSize ? kConvertFlags : kScaleFlags, nullptr, nullptr,
                                      nullptr));
    if (!scaler || av_frame_make_writable(converted.get()) < 0) return nullptr;
    sws_scale(scaler.get(), in.data.data(), in.linesize.data(), 0, picture.height,
              converted->data, converted->linesize);
    return converted.get();
  }
};

DvVideoEncoder::DvVideoEncoder(DvSystem system, std::unique_ptr<Impl> impl)
    : system_(system), impl_(std::move(impl)) {}
DvVideoEncoder::~DvVideoEncoder() = default;

std::unique_ptr<DvVideoEncoder> DvVideoEncoder::Create(DvSystem system) {
  auto impl = Impl::Open(system);
  if (!impl) return nullptr;
  return std::unique_ptr<DvVideoEncoder>(new DvVideoEncoder(system, std::move(impl)));
}

HRESULT DvVideoEncoder::Encode(const Picture& picture, std::span<uint8_t> out) {
  if (picture.width <= 0 || picture.height <= 0) return E_INVALIDARG;
  const size_t pictureBytes =
      picture.stride && !IsPlanar(picture.format)
          ? static_cast<size_t>(picture.stride) * picture.height
          : PictureBytes(picture.format, picture.width, picture.height);
  if (picture.data.size() < pictureBytes) return E_INVALIDARG;
  const size_t frameBytes = FactsOf(system_).frameBytes;
  if (out.size() < frameBytes) return E_INVALIDARG;

  const BufferPtr memory = Borrow(picture.data.data(), picture.data.size());
  if (!memory) return E_OUTOFMEMORY;
  bool convertedIt = false;
  AVFrame* input = impl_->Input(picture, memory, &convertedIt);
  if (!input) return E_FAIL;
  if (convertedIt) ++conversions_;
  input->pts = impl_->pts++;
  AVCodecContext* c = impl_->context.get();
  impl_->target = out;
  int result = avcodec_send_frame(c, input);
  av_frame_unref(impl_->borrowed.get());
  AVPacket* packet = impl_->packet.get();
  if (result >= 0) result = avcodec_receive_packet(c, packet);
  impl_->target = {};
  HRESULT hr = S_OK;
  if (result < 0 || static_cast<size_t>(packet->size) != frameBytes) {
    hr = E_FAIL;
  } else if (packet->data != out.data()) {
    std::memcpy(out.data(), packet->data, frameBytes);
    ++copies_;
  }
  av_packet_unref(packet);
  if (StillReferenced(memory) || impl_->targetHeld) {
    // The codec still refers to memory that is the caller's once this returns: start afresh.
    impl_.reset();
    impl_ = Impl::Open(system_);
    if (!impl_) return E_OUTOFMEMORY;
  }
  return hr;
}

HRESULT DvVideoEncoder::Encode(const Picture& picture, std::vector<uint8_t>& frame) {
  const size_t frameBytes = FactsOf(system_).frameBytes;
  frame.resize(frameBytes + kPadding);
  const HRESULT hr = Encode(picture, std::span<uint8_t>(frame));
  frame.resize(SUCCEEDED(hr) ? frameBytes : 0);
  return hr;
}

// ---- Decoder ----------------------------------------------------------------------------------

struct DvVideoDecoder::Impl {
  CodecContextPtr context;
  FramePtr frame;
  PacketPtr packet;
  SwsPtr scaler;
  std::vector<uint8_t> padded;  // a frame without room after it, copied
  // Where the codec decodes the picture of the current call (empty: its own buffers), when the
  // picture is in the codec's own format.
  AVPixelFormat targetFormat = AV_PIX_FMT_NONE;
  int targetWidth = 0;
  int targetHeight = 0;
  std::span<uint8_t> target;
  bool targetHeld = false;

  static int GetBuffer(AVCodecContext* c, AVFrame* f, int flags) {
    auto* impl = static_cast<Impl*>(c->opaque);
    if (impl->target.empty() || f->format != impl->targetFormat ||
        f->width != impl->targetWidth || f->height != impl->targetHeight) {
      return avcodec_default_get_buffer2(c, f, flags);
    }
    f->buf[0] = Lend(impl->target.data(), impl->target.size(), &impl->targetHeld);
    if (!f->buf[0]) return AVERROR(ENOMEM);
    const PictureFormat format =
        f->format == AV_PIX_FMT_YUV420P ? PictureFormat::kI420 : PictureFormat::kY41b;
    const Planes planes = PlanesOf(format, f->width, f->height, false, impl->target.data());
    for (size_t i = 0; i < planes.data.size(); ++i) {
      f->data[i] = planes.data[i];
      f->linesize[i] = planes.linesize[i];
    }
    f->extended_data = f->data;
    return 0;
  }

  static std::unique_ptr<Impl> Open(int lowres) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    if (!codec) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->context.reset(avcodec_alloc_context3(codec));
    if (!impl->context) return nullptr;
    // One thread: the calls come from one streaming thread, and the codec's buffers are the
    // caller's only for the length of a call.
    impl->context->thread_count = 1;
    impl->context->thread_type = 0;
    impl->context->lowres = lowres;
    if (codec->capabilities & AV_CODEC_CAP_DR1) {
      impl->context->opaque = impl.get();
      impl->context->get_buffer2 = GetBuffer;
    }
    if (avcodec_open2(impl->context.get(), codec, nullptr) < 0) return nullptr;
    impl->frame.reset(av_frame_alloc());
    impl->packet.reset(av_packet_alloc());
    if (!impl->frame || !impl->packet) return nullptr;
    return impl;
  }
};

DvVideoDecoder::DvVideoDecoder(std::unique_ptr<Impl> impl, int lowres)
    : impl_(std::move(impl)), lowres_(lowres) {}
DvVideoDecoder::~DvVideoDecoder() = default;

std::unique_ptr<DvVideoDecoder> DvVideoDecoder::Create(int lowres) {
  if (lowres < 0 || lowres > kMaxLowres) return nullptr;
  auto impl = Impl::Open(lowres);
  if (!impl || impl->context->lowres != lowres) return nullptr;
  return std::unique_ptr<DvVideoDecoder>(new DvVideoDecoder(std::move(impl), lowres));
}

HRESULT DvVideoDecoder::Decode(std::span<const uint8_t> frame, size_t bufferBytes,
                               PictureFormat format, std::span<uint8_t> out) {
  const auto system = ReadableFrame(frame);
  if (!system || format == PictureFormat::kUyvy) return E_INVALIDARG;
  const SystemFacts& facts = FactsOf(*system);
  const PictureSize size = DecodedSize(*system, lowres_);
  if (out.size() < PictureBytes(format, size.width, size.height)) return E_INVALIDARG;
  // The codec reads a little past the frame: where the buffer has no room for it, a copy does.
  const uint8_t* data = frame.data();
  if (bufferBytes < frame.size() + kPadding) {
    impl_->padded.resize(frame.size() + kPadding);
    std::memcpy(impl_->padded.data(), frame.data(), frame.size());
    std::memset(impl_->padded.data() + frame.size(), 0, kPadding);
    data = impl_->padded.data();
    ++copies_;
  }
  const BufferPtr memory = Borrow(data, frame.size() + kPadding);
  if (!memory) return E_OUTOFMEMORY;
  AVPacket* packet = impl_->packet.get();
  packet->buf = av_buffer_ref(memory.get());
  if (!packet->buf) return E_OUTOFMEMORY;
  packet->data = packet->buf->data;
  packet->size = static_cast<int>(frame.size());

  if (format == NativeFormat(*system)) {
    impl_->targetFormat = AvFormatOf(format);
    impl_->targetWidth = size.width;
    impl_->targetHeight = size.height;
    impl_->target = out;
  }
  AVCodecContext* c = impl_->context.get();
  AVFrame* f = impl_->frame.get();
  int result = avcodec_send_packet(c, packet);
  av_packet_unref(packet);
  if (result >= 0) result = avcodec_receive_frame(c, f);
  impl_->target = {};
  HRESULT hr = result < 0 ? E_INVALIDARG : S_OK;
  if (SUCCEEDED(hr) && f->data[0] != out.data()) {
    // Another format, the DC picture (the codec's, less its last columns), or a damaged frame
    // the codec read as another profile: one conversion (and a scaling, should the sizes
    // differ) into the output.
    const bool codecSize = f->width == AV_CEIL_RSHIFT(facts.width, lowres_) &&
                           f->height == size.height && f->width >= size.width;
    const int width = codecSize ? size.width : f->width;
    impl_->scaler.reset(sws_getCachedContext(
        impl_->scaler.release(), width, f->height, static_cast<AVPixelFormat>(f->format),
        size.width, size.height, AvFormatOf(format), kConvertFlags, nullptr, nullptr, nullptr));
    if (impl_->scaler) {
      ConvertFrame(impl_->scaler.get(), f, format, size, out);
      ++conversions_;
    } else {
      hr = E_FAIL;
    }
  }
  av_frame_unref(f);
  // Neither the frame nor the output may stay referenced by the codec once this returns.
  if (StillReferenced(memory) || impl_->targetHeld) avcodec_flush_buffers(c);
  if (StillReferenced(memory) || impl_->targetHeld) {
    impl_.reset();
    impl_ = Impl::Open(lowres_);
    return impl_ ? E_UNEXPECTED : E_OUTOFMEMORY;
  }
  return hr;
}

HRESULT DvVideoDecoder::Decode(std::span<const uint8_t> frame, PictureFormat format,
                               std::vector<uint8_t>& out) {
  const auto system = ReadableFrame(frame);
  if (!system) return E_INVALIDARG;
  const PictureSize size = DecodedSize(*system, lowres_);
  out.resize(PictureBytes(format, size.width, size.height));
  return Decode(frame, frame.size(), format, out);
}

}  // namespace vidorra::dv
