// Pixel conversion between the uncompressed video layouts that filters exchange: packed RGB as
// device-independent bitmaps lay it out (RGB24, RGB32, RGB565, RGB555: rows padded to 4 bytes,
// bottom-up when biHeight is positive, top-down when it is negative) and the YUV layouts
// (YUY2, UYVY, YVYU, I420/IYUV, YV12, NV12, NV21, grey, and Y41B, the planar 4:1:1 of 525-line DV: always
// top-down, BT.601 limited range).
//
// A PixelFormatConverter is configured once for an input and an output layout of the same
// picture size and then converts frames. It is not thread-safe: the filter that owns it calls
// it from its streaming thread only (or under its own lock).
#pragma once

#include <strmif.h>
#include <uuids.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct SwsContext;

namespace vidorra::filters {

enum class PixelFormat {
  kUnknown,
  kRgb24,
  kRgb32,
  kRgb565,
  kRgb555,
  kYuy2,
  kUyvy,
  kI420,  // also IYUV: Y, then U, then V planes
  kYv12,  // Y, then V, then U planes
  kNv12,  // Y plane, then interleaved U/V plane
  kY41b,  // Y, then U, then V planes, chroma a quarter of the width, full height
  kYvyu,  // packed 4:2:2, Y0 V Y1 U
  kNv21,  // Y plane, then interleaved V/U plane
  kGrey,  // Y plane only ('Y800')
};

// The subtype of planar 4:1:1 ('Y41B').
DEFINE_FOURCC_GUID(kSubtypeY41b, 0x42313459);

// Subtype GUID <-> pixel format. I420 and IYUV map to the same layout; the subtype of kI420
// is MEDIASUBTYPE_IYUV, the name the capture devices use.
PixelFormat PixelFormatFromSubtype(REFGUID subtype);
const GUID& SubtypeFromPixelFormat(PixelFormat format);
// Bits per pixel as BITMAPINFOHEADER.biBitCount gives it.
WORD BitCountOf(PixelFormat format);
// BI_RGB for the RGB layouts (BI_BITFIELDS is not used), the FOURCC for the YUV layouts.
DWORD CompressionOf(PixelFormat format);
bool IsRgb(PixelFormat format);

// One picture in memory.
struct FrameLayout {
  PixelFormat format = PixelFormat::kUnknown;
  int width = 0;
  int height = 0;         // always positive
  bool bottomUp = false;  // RGB with a positive biHeight

  // Bytes of the first plane's rows (for RGB: padded to a multiple of 4).
  size_t Stride() const;
  // Bytes of one whole frame.
  size_t ImageSize() const;
  // A layout the converter can handle: known format, positive size, even width for 4:2:2
  // and 4:2:0, even height for 4:2:0, width a multiple of 4 for 4:1:1, and a frame size that
  // fits a 32-bit sample size.
  bool IsValid() const;

  // The layout a BITMAPINFOHEADER describes (format from biCompression/biBitCount).
  static std::optional<FrameLayout> FromBitmapInfo(const BITMAPINFOHEADER& header);
  // The layout a video media type describes: a subtype we know and a FORMAT_VideoInfo or
  // FORMAT_VideoInfo2 block at least as large as its header. The subtype decides the format.
  static std::optional<FrameLayout> FromMediaType(const AM_MEDIA_TYPE& mediaType);
  // A BITMAPINFOHEADER for this layout (biHeight negative for top-down RGB).
  BITMAPINFOHEADER ToBitmapInfo() const;

  friend bool operator==(const FrameLayout&, const FrameLayout&) = default;
};

// The planes of one frame stored at `base` in `layout`, rows in memory order (a bottom-up
// bitmap's first row in memory is its bottom row); YV12's planes are given as Y, U, V.
struct FramePlanes {
  std::array<uint8_t*, 4> data{};
  std::array<int, 4> strides{};
};
FramePlanes PlanesOf(const FrameLayout& layout, uint8_t* base);
// The conversion library's pixel format (an AVPixelFormat value) of the planes PlanesOf
// gives; -1 for an unknown layout.
int AvPixelFormatOf(PixelFormat format);

// Where in a media type's format block the BITMAPINFOHEADER lives, or null when the format
// type carries none or the block is too short.
const BITMAPINFOHEADER* BitmapInfoOf(const AM_MEDIA_TYPE& mediaType);

class PixelFormatConverter {
 public:
  PixelFormatConverter();
  ~PixelFormatConverter();
  PixelFormatConverter(const PixelFormatConverter&) = delete;
  PixelFormatConverter& operator=(const PixelFormatConverter&) = delete;

  // Prepares a conversion; false when either layout is invalid, the sizes differ, or the
  // conversion library refuses the pair. A failed call leaves the converter unconfigured.
  bool Configure(const FrameLayout& input, const FrameLayout& output);
  bool IsConfigured() const { return context_ != nullptr; }
  const FrameLayout& Input() const { return input_; }
  const FrameLayout& Output() const { return output_; }

  // Bytes a buffer needs after the frame for the conversion to work in it directly; smaller
  // buffers are served through a scratch copy (correct, one copy slower).
  static constexpr size_t kBufferPadding = 256;

  // Converts one frame. sourceSize and destinationSize are the bytes that may be read and
  // written (capacities). False (and nothing written) when unconfigured or when either buffer
  // is smaller than its layout's ImageSize().
  bool Convert(const BYTE* source, size_t sourceSize, BYTE* destination, size_t destinationSize);
  // Converts one frame given by its planes in the input layout's plane order, in memory order,
  // with any strides (a frame of the conversion library, readable past each plane's last row
  // as its frames are). False (and nothing written) when unconfigured or when the destination
  // is smaller than the output's ImageSize().
  bool ConvertPlanes(FramePlanes source, BYTE* destination, size_t destinationSize);
  // Frames that went through a scratch copy (buffers without room after them).
  long ScratchCopies() const { return scratchCopies_; }

 private:
  struct ContextDeleter {
    void operator()(SwsContext* context) const;
  };
  std::unique_ptr<SwsContext, ContextDeleter> context_;
  FrameLayout input_;
  FrameLayout output_;
  std::vector<BYTE> sourceScratch_;       // padded copy of a source without room after it
  std::vector<BYTE> destinationScratch_;  // padded target, copied out afterwards
  long scratchCopies_ = 0;
};

}  // namespace vidorra::filters
