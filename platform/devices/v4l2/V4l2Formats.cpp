// V4L2 formats as media types; see V4l2Formats.h.
#include "V4l2Formats.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <optional>

#include "V4l2PixelFormats.h"
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

std::optional<FormatCapability> CapabilityOf(const V4l2Mode& mode) {
  const REFERENCE_TIME interval = IntervalOf(mode);
  const int width = static_cast<int>(mode.width);
  const int height = static_cast<int>(mode.height);
  if (width <= 0 || height <= 0) return std::nullopt;
  if (mode.pixelFormat == V4L2_PIX_FMT_DV) {
    const bool pal = mode.height == kPalLines;
    const auto info = sim::DvCamcorderFrames::Info(pal ? dv::DvSystem::k625_50 : dv::DvSystem::k525_60);
    if (!info) return std::nullopt;
    return DvCapability(*info, width, height, interval, pal ? kDvPalFrameBytes : kDvNtscFrameBytes);
  }
  const V4l2PixelFormat* known = FindPixelFormat(mode.pixelFormat);
  VideoMode video{known ? known->delivered : PictureLayout::kCompressed, width, height, interval,
                  known ? 0 : mode.pixelFormat};
  return VideoCapability(video);
}

// The media type a fourcc is delivered as (formats that share one are offered once).
std::pair<int, uint32_t> DeliveredAs(uint32_t pixelFormat) {
  if (pixelFormat == V4L2_PIX_FMT_DV) return {-1, pixelFormat};
  const V4l2PixelFormat* known = FindPixelFormat(pixelFormat);
  if (!known) return {static_cast<int>(PictureLayout::kCompressed), pixelFormat};
  return {static_cast<int>(known->delivered), 0};
}

bool SameMode(const V4l2Mode& a, const V4l2Mode& b) {
  return a.pixelFormat == b.pixelFormat && a.width == b.width && a.height == b.height &&
         static_cast<uint64_t>(a.numerator) * b.denominator ==
             static_cast<uint64_t>(b.numerator) * a.denominator;
}

// ---- The default format ----

double RateOf(const V4l2Mode& mode) {
  return mode.numerator ? static_cast<double>(mode.denominator) / mode.numerator : 0;
}

bool CanShow(const V4l2Format& format) {
  if (format.mode.pixelFormat == V4L2_PIX_FMT_DV) return true;
  const auto video = VideoModeOf(format.capability.type);
  return video && Showable(video->layout);
}

// Lower is preferred: 4:2:2, coded pictures the program decodes, 4:2:0, RGB, grey.
int Preference(const V4l2Format& format) {
  if (format.mode.pixelFormat == V4L2_PIX_FMT_DV) return 1;
  switch (VideoModeOf(format.capability.type)->layout) {
    case PictureLayout::kYuy2:
    case PictureLayout::kUyvy:
    case PictureLayout::kYvyu:
      return 0;
    case PictureLayout::kMjpg:
      return 1;
    case PictureLayout::kI420:
    case PictureLayout::kYv12:
    case PictureLayout::kNv12:
    case PictureLayout::kNv21:
      return 2;
    case PictureLayout::kRgb24:
    case PictureLayout::kRgb32:
      return 3;
    case PictureLayout::kGrey:
    case PictureLayout::kCompressed:
      return 4;
  }
  return 4;
}

constexpr double kCurrentRateFloor = 10;
constexpr double kLargestRateFloor = 20;
constexpr uint32_t kLargestWidth = 1920;
constexpr uint32_t kLargestHeight = 1080;

uint64_t Area(const V4l2Mode& mode) { return static_cast<uint64_t>(mode.width) * mode.height; }

// The index of the default format among `formats` (see V4l2Formats.h); -1 keeps the order.
int DefaultFormat(const std::vector<V4l2Format>& formats, const V4l2Mode& current) {
  const double slack = 0.01;  // 29.97 frames/s counts as 30
  for (size_t i = 0; i < formats.size(); ++i) {
    if (SameMode(formats[i].mode, current) && CanShow(formats[i]) &&
        RateOf(formats[i].mode) >= kCurrentRateFloor - slack) {
      return static_cast<int>(i);
    }
  }
  int best = -1;
  auto better = [&](const V4l2Format& a, const V4l2Format& b) {
    if (Area(a.mode) != Area(b.mode)) return Area(a.mode) > Area(b.mode);
    if (Preference(a) != Preference(b)) return Preference(a) < Preference(b);
    return RateOf(a.mode) > RateOf(b.mode);
  };
  for (size_t i = 0; i < formats.size(); ++i) {
    const V4l2Format& f = formats[i];
    if (!CanShow(f) || f.mode.width > kLargestWidth || f.mode.height > kLargestHeight ||
        RateOf(f.mode) < kLargestRateFloor - slack) {
      continue;
    }
    if (best < 0 || better(f, formats[static_cast<size_t>(best)])) best = static_cast<int>(i);
  }
  if (best >= 0) return best;
  for (size_t i = 0; i < formats.size(); ++i) {
    const V4l2Format& f = formats[i];
    if (!CanShow(f)) continue;
    const V4l2Format* chosen = best < 0 ? nullptr : &formats[static_cast<size_t>(best)];
    if (!chosen || RateOf(f.mode) > RateOf(chosen->mode) + slack ||
        (std::abs(RateOf(f.mode) - RateOf(chosen->mode)) <= slack && Area(f.mode) > Area(chosen->mode))) {
      best = static_cast<int>(i);
    }
  }
  return best;
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
  std::vector<std::pair<int, uint32_t>> offered;
  for (description.index = 0; RetryIoctl(calls, fd, VIDIOC_ENUM_FMT, &description) == 0;
       ++description.index) {
    const uint32_t pixelFormat = description.pixelformat;
    const auto deliveredAs = DeliveredAs(pixelFormat);
    if (std::find(offered.begin(), offered.end(), deliveredAs) != offered.end()) continue;
    offered.push_back(deliveredAs);
    for (const Size& size : SizesOf(calls, fd, pixelFormat, current)) {
      for (const v4l2_fract& interval : IntervalsOf(calls, fd, pixelFormat, size, currentInterval)) {
        const V4l2Mode mode{pixelFormat, size.width, size.height, interval.numerator,
                            interval.denominator};
        const bool listed = std::any_of(formats.begin(), formats.end(),
                                        [&](const V4l2Format& f) { return SameMode(f.mode, mode); });
        if (listed) continue;
        auto capability = CapabilityOf(mode);
        if (capability) formats.push_back({std::move(*capability), mode});
      }
    }
  }
  const V4l2Mode now{current.fmt.pix.pixelformat, current.fmt.pix.width, current.fmt.pix.height,
                     currentInterval.numerator, currentInterval.denominator};
  int first = DefaultFormat(formats, now);
  if (first < 0) {
    const auto it = std::find_if(formats.begin(), formats.end(),
                                 [&](const V4l2Format& f) { return SameMode(f.mode, now); });
    first = it == formats.end() ? -1 : static_cast<int>(it - formats.begin());
  }
  if (first > 0) std::rotate(formats.begin(), formats.begin() + first, formats.begin() + first + 1);
  return formats;
}

size_t CopyPicture(const CapturedPicture& picture, std::span<uint8_t> destination) {
  const size_t w = picture.width;
  const size_t h = picture.height;
  const uint8_t* end = picture.data + picture.bytesUsed;
  const V4l2PixelFormat* format = FindPixelFormat(picture.pixelFormat);
  if (!format || format->buffer == BufferLayout::kCompressed) {
    // Coded pictures and DV frames: the bytes as they came.
    if (destination.size() < picture.bytesUsed) return 0;
    std::memcpy(destination.data(), picture.data, picture.bytesUsed);
    return picture.bytesUsed;
  }
  const VideoMode mode{format->delivered, static_cast<int>(w), static_cast<int>(h), 0};
  const size_t bytes = PictureBytes(mode);
  if (destination.size() < bytes) return 0;
  uint8_t* to = destination.data();
  const size_t toStride = static_cast<size_t>(PictureStride(format->delivered, mode.width));
  switch (format->buffer) {
    case BufferLayout::kPacked422: {
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w * 2;
      CopyRows(picture.data, stride, to, toStride, w * 2, h, end);
      break;
    }
    case BufferLayout::kGrey: {
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w;
      CopyRows(picture.data, stride, to, w, w, h, end);
      break;
    }
    case BufferLayout::kRgb24:
    case BufferLayout::kRgb32: {
      // A DIB: blue, green, red (and an opaque fourth byte), rows bottom-up.
      const size_t from = format->buffer == BufferLayout::kRgb24 ? 3 : 4;
      const size_t out = format->delivered == PictureLayout::kRgb24 ? 3 : 4;
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w * from;
      const auto [b, g, r, unused] = format->order;
      for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = picture.data + y * stride;
        if (row + w * from > end) break;
        uint8_t* line = to + (h - 1 - y) * toStride;
        if (from == out && b == 0 && g == 1 && r == 2 && out == 3) {
          std::memcpy(line, row, w * 3);
          continue;
        }
        for (size_t x = 0; x < w; ++x, row += from, line += out) {
          line[0] = row[b];
          line[1] = row[g];
          line[2] = row[r];
          if (out == 4) line[3] = 0xFF;
        }
      }
      break;
    }
    case BufferLayout::kPlanar420: {
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w;
      const size_t cw = (w + 1) / 2;
      const size_t ch = (h + 1) / 2;
      const size_t cStride = (stride + 1) / 2;
      // The planes keep their order: YU12 is delivered as I420 and YV12 as YV12.
      CopyRows(picture.data, stride, to, w, w, h, end);
      const uint8_t* first = picture.data + stride * h;
      CopyRows(first, cStride, to + w * h, cw, cw, ch, end);
      CopyRows(first + cStride * ch, cStride, to + w * h + cw * ch, cw, cw, ch, end);
      break;
    }
    case BufferLayout::kNv420: {
      const size_t stride = picture.bytesPerLine ? picture.bytesPerLine : w;
      CopyRows(picture.data, stride, to, w, w, h, end);
      CopyRows(picture.data + stride * h, stride, to + w * h, 2 * ((w + 1) / 2), 2 * ((w + 1) / 2),
               (h + 1) / 2, end);
      break;
    }
    case BufferLayout::kHm12:
      Hm12ToNv12(picture.data, picture.bytesUsed, to, picture.width, picture.height);
      break;
    case BufferLayout::kCompressed:
      break;
  }
  return bytes;
}

}  // namespace vidorra::devices::v4l2
