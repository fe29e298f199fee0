// The formats of a V4L2 capture node as this layer's media types, and the copy of a captured
// buffer into a sample in the layout that media type describes.
//
// Pixel formats offered: YUYV as YUY2, UYVY, NV12, YU12 as I420, BGR24 and RGB24 as RGB24 (a
// bottom-up DIB), MJPEG (and JPEG) as MJPG, DV as interleaved DV; others are left out (libv4l2
// adds converted ones of these for most webcams). Each size (ENUM_FRAMESIZES) and each frame
// interval (ENUM_FRAMEINTERVALS) of a format is one capability; a stepwise or continuous range
// offers the usual sizes and rates inside it. The node's current format comes first.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "CaptureFormats.h"
#include "V4l2Calls.h"

namespace vidorra::devices::v4l2 {

struct V4l2Mode {
  uint32_t pixelFormat = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t numerator = 1;  // the frame interval, in seconds
  uint32_t denominator = 30;
};

struct V4l2Format {
  FormatCapability capability;
  V4l2Mode mode;
};

std::vector<V4l2Format> EnumerateFormats(V4l2Calls& calls, int fd);

REFERENCE_TIME IntervalOf(const V4l2Mode& mode);

// A captured picture as the driver laid it out.
struct CapturedPicture {
  const uint8_t* data = nullptr;
  size_t bytesUsed = 0;
  uint32_t pixelFormat = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bytesPerLine = 0;  // of the first plane; 0 for packed rows without padding
};

// Copies the picture into destination in the layout of its media type; the length written,
// or 0 when destination is too small.
size_t CopyPicture(const CapturedPicture& picture, std::span<uint8_t> destination);

}  // namespace vidorra::devices::v4l2
