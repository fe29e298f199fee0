// The V4L2 pixel formats this layer knows, and how each is laid out in a driver's buffer: the
// one table the capture backend reads frames with and the replayed devices write them with.
#pragma once

#include <linux/videodev2.h>

#include <array>
#include <cstdint>
#include <optional>

#include "CaptureFormats.h"

namespace vidorra::devices::v4l2 {

// How the bytes of a frame are arranged in the driver's buffer (top-down, rows of
// `bytesperline`).
enum class BufferLayout {
  kPacked422,  // Y0 U Y1 V in some order, `order` gives the byte of each
  kPlanar420,  // Y plane, then two quarter planes (YU12: U first; YV12: V first)
  kNv420,      // Y plane, then one interleaved chroma plane (NV12: U first; NV21: V first)
  kHm12,       // 4:2:0 in 16x16 luma and 16x8 interleaved chroma macroblocks
  kGrey,       // Y plane only
  kRgb24,      // 3 bytes a pixel, `order` gives the byte of blue, green and red
  kRgb32,      // 4 bytes a pixel, likewise
  kCompressed  // a coded picture (JPEG, DV, H.264 ...) of variable length
};

struct V4l2PixelFormat {
  uint32_t fourcc;
  BufferLayout buffer;
  // Packed 4:2:2: the bytes of Y0, U, Y1, V in a pixel pair. RGB: the bytes of B, G, R.
  // Planar and semi-planar 4:2:0: index 1 is 0 when U comes first.
  std::array<uint8_t, 4> order;
  // What the capture pin delivers: the layout of its media type (RGB as bottom-up bitmaps).
  PictureLayout delivered;
};

// The format of a fourcc, or null for one this layer does not know (then listed as a
// compressed format under its own fourcc, its frames passed on as they come).
const V4l2PixelFormat* FindPixelFormat(uint32_t fourcc);

// HM12's macroblocks from and to NV12 planes of width x height (even). A macroblock row is
// ceil(width / 16) blocks; the last blocks of a row or column that does not fill them are
// padding.
size_t Hm12Bytes(uint32_t width, uint32_t height);
void Nv12ToHm12(const uint8_t* nv12, uint8_t* hm12, uint32_t width, uint32_t height);
void Hm12ToNv12(const uint8_t* hm12, size_t hm12Bytes, uint8_t* nv12, uint32_t width,
                uint32_t height);

}  // namespace vidorra::devices::v4l2
