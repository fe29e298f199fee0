// V4L2 formats as media types; see V4l2Formats.h.
#include "V4l2Formats.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "sim/DvCamcorderFrames.h"

namespace vidorra::devices::v4l2 {

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
constexpr size_t kDvPalFrameBytes = 144000;
constexpr size_t kDvNtscFrameBytes = 120000;
constexpr uint32_t kPalLines = 576;

struct Size {
  uint32_t width;
  uint32_t height;
};
// Sizes offered inside a stepwise or continuous range, largest first.
constexpr Size kUsualSizes[] = {{1920, 1080}, {1280, 720}, {800, 600}, {720, 576}, {720, 480},
                                {640, 480},   {352, 288},  {320, 240}, {176, 144}, {160, 120}};
// Frame rates offered inside a range of intervals, fastest first (frames per second).
constexpr uint32_t kUsualRates[] = {60, 30, 25, 15, 10, 5};

std::optional<PictureLayout> LayoutOf(uint32_t pixelFormat) {
  switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
      return PictureLayout::kYuy2;
    case V4L2_PIX_FMT_UYVY:
      return PictureLayout::kUyvy;
    case V4L2_PIX_FMT_NV12:
      return PictureLayout::kNv12;
    case V4L2_PIX_FMT_YUV420:
      return PictureLayout::kI420;
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24:
      return PictureLayout::kRgb24;
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
      return PictureLayout::kMjpg;
    default:
      return std::nullopt;
  }
}

bool Offered(uint32_t pixelFormat) {
  return pixelFormat == V4L2_PIX_FMT_DV || LayoutOf(pixelFormat).has_value();
}

std::optional<FormatCapability> CapabilityOf(const V4l2Mode& mode) {
  const REFERENCE_TIME interval = IntervalOf(mode);
  const int width = static_cast<int>(mode.width);
  const int height = static_cast<int>(mode.height);
  if (mode.pixelFormat == V4L2_PIX_FMT_DV) {
    const bool pal = mode.height == kPalLines;
    const auto info = sim::DvCamcorderFrames::Info(pal ? dv::DvSystem::k625_50 : dv::DvSystem::k525_60);
    if (!info) return std::nullopt;
    return DvCapability(*info, width, height, interval, pal ? kDvPalFrameBytes : kDvNtscFrameBytes);
  }
  const auto layout = LayoutOf(mode.pixelFormat);
  if (!layout || width <= 0 || height <= 0) return std::nullopt;
  return VideoCapability({*layout, width, height, interval});
}

std::vector<Size> SizesOf(V4l2Calls& calls, int fd, uint32_t pixelFormat, const v4l2_format& current) {
  std::vector<Size> sizes;
  v4l2_frmsizeenum size{};
  size.pixel_format = pixelFormat;
  for (size.index = 0; RetryIoctl(calls, fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
    if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
      sizes.push_back({size.discrete.width, size.discrete.height});
      continue;
    }
    const v4l2_frmsize_stepwise& range = size.stepwise;
    const uint32_t stepW = std::max(range.step_width, 1u);
    const uint32_t stepH = std::max(range.step_height, 1u);
    for (const Size& usual : kUsualSizes) {
      if (usual.width >= range.min_width && usual.width <= range.max_width &&
          usual.height >= range.min_height && usual.height <= range.max_height &&
          (usual.width - range.min_width) % stepW == 0 &&
          (usual.height - range.min_height) % stepH == 0) {
        sizes.push_back(usual);
      }
    }
    if (sizes.empty()) sizes.push_back({range.max_width, range.max_height});
    break;  // a range is the only entry
  }
  if (sizes.empty() && current.fmt.pix.pixelformat == pixelFormat) {
    sizes.push_back({current.fmt.pix.width, current.fmt.pix.height});
  }
  return sizes;
}

std::vector<v4l2_fract> IntervalsOf(V4l2Calls& calls, int fd, uint32_t pixelFormat, Size size,
                                    const v4l2_fract& current) {
  std::vector<v4l2_fract> intervals;
  v4l2_frmivalenum interval{};
  interval.pixel_format = pixelFormat;
  interval.width = size.width;
  interval.height = size.height;
  for (interval.index = 0; RetryIoctl(calls, fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0;
       ++interval.index) {
    if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
      if (interval.discrete.numerator > 0 && interval.discrete.denominator > 0) {
        intervals.push_back(interval.discrete);
      }
      continue;
    }
    const v4l2_frmival_stepwise& range = interval.stepwise;
    auto seconds = [](const v4l2_fract& f) {
      return f.denominator ? static_cast<double>(f.numerator) / f.denominator : 0.0;
    };
    const double fastest = seconds(range.min);
    const double slowest = seconds(range.max);
    if (fastest > 0) intervals.push_back(range.min);
    for (uint32_t rate : kUsualRates) {
      const double s = 1.0 / rate;
      if (s > fastest * 1.0001 && s <= slowest * 1.0001) intervals.push_back({1, rate});
    }
    break;
  }
  if (intervals.empty()) {
    intervals.push_back(current.numerator && current.denominator ? current : v4l2_fract{1, 30});
  }
  return intervals;
}

bool SameMode(const V4l2Mode& a, const V4l2Mode& b) {
  return a.pixelFormat == b.pixelFormat && a.width == b.width && a.height == b.height &&
         static_cast<uint64_t>(a.numerator) * b.denominator ==
             static_cast<uint64_t>(b.numerator) * a.denominator;
}

void CopyRows(const uint8_t* from, size_t fromStride, uint8_t* to, size_t toStride, size_t rowBytes,
              size_t rows, const uint8_t* fromEnd) {
  for (size_t y = 0; y < rows; ++y) {
    const uint8_t* row = from + y * fromStride;
    if (row + rowBytes > fromEnd) break;  // a short buffer: the rest stays as it was
    std::memcpy(to + y * toStride, row, rowBytes);
  }
}

}  // namespace

REFERENCE_TIME IntervalOf(const V4l2Mode& mode) {
  if (mode.denominator == 0) return kUnitsPerSecond / 30;
  return static_cast<REFERENCE_TIME>(static_cast<double>(mode.numerator) * kUnitsPerSecond /
                                         mode.denominator +
                                     0.5);
}

std::vector<V4l2Format> EnumerateFormats(V4l2Calls& calls, int fd) {
  v4l2_format current{};
  current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (RetryIoctl(calls, fd, VIDIOC_G_FMT, &current) != 0) current.fmt.pix.pixelformat = 0;
  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  v4l2_fract currentInterval{0, 0};
  if (RetryIoctl(calls, fd, VIDIOC_G_PARM, &parm) == 0) {
    currentInterval = parm.parm.capture.timeperframe;
  }

  std::vector<V4l2Format> formats;
  v4l2_fmtdesc description{};
  description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  std::vector<uint32_t> seen;
  for (description.index = 0; RetryIoctl(calls, fd, VIDIOC_ENUM_FMT, &description) == 0;
       ++description.index) {
    const uint32_t pixelFormat = description.pixelformat;
    if (!Offered(pixelFormat) || std::find(seen.begin(), seen.end(), pixelFormat) != seen.end()) {
      continue;
    }
    // BGR24 and RGB24 are the same media type: the first one listed gives it.
    const bool rgb = pixelFormat == V4L2_PIX_FMT_BGR24 || pixelFormat == V4L2_PIX_FMT_RGB24;
    if (rgb && (std::find(seen.begin(), seen.end(), V4L2_PIX_FMT_BGR24) != seen.end() ||
                std::find(seen.begin(), seen.end(), V4L2_PIX_FMT_RGB24) != seen.end())) {
      continue;
    }
    seen.push_back(pixelFormat);
    for (const Size& size : SizesOf(calls, fd, pixelFormat, current)) {
      for (const v4l2_fract& interval : IntervalsOf(calls, fd, pixelFormat, size, currentInterval)) {
        V4l2Mode mode{pixelFormat, size.width, size.height, interval.numerator,
                      interval.denominator};
        auto capability = CapabilityOf(mode);
        if (capability) formats.push_back({std::move(*capability), mode});
      }
    }
  }
  const V4l2Mode now{current.fmt.pix.pixelformat, current.fmt.pix.width, current.fmt.pix.height,
                     currentInterval.numerator, currentInterval.denominator};
  const auto it = std::find_if(formats.begin(), formats.end(),
                               [&](const V4l2Format& f) { return SameMode(f.mode, now); });
  if (it != formats.end()) std::rotate(formats.begin(), it, it + 1);
  return formats;
}

size_t CopyPicture(const CapturedPicture& picture, std::span<uint8_t> destination) {
  const size_t w = picture.width;
  const size_t h = picture.height;
  const uint8_t* end = picture.data + picture.bytesUsed;
  const auto layout = LayoutOf(picture.pixelFormat);
  if (!layout || *layout == PictureLayout::kMjpg) {
    // Compressed pictures and DV frames: the bytes as they came.
    if (destination.size() < picture.bytesUsed) return 0;
    std::memcpy(destination.data(), picture.data, picture.bytesUsed);
    return picture.bytesUsed;
  }
  const VideoMode mode{*layout, static_cast<int>(w), static_cast<int>(h), 0};
  const size_t bytes = PictureBytes(mode);
  if (destination.size() < bytes) return 0;
  uint8_t* to = destination.data();
  switch (*layout) {
    case PictureLayout::kYuy2:
    case PictureLayout::kUyvy: {
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w * 2;
      CopyRows(picture.data, stride, to, static_cast<size_t>(PictureStride(*layout, mode.width)),
               w * 2, h, end);
      break;
    }
    case PictureLayout::kRgb24: {
      // A DIB: blue, green, red, rows bottom-up.
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w * 3;
      const size_t toStride = static_cast<size_t>(PictureStride(*layout, mode.width));
      const bool swap = picture.pixelFormat == V4L2_PIX_FMT_RGB24;
      for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = picture.data + y * stride;
        if (row + w * 3 > end) break;
        uint8_t* out = to + (h - 1 - y) * toStride;
        if (!swap) {
          std::memcpy(out, row, w * 3);
          continue;
        }
        for (size_t x = 0; x < w; ++x) {
          out[3 * x] = row[3 * x + 2];
          out[3 * x + 1] = row[3 * x + 1];
          out[3 * x + 2] = row[3 * x];
        }
      }
      break;
    }
    case PictureLayout::kI420: {
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w;
      const size_t cw = (w + 1) / 2;
      const size_t ch = (h + 1) / 2;
      const size_t cStride = (stride + 1) / 2;
      CopyRows(picture.data, stride, to, w, w, h, end);
      const uint8_t* u = picture.data + stride * h;
      CopyRows(u, cStride, to + w * h, cw, cw, ch, end);
      CopyRows(u + cStride * ch, cStride, to + w * h + cw * ch, cw, cw, ch, end);
      break;
    }
    case PictureLayout::kNv12: {
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w;
      CopyRows(picture.data, stride, to, w, w, h, end);
      CopyRows(picture.data + stride * h, stride, to + w * h, 2 * ((w + 1) / 2), 2 * ((w + 1) / 2),
               (h + 1) / 2, end);
      break;
    }
    case PictureLayout::kMjpg:
      break;
  }
  return bytes;
}

}  // namespace vidorra::devices::v4l2
