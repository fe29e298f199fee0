// Pixel conversion on known pixels, both ways, for every layout the Color Space Converter
// handles; bottom-up and top-down RGB rows; sizes and refusals.
#include <PixelFormatConverter.h>
#include <amvideo.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vidorra::filters {
namespace {

struct Rgb {
  int r;
  int g;
  int b;
};

// The test picture, 8 x 4, top row first: red | green over blue | white, each quadrant 4 x 2,
// so every 2 x 2 chroma block is one colour.
constexpr int kWidth = 8;
constexpr int kHeight = 4;
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kWhite{255, 255, 255};

Rgb ColourAt(int x, int y) {
  if (y < kHeight / 2) return x < kWidth / 2 ? kRed : kGreen;
  return x < kWidth / 2 ? kBlue : kWhite;
}

// BT.601 limited-range values of the four colours (Y, Cb, Cr).
struct Yuv {
  int y;
  int u;
  int v;
};
Yuv ExpectedYuv(const Rgb& c) {
  if (c.r == 255 && c.g == 0) return {81, 90, 240};
  if (c.g == 255 && c.r == 0) return {145, 54, 34};
  if (c.b == 255 && c.r == 0) return {41, 240, 110};
  return {235, 128, 128};
}

FrameLayout Layout(PixelFormat format, bool bottomUp = false) {
  return FrameLayout{format, kWidth, kHeight, bottomUp};
}

// Writes the test picture in an RGB layout (24 or 32 bits).
std::vector<BYTE> MakeRgb(const FrameLayout& layout) {
  std::vector<BYTE> frame(layout.ImageSize(), 0);
  const size_t bytesPerPixel = BitCountOf(layout.format) / 8;
  for (int y = 0; y < kHeight; ++y) {
    const int memoryRow = layout.bottomUp ? kHeight - 1 - y : y;
    for (int x = 0; x < kWidth; ++x) {
      BYTE* p = frame.data() + memoryRow * layout.Stride() + x * bytesPerPixel;
      const Rgb c = ColourAt(x, y);
      p[0] = static_cast<BYTE>(c.b);
      p[1] = static_cast<BYTE>(c.g);
      p[2] = static_cast<BYTE>(c.r);
    }
  }
  return frame;
}

// Pixel (x, y) of an RGB24 or RGB32 frame.
Rgb ReadRgb(const FrameLayout& layout, const std::vector<BYTE>& frame, int x, int y) {
  const int memoryRow = layout.bottomUp ? kHeight - 1 - y : y;
  const BYTE* p = frame.data() + memoryRow * layout.Stride() + x * (BitCountOf(layout.format) / 8);
  return {p[2], p[1], p[0]};
}

Yuv ReadYuv(const FrameLayout& layout, const std::vector<BYTE>& frame, int x, int y) {
  const size_t luma = static_cast<size_t>(kWidth) * kHeight;
  const size_t chroma = luma / 4;
  const size_t chromaIndex = static_cast<size_t>(y / 2) * (kWidth / 2) + x / 2;
  const BYTE* f = frame.data();
  switch (layout.format) {
    case PixelFormat::kYuy2: {
      const BYTE* pair = f + y * layout.Stride() + (x / 2) * 4;
      return {pair[(x % 2) * 2], pair[1], pair[3]};
    }
    case PixelFormat::kUyvy: {
      const BYTE* pair = f + y * layout.Stride() + (x / 2) * 4;
      return {pair[1 + (x % 2) * 2], pair[0], pair[2]};
    }
    case PixelFormat::kI420:
      return {f[y * kWidth + x], f[luma + chromaIndex], f[luma + chroma + chromaIndex]};
    case PixelFormat::kYv12:
      return {f[y * kWidth + x], f[luma + chroma + chromaIndex], f[luma + chromaIndex]};
    case PixelFormat::kNv12: {
      const BYTE* uv = f + luma + (y / 2) * kWidth + (x / 2) * 2;
      return {f[y * kWidth + x], uv[0], uv[1]};
    }
    default:
      ADD_FAILURE() << "not a YUV layout";
      return {};
  }
}

void ExpectNear(const Rgb& actual, const Rgb& expected, int tolerance, int x, int y) {
  EXPECT_NEAR(actual.r, expected.r, tolerance) << "red at " << x << "," << y;
  EXPECT_NEAR(actual.g, expected.g, tolerance) << "green at " << x << "," << y;
  EXPECT_NEAR(actual.b, expected.b, tolerance) << "blue at " << x << "," << y;
}

std::vector<BYTE> Convert(const FrameLayout& from, const std::vector<BYTE>& frame,
                          const FrameLayout& to) {
  PixelFormatConverter converter;
  EXPECT_TRUE(converter.Configure(from, to));
  std::vector<BYTE> out(to.ImageSize(), 0xCD);
  EXPECT_TRUE(converter.Convert(frame.data(), frame.size(), out.data(), out.size()));
  return out;
}

constexpr std::array kYuvFormats = {PixelFormat::kYuy2, PixelFormat::kUyvy, PixelFormat::kI420,
                                    PixelFormat::kYv12, PixelFormat::kNv12};

// Each YUV layout holds the BT.601 values of the picture, and converts back to it.
TEST(SysPixelConvert, EveryYuvLayoutGivesBt601ValuesAndBackTheSamePicture) {
  const FrameLayout rgb = Layout(PixelFormat::kRgb24, /*bottomUp=*/true);
  const std::vector<BYTE> picture = MakeRgb(rgb);
  for (PixelFormat format : kYuvFormats) {
    SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(format));
    const FrameLayout yuv = Layout(format);
    const std::vector<BYTE> out = Convert(rgb, picture, yuv);
    const std::vector<BYTE> back = Convert(yuv, out, rgb);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const Yuv expected = ExpectedYuv(ColourAt(x, y));
        const Yuv actual = ReadYuv(yuv, out, x, y);
        EXPECT_NEAR(actual.y, expected.y, 2) << x << "," << y;
        EXPECT_NEAR(actual.u, expected.u, 2) << x << "," << y;
        EXPECT_NEAR(actual.v, expected.v, 2) << x << "," << y;
        ExpectNear(ReadRgb(rgb, back, x, y), ColourAt(x, y), 6, x, y);
      }
    }
  }
}

// Every RGB layout from bottom-up RGB24 and back; RGB32 exactly, with the top row first.
TEST(SysPixelConvert, RgbLayoutsKeepThePictureAndItsRowOrder) {
  const FrameLayout rgb = Layout(PixelFormat::kRgb24, true);
  const std::vector<BYTE> picture = MakeRgb(rgb);
  const struct {
    FrameLayout layout;
    int tolerance;
  } cases[] = {{Layout(PixelFormat::kRgb32, false), 0},
               {Layout(PixelFormat::kRgb565, true), 8},
               {Layout(PixelFormat::kRgb555, false), 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(c.layout.format));
    const std::vector<BYTE> out = Convert(rgb, picture, c.layout);
    const std::vector<BYTE> back = Convert(c.layout, out, rgb);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (c.tolerance == 0) ExpectNear(ReadRgb(c.layout, out, x, y), ColourAt(x, y), 0, x, y);
        ExpectNear(ReadRgb(rgb, back, x, y), ColourAt(x, y), c.tolerance, x, y);
      }
    }
  }
  // Known words: the top-left pixel is red, 0xF800 in 5-6-5 (bottom-up: the last row in
  // memory), 0x7C00 in 5-5-5; written RGB32 is opaque.
  const std::vector<BYTE> out565 = Convert(rgb, picture, cases[1].layout);
  const BYTE* topLeft565 = out565.data() + (kHeight - 1) * cases[1].layout.Stride();
  EXPECT_EQ(topLeft565[0] | (topLeft565[1] << 8), 0xF800);
  const std::vector<BYTE> out555 = Convert(rgb, picture, cases[2].layout);
  EXPECT_EQ(out555[0] | (out555[1] << 8), 0x7C00);
  EXPECT_EQ(Convert(rgb, picture, cases[0].layout)[3], 255);
}

// Planar 4:1:1 (525-line DV's own sampling), at a width the conversion library handles it at:
// red on the left half, white on the right, both ways.
TEST(SysPixelConvert, Y41bBothWays) {
  constexpr int kWide = 64, kRows = 2;
  const FrameLayout rgb{PixelFormat::kRgb24, kWide, kRows, true};
  const FrameLayout y41b{PixelFormat::kY41b, kWide, kRows, false};
  std::vector<BYTE> picture(rgb.ImageSize(), 0);
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kWide; ++x) {
      BYTE* p = picture.data() + y * rgb.Stride() + x * 3;
      p[0] = x < kWide / 2 ? 0 : 255;
      p[1] = x < kWide / 2 ? 0 : 255;
      p[2] = 255;
    }
  }
  PixelFormatConverter there, back;
  ASSERT_TRUE(there.Configure(rgb, y41b));
  ASSERT_TRUE(back.Configure(y41b, rgb));
  std::vector<BYTE> planes(y41b.ImageSize()), again(rgb.ImageSize());
  ASSERT_TRUE(there.Convert(picture.data(), picture.size(), planes.data(), planes.size()));
  const size_t luma = kWide * kRows, chroma = luma / 4;
  for (auto [x, expected] : {std::pair{4, ExpectedYuv(kRed)}, {kWide - 4, ExpectedYuv(kWhite)}}) {
    EXPECT_NEAR(planes[x], expected.y, 2) << x;
    EXPECT_NEAR(planes[luma + x / 4], expected.u, 2) << x;
    EXPECT_NEAR(planes[luma + chroma + x / 4], expected.v, 2) << x;
  }
  ASSERT_TRUE(back.Convert(planes.data(), planes.size(), again.data(), again.size()));
  for (int x : {2, kWide - 2}) EXPECT_NEAR(again[x * 3 + 2], 255, 6) << x;
  EXPECT_NEAR(again[2 * 3 + 1], 0, 6);
  EXPECT_NEAR(again[(kWide - 2) * 3 + 1], 255, 6);
}

// The DV preview's conversions at full size: planar 4:2:0 to bottom-up RGB32 is written straight
// into the destination, rows in the bitmap's order, without a scratch copy; 4:1:1 takes one.
TEST(SysPixelConvert, PlanarToBottomUpRgbIsWrittenInPlace) {
  for (PixelFormat format : {PixelFormat::kI420, PixelFormat::kY41b}) {
    const FrameLayout in{format, 720, 576, false};
    std::vector<BYTE> frame(in.ImageSize() + PixelFormatConverter::kBufferPadding);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<BYTE>(i * 7 + i / 720);
    std::vector<BYTE> out[2];
    long scratch[2] = {};
    for (bool bottomUp : {false, true}) {
      const FrameLayout rgb{PixelFormat::kRgb32, 720, 576, bottomUp};
      PixelFormatConverter converter;
      ASSERT_TRUE(converter.Configure(in, rgb));
      out[bottomUp].assign(rgb.ImageSize() + PixelFormatConverter::kBufferPadding, 0);
      ASSERT_TRUE(
          converter.Convert(frame.data(), frame.size(), out[bottomUp].data(), out[bottomUp].size()));
      scratch[bottomUp] = converter.ScratchCopies();
    }
    EXPECT_EQ(scratch[0], 0);
    EXPECT_EQ(scratch[1], format == PixelFormat::kI420 ? 0 : 1);
    const size_t stride = 720 * 4;
    for (size_t row = 0; row < 576; ++row) {
      ASSERT_EQ(0, std::memcmp(out[0].data() + row * stride, out[1].data() + (575 - row) * stride,
                               stride))
          << "format " << static_cast<int>(format) << " row " << row;
    }
  }
}

TEST(SysPixelConvert, OddWidthRgbRoundTripKeepsPadding) {
  // 3 x 2 RGB24 (rows of 12 bytes with 3 padding bytes) to RGB32 and back.
  const FrameLayout rgb24{PixelFormat::kRgb24, 3, 2, true};
  ASSERT_EQ(rgb24.Stride(), 12u) << "rows are padded to four bytes";
  std::vector<BYTE> frame(rgb24.ImageSize(), 0);
  for (int i = 0; i < 9; ++i) frame[i] = static_cast<BYTE>(10 + i);
  for (int i = 0; i < 9; ++i) frame[12 + i] = static_cast<BYTE>(100 + i);
  const FrameLayout rgb32{PixelFormat::kRgb32, 3, 2, true};
  PixelFormatConverter there;
  ASSERT_TRUE(there.Configure(rgb24, rgb32));
  std::vector<BYTE> mid(rgb32.ImageSize());
  ASSERT_TRUE(there.Convert(frame.data(), frame.size(), mid.data(), mid.size()));
  EXPECT_EQ(mid[4 + 0], 13);    // second pixel of the first stored row, blue
  EXPECT_EQ(mid[12 + 2], 102);  // first pixel of the second stored row, red
  PixelFormatConverter back;
  ASSERT_TRUE(back.Configure(rgb32, rgb24));
  std::vector<BYTE> again(rgb24.ImageSize(), 0);
  ASSERT_TRUE(back.Convert(mid.data(), mid.size(), again.data(), again.size()));
  for (int i = 0; i < 9; ++i) EXPECT_EQ(again[i], frame[i]);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(again[12 + i], frame[12 + i]);
}

TEST(SysPixelConvert, RefusesBadLayoutsAndShortBuffers) {
  PixelFormatConverter converter;
  EXPECT_FALSE(converter.Configure(Layout(PixelFormat::kUnknown), Layout(PixelFormat::kRgb24)));
  EXPECT_FALSE(converter.Configure(FrameLayout{PixelFormat::kYuy2, 7, 4, false},
                                   Layout(PixelFormat::kRgb24)))
      << "4:2:2 needs an even width";
  EXPECT_FALSE(converter.Configure(FrameLayout{PixelFormat::kI420, 8, 3, false},
                                   FrameLayout{PixelFormat::kRgb24, 8, 3, true}))
      << "4:2:0 needs an even height";
  EXPECT_FALSE(converter.Configure(Layout(PixelFormat::kRgb24),
                                   FrameLayout{PixelFormat::kRgb32, 16, 4, false}))
      << "no scaling";
  EXPECT_FALSE(converter.IsConfigured());

  ASSERT_TRUE(converter.Configure(Layout(PixelFormat::kYuy2), Layout(PixelFormat::kRgb32)));
  std::vector<BYTE> in(Layout(PixelFormat::kYuy2).ImageSize());
  std::vector<BYTE> out(Layout(PixelFormat::kRgb32).ImageSize(), 0xAB);
  EXPECT_FALSE(converter.Convert(in.data(), in.size() - 1, out.data(), out.size()));
  EXPECT_FALSE(converter.Convert(in.data(), in.size(), out.data(), out.size() - 1));
  EXPECT_EQ(out[0], 0xAB) << "nothing written on refusal";
}

TEST(SysPixelConvert, LayoutFromMediaTypeAndBitmapHeader) {
  VIDEOINFOHEADER vih{};
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = 320;
  vih.bmiHeader.biHeight = -240;
  vih.bmiHeader.biBitCount = 24;
  vih.bmiHeader.biCompression = BI_RGB;
  AM_MEDIA_TYPE mt{};
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = MEDIASUBTYPE_RGB24;
  mt.formattype = FORMAT_VideoInfo;
  mt.cbFormat = sizeof(vih);
  mt.pbFormat = reinterpret_cast<BYTE*>(&vih);
  auto layout = FrameLayout::FromMediaType(mt);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->format, PixelFormat::kRgb24);
  EXPECT_EQ(layout->height, 240);
  EXPECT_FALSE(layout->bottomUp);

  mt.subtype = MEDIASUBTYPE_YUY2;
  vih.bmiHeader.biHeight = 240;  // YUV is top-down whatever the sign
  layout = FrameLayout::FromMediaType(mt);
  ASSERT_TRUE(layout);
  EXPECT_FALSE(layout->bottomUp);

  mt.cbFormat = sizeof(vih) - 1;
  EXPECT_FALSE(FrameLayout::FromMediaType(mt)) << "short format block";
  mt.cbFormat = sizeof(vih);
  mt.subtype = MEDIASUBTYPE_MJPG;
  EXPECT_FALSE(FrameLayout::FromMediaType(mt));

  const FrameLayout nv12{PixelFormat::kNv12, 64, 48, false};
  const BITMAPINFOHEADER header = nv12.ToBitmapInfo();
  EXPECT_EQ(header.biCompression, MAKEFOURCC('N', 'V', '1', '2'));
  EXPECT_EQ(header.biBitCount, 12);
  EXPECT_EQ(header.biSizeImage, 64u * 48u * 3u / 2u);
  EXPECT_EQ(FrameLayout::FromBitmapInfo(header), nv12);
  const FrameLayout rgb{PixelFormat::kRgb32, 64, 48, true};
  EXPECT_EQ(FrameLayout::FromBitmapInfo(rgb.ToBitmapInfo()), rgb);
  EXPECT_EQ(PixelFormatFromSubtype(MEDIASUBTYPE_I420), PixelFormat::kI420);
  EXPECT_EQ(PixelFormatFromSubtype(MEDIASUBTYPE_IYUV), PixelFormat::kI420);
  EXPECT_EQ(PixelFormatFromSubtype(kSubtypeY41b), PixelFormat::kY41b);
  const FrameLayout narrow{PixelFormat::kY41b, 6, 4, false};
  EXPECT_FALSE(narrow.IsValid()) << "4:1:1 needs a width divisible by 4";
}

}  // namespace
}  // namespace vidorra::filters
