// The V4L2 pixel formats; see V4l2PixelFormats.h.
#include "V4l2PixelFormats.h"

#include <algorithm>
#include <cstring>

namespace vidorra::devices::v4l2 {

namespace {

using enum BufferLayout;

// RGB byte positions: B, G, R within the pixel.
constexpr std::array<uint8_t, 4> kBgrx = {0, 1, 2, 3};
constexpr std::array<uint8_t, 4> kXrgb = {3, 2, 1, 0};
constexpr std::array<uint8_t, 4> kRgbx = {2, 1, 0, 3};
constexpr std::array<uint8_t, 4> kXbgr = {1, 2, 3, 0};
constexpr std::array<uint8_t, 4> kUFirst = {0, 0, 0, 0};
constexpr std::array<uint8_t, 4> kVFirst = {0, 1, 0, 0};

constexpr std::array kFormats = {
    V4l2PixelFormat{V4L2_PIX_FMT_YUYV, kPacked422, {0, 1, 2, 3}, PictureLayout::kYuy2},
    V4l2PixelFormat{V4L2_PIX_FMT_UYVY, kPacked422, {1, 0, 3, 2}, PictureLayout::kUyvy},
    V4l2PixelFormat{V4L2_PIX_FMT_YVYU, kPacked422, {0, 3, 2, 1}, PictureLayout::kYvyu},
    V4l2PixelFormat{V4L2_PIX_FMT_YUV420, kPlanar420, kUFirst, PictureLayout::kI420},
    V4l2PixelFormat{V4L2_PIX_FMT_YVU420, kPlanar420, kVFirst, PictureLayout::kYv12},
    V4l2PixelFormat{V4L2_PIX_FMT_NV12, kNv420, kUFirst, PictureLayout::kNv12},
    V4l2PixelFormat{V4L2_PIX_FMT_NV21, kNv420, kVFirst, PictureLayout::kNv21},
    V4l2PixelFormat{V4L2_PIX_FMT_HM12, kHm12, kUFirst, PictureLayout::kNv12},
    V4l2PixelFormat{V4L2_PIX_FMT_GREY, kGrey, kUFirst, PictureLayout::kGrey},
    V4l2PixelFormat{V4L2_PIX_FMT_BGR24, kRgb24, {0, 1, 2, 0}, PictureLayout::kRgb24},
    V4l2PixelFormat{V4L2_PIX_FMT_RGB24, kRgb24, {2, 1, 0, 0}, PictureLayout::kRgb24},
    V4l2PixelFormat{V4L2_PIX_FMT_BGR32, kRgb32, kBgrx, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_XBGR32, kRgb32, kBgrx, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_ABGR32, kRgb32, kBgrx, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_RGB32, kRgb32, kXrgb, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_XRGB32, kRgb32, kXrgb, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_ARGB32, kRgb32, kXrgb, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_RGBX32, kRgb32, kRgbx, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_RGBA32, kRgb32, kRgbx, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_BGRX32, kRgb32, kXbgr, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_BGRA32, kRgb32, kXbgr, PictureLayout::kRgb32},
    V4l2PixelFormat{V4L2_PIX_FMT_MJPEG, kCompressed, kUFirst, PictureLayout::kMjpg},
    V4l2PixelFormat{V4L2_PIX_FMT_JPEG, kCompressed, kUFirst, PictureLayout::kMjpg},
};

constexpr uint32_t kBlock = 16;          // luma macroblocks: 16x16 bytes
constexpr uint32_t kChromaBlockRows = 8;  // chroma macroblocks: 16 bytes (8 U/V pairs) x 8 rows

uint32_t Blocks(uint32_t pixels) { return (pixels + kBlock - 1) / kBlock; }

// Walks the macroblocks of one plane (rows of `blockRows` lines, 16 bytes wide): for each line
// of each block, where it is in the tiled buffer and where in the plain plane.
template <class Step>
void ForEachBlockLine(uint32_t width, uint32_t rows, uint32_t blockRows, Step step) {
  const uint32_t across = Blocks(width);
  const uint32_t down = (rows + blockRows - 1) / blockRows;
  size_t tiled = 0;
  for (uint32_t by = 0; by < down; ++by) {
    for (uint32_t bx = 0; bx < across; ++bx) {
      for (uint32_t line = 0; line < blockRows; ++line, tiled += kBlock) {
        const uint32_t y = by * blockRows + line;
        const uint32_t x = bx * kBlock;
        if (y >= rows || x >= width) continue;
        step(tiled, static_cast<size_t>(y) * width + x, std::min(kBlock, width - x));
      }
    }
  }
}

}  // namespace

size_t Hm12Bytes(uint32_t width, uint32_t height) {
  const size_t lumaRows = static_cast<size_t>(Blocks(height)) * kBlock;
  const size_t chromaRows = (height / 2 + kChromaBlockRows - 1) / kChromaBlockRows * kChromaBlockRows;
  return static_cast<size_t>(Blocks(width)) * kBlock * (lumaRows + chromaRows);
}

void Nv12ToHm12(const uint8_t* nv12, uint8_t* hm12, uint32_t width, uint32_t height) {
  const size_t lumaBytes = static_cast<size_t>(Blocks(width)) * kBlock * Blocks(height) * kBlock;
  ForEachBlockLine(width, height, kBlock, [&](size_t tiled, size_t plain, uint32_t bytes) {
    std::memcpy(hm12 + tiled, nv12 + plain, bytes);
  });
  const uint8_t* chroma = nv12 + static_cast<size_t>(width) * height;
  ForEachBlockLine(width, height / 2, kChromaBlockRows, [&](size_t tiled, size_t plain, uint32_t bytes) {
    std::memcpy(hm12 + lumaBytes + tiled, chroma + plain, bytes);
  });
}

void Hm12ToNv12(const uint8_t* hm12, size_t hm12Bytes, uint8_t* nv12, uint32_t width,
                uint32_t height) {
  const size_t lumaBytes = static_cast<size_t>(Blocks(width)) * kBlock * Blocks(height) * kBlock;
  ForEachBlockLine(width, height, kBlock, [&](size_t tiled, size_t plain, uint32_t bytes) {
    if (tiled + bytes <= hm12Bytes) std::memcpy(nv12 + plain, hm12 + tiled, bytes);
  });
  uint8_t* chroma = nv12 + static_cast<size_t>(width) * height;
  ForEachBlockLine(width, height / 2, kChromaBlockRows, [&](size_t tiled, size_t plain, uint32_t bytes) {
    if (lumaBytes + tiled + bytes <= hm12Bytes) {
      std::memcpy(chroma + plain, hm12 + lumaBytes + tiled, bytes);
    }
  });
}

const V4l2PixelFormat* FindPixelFormat(uint32_t fourcc) {
  for (const V4l2PixelFormat& format : kFormats) {
    if (format.fourcc == fourcc) return &format;
  }
  return nullptr;
}

}  // namespace vidorra::devices::v4l2
