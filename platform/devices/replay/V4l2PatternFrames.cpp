// The test pattern in V4L2 pixel formats; see V4l2PatternFrames.h.
#include "V4l2PatternFrames.h"

#include <algorithm>
#include <cstring>

#include "v4l2/V4l2PixelFormats.h"

namespace vidorra::devices::replay {

namespace {

using v4l2::BufferLayout;
using v4l2::FindPixelFormat;
using v4l2::V4l2PixelFormat;

constexpr uint32_t kCodedBytesPerPixel = 2;

size_t PixelBytes(BufferLayout layout) {
  switch (layout) {
    case BufferLayout::kPacked422:
      return 2;
    case BufferLayout::kRgb24:
      return 3;
    case BufferLayout::kRgb32:
      return 4;
    default:
      return 1;
  }
}

size_t I420Bytes(uint32_t width, uint32_t height) {
  return static_cast<size_t>(width) * height * 3 / 2;
}

}  // namespace

bool CanMakeFrames(uint32_t fourcc) { return FindPixelFormat(fourcc) != nullptr; }

v4l2_pix_format DriverFormat(uint32_t fourcc, uint32_t width, uint32_t height, uint32_t field) {
  v4l2_pix_format format{};
  format.width = width;
  format.height = height;
  format.pixelformat = fourcc;
  format.field = field;
  format.colorspace = V4L2_COLORSPACE_SMPTE170M;
  const V4l2PixelFormat* known = FindPixelFormat(fourcc);
  const size_t pixels = static_cast<size_t>(width) * height;
  if (!known || known->buffer == BufferLayout::kCompressed) {
    format.sizeimage = static_cast<uint32_t>(pixels * kCodedBytesPerPixel);
    if (known) format.colorspace = V4L2_COLORSPACE_JPEG;
    return format;
  }
  format.bytesperline = static_cast<uint32_t>(width * PixelBytes(known->buffer));
  switch (known->buffer) {
    case BufferLayout::kPlanar420:
    case BufferLayout::kNv420:
      format.sizeimage = static_cast<uint32_t>(I420Bytes(width, height));
      break;
    case BufferLayout::kHm12:
      format.sizeimage = static_cast<uint32_t>(v4l2::Hm12Bytes(width, height));
      break;
    default:
      format.sizeimage = format.bytesperline * height;
      break;
  }
  if (known->buffer == BufferLayout::kRgb24 || known->buffer == BufferLayout::kRgb32) {
    format.colorspace = V4L2_COLORSPACE_SRGB;
  }
  return format;
}

std::unique_ptr<V4l2PatternFrames> V4l2PatternFrames::Create(const v4l2_pix_format& format) {
  const V4l2PixelFormat* known = FindPixelFormat(format.pixelformat);
  if (!known || format.width == 0 || format.height == 0 || format.width % 2 != 0 ||
      format.height % 2 != 0) {
    return nullptr;
  }
  std::unique_ptr<V4l2PatternFrames> frames(new V4l2PatternFrames(format));
  if (known->buffer == BufferLayout::kCompressed) {
    frames->jpeg_ = sim::MjpegEncoder::Create(static_cast<int>(format.width),
                                              static_cast<int>(format.height));
    if (!frames->jpeg_) return nullptr;
  }
  return frames;
}

V4l2PatternFrames::V4l2PatternFrames(const v4l2_pix_format& format) : format_(format) {
  const size_t w = format.width;
  const size_t h = format.height;
  const V4l2PixelFormat* known = FindPixelFormat(format.pixelformat);
  // Layouts drawn elsewhere and then reshaped: RGB from a bottom-up bitmap, the rest from I420.
  if (known->buffer == BufferLayout::kRgb24 || known->buffer == BufferLayout::kRgb32) {
    scratch_.resize((w * 3 + 3) / 4 * 4 * h);
  } else if (known->buffer != BufferLayout::kPacked422) {
    scratch_.resize(I420Bytes(format.width, format.height));
  }
}

size_t V4l2PatternFrames::Make(const sim::PatternScene& scene, std::span<uint8_t> out) {
  const V4l2PixelFormat& format = *FindPixelFormat(format_.pixelformat);
  const int width = static_cast<int>(format_.width);
  const int height = static_cast<int>(format_.height);
  const size_t w = format_.width;
  const size_t h = format_.height;
  const size_t lumaBytes = w * h;
  if (format.buffer == BufferLayout::kCompressed) {
    sim::DrawPattern(scene, {sim::PatternLayout::kI420, width, height, scratch_.data(), true});
    size_t length = 0;
    return SUCCEEDED(jpeg_->Encode(scratch_, out, &length)) ? length : 0;
  }
  if (out.size() < format_.sizeimage) return 0;
  uint8_t* to = out.data();
  switch (format.buffer) {
    case BufferLayout::kPacked422: {
      sim::DrawPattern(scene, {sim::PatternLayout::kYuy2, width, height, to, false});
      const auto [y0, u, y1, v] = format.order;
      if (y0 == 0 && u == 1) break;  // YUYV as drawn
      for (size_t i = 0; i + 4 <= lumaBytes * 2; i += 4) {
        const uint8_t pair[4] = {to[i], to[i + 1], to[i + 2], to[i + 3]};
        to[i + y0] = pair[0];
        to[i + u] = pair[1];
        to[i + y1] = pair[2];
        to[i + v] = pair[3];
      }
      break;
    }
    case BufferLayout::kRgb24:
    case BufferLayout::kRgb32: {
      sim::DrawPattern(scene, {sim::PatternLayout::kRgb24, width, height, scratch_.data(), false});
      const size_t bitmapStride = (w * 3 + 3) / 4 * 4;
      const size_t pixel = PixelBytes(format.buffer);
      const auto [b, g, r, unused] = format.order;
      for (size_t y = 0; y < h; ++y) {
        const uint8_t* from = scratch_.data() + (h - 1 - y) * bitmapStride;  // bottom-up
        uint8_t* row = to + y * w * pixel;
        if (pixel == 4) std::memset(row, 0xFF, w * pixel);  // opaque alpha where there is one
        for (size_t x = 0; x < w; ++x, from += 3, row += pixel) {
          row[b] = from[0];
          row[g] = from[1];
          row[r] = from[2];
        }
      }
      break;
    }
    case BufferLayout::kPlanar420:
    case BufferLayout::kNv420:
    case BufferLayout::kHm12:
    case BufferLayout::kGrey: {
      sim::DrawPattern(scene, {sim::PatternLayout::kI420, width, height, scratch_.data(), false});
      const uint8_t* y = scratch_.data();
      const uint8_t* planeU = y + lumaBytes;
      const uint8_t* planeV = planeU + lumaBytes / 4;
      const bool vFirst = format.order[1] != 0;
      if (format.buffer == BufferLayout::kGrey) {
        std::memcpy(to, y, lumaBytes);
      } else if (format.buffer == BufferLayout::kPlanar420) {
        std::memcpy(to, y, lumaBytes);
        std::memcpy(to + lumaBytes, vFirst ? planeV : planeU, lumaBytes / 4);
        std::memcpy(to + lumaBytes * 5 / 4, vFirst ? planeU : planeV, lumaBytes / 4);
      } else {
        // Semi-planar: the chroma samples interleaved, then HM12 tiles that.
        uint8_t* target = to;
        if (format.buffer == BufferLayout::kHm12) {
          nv12_.resize(I420Bytes(format_.width, format_.height));
          target = nv12_.data();
        }
        std::memcpy(target, y, lumaBytes);
        uint8_t* chroma = target + lumaBytes;
        for (size_t i = 0; i < lumaBytes / 4; ++i) {
          chroma[2 * i] = vFirst ? planeV[i] : planeU[i];
          chroma[2 * i + 1] = vFirst ? planeU[i] : planeV[i];
        }
        if (format.buffer == BufferLayout::kHm12) {
          v4l2::Nv12ToHm12(nv12_.data(), to, format_.width, format_.height);
        }
      }
      break;
    }
    case BufferLayout::kCompressed:
      break;
  }
  return format_.sizeimage;
}

}  // namespace vidorra::devices::replay
