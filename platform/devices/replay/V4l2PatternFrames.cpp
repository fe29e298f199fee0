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

namespace {

// The layout the pattern is converted into for a buffer layout (nullopt: drawn, or copied,
// without a conversion). RGB is converted top-down in blue, green, red order and reordered after
// when the fourcc wants another order.
std::optional<filters::PixelFormat> ConvertedTo(const V4l2PixelFormat& format) {
  switch (format.buffer) {
    case BufferLayout::kPacked422:
      return format.order[1] == 1   ? filters::PixelFormat::kYuy2
             : format.order[1] == 0 ? filters::PixelFormat::kUyvy
                                    : filters::PixelFormat::kYvyu;
    case BufferLayout::kPlanar420:
      return format.order[1] != 0 ? std::optional(filters::PixelFormat::kYv12) : std::nullopt;
    case BufferLayout::kNv420:
      return format.order[1] != 0 ? filters::PixelFormat::kNv21 : filters::PixelFormat::kNv12;
    case BufferLayout::kHm12:
      return filters::PixelFormat::kNv12;
    case BufferLayout::kRgb24:
      return filters::PixelFormat::kRgb24;
    case BufferLayout::kRgb32:
      return filters::PixelFormat::kRgb32;
    case BufferLayout::kGrey:
    case BufferLayout::kCompressed:
      return std::nullopt;
  }
  return std::nullopt;
}

bool BlueGreenRed(const V4l2PixelFormat& format) {
  return format.order[0] == 0 && format.order[1] == 1 && format.order[2] == 2;
}

}  // namespace

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
  if (const auto target = ConvertedTo(*known)) {
    const int width = static_cast<int>(format.width);
    const int height = static_cast<int>(format.height);
    if (!frames->converter_.Configure({filters::PixelFormat::kI420, width, height, false},
                                      {*target, width, height, false})) {
      return nullptr;
    }
    if (!frames->ConvertsInPlace()) {
      frames->converted_.resize(frames->converter_.Output().ImageSize() +
                                filters::PixelFormatConverter::kBufferPadding);
    }
  }
  return frames;
}

V4l2PatternFrames::V4l2PatternFrames(const v4l2_pix_format& format)
    : format_(format),
      scratch_(I420Bytes(format.width, format.height) + filters::PixelFormatConverter::kBufferPadding) {}

bool V4l2PatternFrames::ConvertsInPlace() const {
  const V4l2PixelFormat& format = *FindPixelFormat(format_.pixelformat);
  if (format.buffer == BufferLayout::kHm12) return false;
  if (format.buffer != BufferLayout::kRgb24 && format.buffer != BufferLayout::kRgb32) return true;
  // RGB as the converter writes it: blue, green, red, rows as long as the driver's.
  return BlueGreenRed(format) && converter_.Output().Stride() == format_.bytesperline;
}

size_t V4l2PatternFrames::Make(const sim::PatternScene& scene, std::span<uint8_t> out) {
  const V4l2PixelFormat& format = *FindPixelFormat(format_.pixelformat);
  const int width = static_cast<int>(format_.width);
  const int height = static_cast<int>(format_.height);
  const size_t w = format_.width;
  const size_t h = format_.height;
  // The pattern is drawn once, as planar 4:2:0 (the cheapest layout to draw), then converted.
  const bool direct = format.buffer == BufferLayout::kPlanar420 && !converter_.IsConfigured();
  if (!direct && out.size() < format_.sizeimage && format.buffer != BufferLayout::kCompressed) {
    return 0;
  }
  uint8_t* picture = direct ? out.data() : scratch_.data();
  if (direct && out.size() < format_.sizeimage) return 0;
  sim::DrawPattern(scene, {sim::PatternLayout::kI420, width, height, picture,
                           format.buffer == BufferLayout::kCompressed});
  switch (format.buffer) {
    case BufferLayout::kCompressed: {
      size_t length = 0;
      return SUCCEEDED(jpeg_->Encode(scratch_, out, &length)) ? length : 0;
    }
    case BufferLayout::kGrey:
      std::memcpy(out.data(), scratch_.data(), w * h);
      return format_.sizeimage;
    case BufferLayout::kPlanar420:
      if (direct) return format_.sizeimage;
      [[fallthrough]];
    case BufferLayout::kPacked422:
    case BufferLayout::kNv420:
      return converter_.Convert(scratch_.data(), scratch_.size(), out.data(), out.size())
                 ? format_.sizeimage
                 : 0;
    case BufferLayout::kHm12:
      if (!converter_.Convert(scratch_.data(), scratch_.size(), converted_.data(), converted_.size())) {
        return 0;
      }
      v4l2::Nv12ToHm12(converted_.data(), out.data(), format_.width, format_.height);
      return format_.sizeimage;
    case BufferLayout::kRgb24:
    case BufferLayout::kRgb32: {
      if (ConvertsInPlace()) {
        return converter_.Convert(scratch_.data(), scratch_.size(), out.data(), out.size())
                   ? format_.sizeimage
                   : 0;
      }
      if (!converter_.Convert(scratch_.data(), scratch_.size(), converted_.data(), converted_.size())) {
        return 0;
      }
      // Blue, green, red (and an opaque fourth byte) into the fourcc's order and rows.
      const size_t pixel = PixelBytes(format.buffer);
      const size_t fromStride = converter_.Output().Stride();
      const auto [b, g, r, unused] = format.order;
      for (size_t y = 0; y < h; ++y) {
        const uint8_t* from = converted_.data() + y * fromStride;
        uint8_t* to = out.data() + y * format_.bytesperline;
        for (size_t x = 0; x < w; ++x, from += pixel, to += pixel) {
          to[b] = from[0];
          to[g] = from[1];
          to[r] = from[2];
          if (pixel == 4) to[6 - b - g - r] = 0xFF;
        }
      }
      return format_.sizeimage;
    }
  }
  return 0;
}

}  // namespace vidorra::devices::replay
