// The formats of a V4L2 capture node as this layer's media types, and the copy of a captured
// buffer into a sample in the layout that media type describes.
//
// Pixel formats offered (V4l2PixelFormats): YUYV as YUY2, UYVY, YVYU, YU12 as I420, YV12, NV12
// and HM12 as NV12, NV21, GREY as Y800, 24-bit RGB as RGB24 and 32-bit RGB as RGB32 (bottom-up
// DIBs), MJPEG and JPEG as MJPG, DV as interleaved DV; any other coding (H.264, MPEG ...) under
// its own fourcc, listed although the program has nothing to show it with. Two fourccs that
// give the same media type are offered once (the first listed). Each size (ENUM_FRAMESIZES)
// and each frame interval (ENUM_FRAMEINTERVALS) of a format is one capability, duplicates once;
// a stepwise or continuous range offers the usual sizes and rates inside it.
//
// The first capability is the default format, one the program can show:
//  1. the node's current format, when it can be shown and runs at 10 frames/s or more;
//  2. else, among the formats that can be shown, the largest picture up to 1920x1080 that runs
//     at 20 frames/s or more: uncompressed 4:2:2 first, then MJPEG (and DV), then 4:2:0, then
//     RGB, then grey; at that size and format the fastest rate;
//  3. else the fastest mode that can be shown (the larger picture of two as fast).
// A device that has nothing to show keeps its current format first.
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

// Copies the picture into destination in the layout of its media type (reordering RGB bytes,
// turning rows bottom-up for bitmaps, HM12's macroblocks into NV12 planes); the length
// written, or 0 when destination is too small.
size_t CopyPicture(const CapturedPicture& picture, std::span<uint8_t> destination);

}  // namespace vidorra::devices::v4l2
