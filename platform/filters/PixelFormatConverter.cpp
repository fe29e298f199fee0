// Pixel conversion through libswscale; see PixelFormatConverter.h.
#include "PixelFormatConverter.h"

#include <amvideo.h>
#include <dvdmedia.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace vidorra::filters {
namespace {

struct FormatInfo {
  PixelFormat format;
  const GUID* subtype;
  WORD bitCount;
  DWORD compression;
  AVPixelFormat avFormat;
};

// The one table that ties a layout to its subtype, its bitmap header fields and the
// conversion library's name for it. RGB32 is read and written as B, G, R, A bytes: written
// frames get an opaque alpha, read frames' fourth byte is ignored by every conversion to a
// format without alpha.
constexpr std::array kFormats = {
    FormatInfo{PixelFormat::kRgb24, &MEDIASUBTYPE_RGB24, 24, BI_RGB, AV_PIX_FMT_BGR24},
    FormatInfo{PixelFormat::kRgb32, &MEDIASUBTYPE_RGB32, 32, BI_RGB, AV_PIX_FMT_BGRA},
    FormatInfo{PixelFormat::kRgb565, &MEDIASUBTYPE_RGB565, 16, BI_RGB, AV_PIX_FMT_RGB565LE},
    FormatInfo{PixelFormat::kRgb555, &MEDIASUBTYPE_RGB555, 16, BI_RGB, AV_PIX_FMT_RGB555LE},
    FormatInfo{PixelFormat::kYuy2, &MEDIASUBTYPE_YUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2'),
               AV_PIX_FMT_YUYV422},
    FormatInfo{PixelFormat::kUyvy, &MEDIASUBTYPE_UYVY, 16, MAKEFOURCC('U', 'Y', 'V', 'Y'),
               AV_PIX_FMT_UYVY422},
    FormatInfo{PixelFormat::kI420, &MEDIASUBTYPE_IYUV, 12, MAKEFOURCC('I', 'Y', 'U', 'V'),
               AV_PIX_FMT_YUV420P},
    FormatInfo{PixelFormat::kYv12, &MEDIASUBTYPE_YV12, 12, MAKEFOURCC('Y', 'V', '1', '2'),
               AV_PIX_FMT_YUV420P},
    FormatInfo{PixelFormat::kNv12, &MEDIASUBTYPE_NV12, 12, MAKEFOURCC('N', 'V', '1', '2'),
               AV_PIX_FMT_NV12},
    FormatInfo{PixelFormat::kY41b, &kSubtypeY41b, 12, MAKEFOURCC('Y', '4', '1', 'B'),
               AV_PIX_FMT_YUV411P},
    FormatInfo{PixelFormat::kYvyu, &MEDIASUBTYPE_YVYU, 16, MAKEFOURCC('Y', 'V', 'Y', 'U'),
               AV_PIX_FMT_YVYU422},
    FormatInfo{PixelFormat::kNv21, &MEDIASUBTYPE_NV21, 12, MAKEFOURCC('N', 'V', '2', '1'),
               AV_PIX_FMT_NV21},
    FormatInfo{PixelFormat::kGrey, &MEDIASUBTYPE_Y800, 8, MAKEFOURCC('Y', '8', '0', '0'),
               AV_PIX_FMT_GRAY8},
};
constexpr DWORD kFourccI420 = MAKEFOURCC('I', '4', '2', '0');

// Same-size conversions never scale, so the filter choice only matters for chroma
// interpolation; bicubic is what the command-line tools use by default.
constexpr int kScaleFlags = SWS_BICUBIC;
constexpr int kDibRowAlignment = 4;

const FormatInfo* InfoOf(PixelFormat format) {
  for (const FormatInfo& info : kFormats) {
    if (info.format == format) return &info;
  }
  return nullptr;
}

bool IsPlanar420(PixelFormat format) {
  return format == PixelFormat::kI420 || format == PixelFormat::kYv12 ||
         format == PixelFormat::kNv12 || format == PixelFormat::kNv21;
}

bool IsPacked422(PixelFormat format) {
  return format == PixelFormat::kYuy2 || format == PixelFormat::kUyvy ||
         format == PixelFormat::kYvyu;
}

using Planes = FramePlanes;

}  // namespace

FramePlanes PlanesOf(const FrameLayout& layout, uint8_t* base) {
  Planes planes;
  const auto stride = static_cast<int>(layout.Stride());
  const size_t lumaSize = static_cast<size_t>(layout.width) * layout.height;
  switch (layout.format) {
    case PixelFormat::kI420:
    case PixelFormat::kYv12: {
      const size_t chromaSize = lumaSize / 4;
      uint8_t* first = base + lumaSize;
      uint8_t* second = first + chromaSize;
      const bool uFirst = layout.format == PixelFormat::kI420;
      planes.data = {base, uFirst ? first : second, uFirst ? second : first, nullptr};
      planes.strides = {stride, stride / 2, stride / 2, 0};
      break;
    }
    case PixelFormat::kNv12:
    case PixelFormat::kNv21:
      planes.data = {base, base + lumaSize, nullptr, nullptr};
      planes.strides = {stride, stride, 0, 0};
      break;
    case PixelFormat::kY41b: {
      const size_t chromaSize = lumaSize / 4;
      planes.data = {base, base + lumaSize, base + lumaSize + chromaSize, nullptr};
      planes.strides = {stride, stride / 4, stride / 4, 0};
      break;
    }
    default:
      planes.data[0] = base;
      planes.strides[0] = stride;
      break;
  }
  return planes;
}

int AvPixelFormatOf(PixelFormat format) {
  const FormatInfo* info = InfoOf(format);
  return info ? static_cast<int>(info->avFormat) : -1;
}

namespace {

// Makes the conversion read the planes' rows last to first: each plane starts at its last row
// and walks upwards with a negative stride. Only sources are flipped this way; the conversion
// library's writers do not all take negative strides.
void FlipVertically(Planes& planes, const FrameLayout& layout) {
  const bool halfHeightChroma = IsPlanar420(layout.format);
  for (size_t i = 0; i < planes.data.size(); ++i) {
    if (!planes.data[i]) continue;
    const int rows = (i > 0 && halfHeightChroma) ? layout.height / 2 : layout.height;
    planes.data[i] += static_cast<ptrdiff_t>(planes.strides[i]) * (rows - 1);
    planes.strides[i] = -planes.strides[i];
  }
}

}  // namespace

PixelFormat PixelFormatFromSubtype(REFGUID subtype) {
  if (subtype == MEDIASUBTYPE_I420) return PixelFormat::kI420;
  for (const FormatInfo& info : kFormats) {
    if (*info.subtype == subtype) return info.format;
  }
  return PixelFormat::kUnknown;
}

const GUID& SubtypeFromPixelFormat(PixelFormat format) {
  const FormatInfo* info = InfoOf(format);
  return info ? *info->subtype : GUID_NULL;
}

WORD BitCountOf(PixelFormat format) {
  const FormatInfo* info = InfoOf(format);
  return info ? info->bitCount : 0;
}

DWORD CompressionOf(PixelFormat format) {
  const FormatInfo* info = InfoOf(format);
  return info ? info->compression : BI_RGB;
}

bool IsRgb(PixelFormat format) {
  return format == PixelFormat::kRgb24 || format == PixelFormat::kRgb32 ||
         format == PixelFormat::kRgb565 || format == PixelFormat::kRgb555;
}

size_t FrameLayout::Stride() const {
  if (width <= 0) return 0;
  const auto w = static_cast<size_t>(width);
  if (IsRgb(format)) {
    const size_t bytes = (w * BitCountOf(format) + 7) / 8;
    return (bytes + kDibRowAlignment - 1) / kDibRowAlignment * kDibRowAlignment;
  }
  if (IsPacked422(format)) return w * 2;
  if (IsPlanar420(format) || format == PixelFormat::kY41b || format == PixelFormat::kGrey) {
    return w;
  }
  return 0;
}

size_t FrameLayout::ImageSize() const {
  if (width <= 0 || height <= 0) return 0;
  const size_t rows = static_cast<size_t>(height);
  if (IsPlanar420(format) || format == PixelFormat::kY41b) return Stride() * rows * 3 / 2;
  return Stride() * rows;
}

bool FrameLayout::IsValid() const {
  if (!InfoOf(format) || width <= 0 || height <= 0) return false;
  if ((IsPacked422(format) || IsPlanar420(format)) && width % 2 != 0) return false;
  if (IsPlanar420(format) && height % 2 != 0) return false;
  if (format == PixelFormat::kY41b && width % 4 != 0) return false;
  // Sizes travel as 32-bit sample sizes and strides as int.
  constexpr size_t kMaxFrameBytes = std::numeric_limits<LONG>::max();
  constexpr int kMaxDimension = 1 << 16;
  if (width > kMaxDimension || height > kMaxDimension) return false;
  return ImageSize() <= kMaxFrameBytes;
}

std::optional<FrameLayout> FrameLayout::FromBitmapInfo(const BITMAPINFOHEADER& header) {
  FrameLayout layout;
  if (header.biCompression == BI_RGB) {
    switch (header.biBitCount) {
      case 24:
        layout.format = PixelFormat::kRgb24;
        break;
      case 32:
        layout.format = PixelFormat::kRgb32;
        break;
      // A 16-bit BI_RGB bitmap is 5-5-5 by definition; 5-6-5 needs the subtype.
      case 16:
        layout.format = PixelFormat::kRgb555;
        break;
      default:
        return std::nullopt;
    }
  } else if (header.biCompression == kFourccI420) {
    layout.format = PixelFormat::kI420;
  } else {
    for (const FormatInfo& info : kFormats) {
      if (!IsRgb(info.format) && info.compression == header.biCompression) {
        layout.format = info.format;
      }
    }
    if (layout.format == PixelFormat::kUnknown) return std::nullopt;
  }
  if (header.biHeight == std::numeric_limits<LONG>::min()) return std::nullopt;
  layout.width = header.biWidth;
  layout.height = std::abs(header.biHeight);
  // Only RGB bitmaps are stored bottom-up; YUV frames are top-down whatever the sign.
  layout.bottomUp = IsRgb(layout.format) && header.biHeight > 0;
  if (!layout.IsValid()) return std::nullopt;
  return layout;
}

const BITMAPINFOHEADER* BitmapInfoOf(const AM_MEDIA_TYPE& mediaType) {
  if (!mediaType.pbFormat) return nullptr;
  if (mediaType.formattype == FORMAT_VideoInfo && mediaType.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    return &reinterpret_cast<const VIDEOINFOHEADER*>(mediaType.pbFormat)->bmiHeader;
  }
  if (mediaType.formattype == FORMAT_VideoInfo2 && mediaType.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    return &reinterpret_cast<const VIDEOINFOHEADER2*>(mediaType.pbFormat)->bmiHeader;
  }
  return nullptr;
}

std::optional<FrameLayout> FrameLayout::FromMediaType(const AM_MEDIA_TYPE& mediaType) {
  if (mediaType.majortype != MEDIATYPE_Video) return std::nullopt;
  const PixelFormat format = PixelFormatFromSubtype(mediaType.subtype);
  if (format == PixelFormat::kUnknown) return std::nullopt;
  const BITMAPINFOHEADER* header = BitmapInfoOf(mediaType);
  if (!header || header->biHeight == std::numeric_limits<LONG>::min()) return std::nullopt;
  FrameLayout layout;
  layout.format = format;
  layout.width = header->biWidth;
  layout.height = std::abs(header->biHeight);
  layout.bottomUp = IsRgb(format) && header->biHeight > 0;
  if (!layout.IsValid()) return std::nullopt;
  return layout;
}

BITMAPINFOHEADER FrameLayout::ToBitmapInfo() const {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = (IsRgb(format) && !bottomUp) ? -height : height;
  header.biPlanes = 1;
  header.biBitCount = BitCountOf(format);
  header.biCompression = CompressionOf(format);
  header.biSizeImage = static_cast<DWORD>(ImageSize());
  return header;
}

void PixelFormatConverter::ContextDeleter::operator()(SwsContext* context) const {
  sws_freeContext(context);
}

PixelFormatConverter::PixelFormatConverter() = default;
PixelFormatConverter::~PixelFormatConverter() = default;

bool PixelFormatConverter::Configure(const FrameLayout& input, const FrameLayout& output) {
  context_.reset();
  input_ = FrameLayout{};
  output_ = FrameLayout{};
  if (!input.IsValid() || !output.IsValid()) return false;
  if (input.width != output.width || input.height != output.height) return false;
  SwsContext* context = sws_getContext(input.width, input.height, InfoOf(input.format)->avFormat,
                                       output.width, output.height, InfoOf(output.format)->avFormat,
                                       kScaleFlags, nullptr, nullptr, nullptr);
  if (!context) return false;
  context_.reset(context);
  input_ = input;
  output_ = output;
  return true;
}

bool PixelFormatConverter::Convert(const BYTE* source, size_t sourceSize, BYTE* destination,
                                   size_t destinationSize) {
  if (!context_ || !source || !destination) return false;
  const size_t inSize = input_.ImageSize();
  const size_t outSize = output_.ImageSize();
  if (sourceSize < inSize || destinationSize < outSize) return false;
  // The conversion library's vector code reads and writes whole blocks past the last pixel of
  // a plane. A buffer without that much room after the frame is read from or written to
  // through a padded scratch copy, so the caller's memory is never overrun.
  const BYTE* readFrom = source;
  if (sourceSize < inSize + kBufferPadding) {
    sourceScratch_.resize(inSize + kBufferPadding);
    std::memcpy(sourceScratch_.data(), source, inSize);
    readFrom = sourceScratch_.data();
    ++scratchCopies_;
  }
  // PlanesOf only computes addresses; the source's are read, never written.
  return ConvertPlanes(PlanesOf(input_, const_cast<uint8_t*>(readFrom)), destination,
                       destinationSize);
}

bool PixelFormatConverter::ConvertPlanes(FramePlanes in, BYTE* destination,
                                         size_t destinationSize) {
  if (!context_ || !in.data[0] || !destination) return false;
  const size_t outSize = output_.ImageSize();
  if (destinationSize < outSize) return false;
  // Bottom-up and top-down differ only in row order. When exactly one side is bottom-up, the
  // source is read upside down (each plane from its last row, with a negative stride) so the
  // destination gets its rows in its own order. The library reads upside-down 4:1:1 planes
  // wrongly, so those frames are converted top-down and their rows copied out in reverse.
  const bool flip = input_.bottomUp != output_.bottomUp;
  const bool flipAfter = flip && input_.format == PixelFormat::kY41b;
  const bool viaScratch = flipAfter || destinationSize < outSize + kBufferPadding;
  if (viaScratch) destinationScratch_.resize(outSize + kBufferPadding);
  BYTE* writeTo = viaScratch ? destinationScratch_.data() : destination;

  if (flip && !flipAfter) FlipVertically(in, input_);
  const std::array<const uint8_t*, 4> sourcePlanes = {in.data[0], in.data[1], in.data[2],
                                                      in.data[3]};
  const Planes out = PlanesOf(output_, writeTo);
  const int rows = sws_scale(context_.get(), sourcePlanes.data(), in.strides.data(), 0,
                             input_.height, out.data.data(), out.strides.data());
  if (rows != output_.height) return false;
  if (flipAfter) {
    // Only RGB is ever bottom-up, so the output is a single plane here.
    const size_t stride = output_.Stride();
    for (int row = 0; row < output_.height; ++row) {
      std::memcpy(destination + stride * (output_.height - 1 - row), writeTo + stride * row,
                  stride);
    }
  } else if (viaScratch) {
    std::memcpy(destination, writeTo, outSize);
  }
  if (viaScratch) ++scratchCopies_;
  return true;
}

}  // namespace vidorra::filters
