// The test pattern in the pixel formats V4L2 devices deliver, for the replayed devices: the
// buffer a driver would fill, top-down and without row padding, in the layout of its fourcc.
//
//   4:2:2 packed   YUYV UYVY YVYU
//   4:2:0          YU12 YV12 NV12 NV21, HM12 (16x16 luma macroblocks, 16x8 chroma ones)
//   grey           GREY
//   RGB            RGB3 BGR3 (24 bits), BGR4 RGB4 XR24 AR24 BX24 AX24 XB24 AB24 (32 bits)
//   compressed     MJPG and JPEG as baseline JPEG images
//
// Other formats (H264, MPEG, ...) are listed by the devices but no frame is made for them.
//
// Thread: a maker belongs to one stream (one thread at a time); the functions are pure.
#pragma once

#include <linux/videodev2.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "PixelFormatConverter.h"
#include "sim/MjpegEncoder.h"
#include "sim/TestPattern.h"

namespace vidorra::devices::replay {

// Whether frames can be made in this pixel format.
bool CanMakeFrames(uint32_t fourcc);

// The format as a driver completes it for a size: bytes per line and image size of the
// fourcc (compressed formats: no bytes per line, room for a picture of two bytes a pixel).
v4l2_pix_format DriverFormat(uint32_t fourcc, uint32_t width, uint32_t height, uint32_t field);

class V4l2PatternFrames {
 public:
  // Null for a format no frame can be made in (or an odd size).
  static std::unique_ptr<V4l2PatternFrames> Create(const v4l2_pix_format& format);

  // Draws `scene` into `out` (the format's sizeimage at least; room after it lets the
  // conversion write in place); the bytes used, 0 when it does not fit.
  size_t Make(const sim::PatternScene& scene, std::span<uint8_t> out);

 private:
  explicit V4l2PatternFrames(const v4l2_pix_format& format);
  // Whether the converter writes the driver's layout straight into the buffer.
  bool ConvertsInPlace() const;

  const v4l2_pix_format format_;
  std::vector<uint8_t> scratch_;    // the pattern, planar 4:2:0
  std::vector<uint8_t> converted_;  // HM12's NV12 before its tiling, RGB before its reordering
  filters::PixelFormatConverter converter_;
  std::unique_ptr<sim::MjpegEncoder> jpeg_;
};

}  // namespace vidorra::devices::replay
