// Pixel conversion on known pixels, both ways, for every layout the Color Space Converter
// handles; bottom-up and top-down RGB rows; sizes and refusals; layouts from media types.
#include <PixelFormatConverter.h>
#include <amvideo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vidorra::filters {
namespace {

using Rgb = std::array<int, 3>;  // r, g, b
using Yuv = std::array<int, 3>;  // y, u, v

// Each of the three within the tolerance.
bool Near(const std::array<int, 3>& got, const std::array<int, 3>& wanted, int tolerance) {
  for (int i = 0; i < 3; ++i) {
    if (std::abs(got[i] - wanted[i]) > tolerance) return false;
  }
  return true;
}

// The test picture, 64 x 4, top row first: red | green over blue | white (4:1:1 conversions
// want a width of 64), and their BT.601 limited-range values.
constexpr int kWidth = 64, kHeight = 4;
constexpr struct {
  Rgb rgb;
  Yuv yuv;
} kQuadrants[2][2] = {{{{255, 0, 0}, {81, 90, 240}}, {{0, 255, 0}, {145, 54, 34}}},
                      {{{0, 0, 255}, {41, 240, 110}}, {{255, 255, 255}, {235, 128, 128}}}};
const auto& At(int x, int y) { return kQuadrants[y >= kHeight / 2][x >= kWidth / 2]; }

FrameLayout Layout(PixelFormat format, bool bottomUp = false) {
  return FrameLayout{format, kWidth, kHeight, bottomUp};
}

// Pixel (x, y) of an RGB24 or RGB32 frame.
BYTE* RgbPixel(const FrameLayout& layout, std::vector<BYTE>& frame, int x, int y) {
  const int row = layout.bottomUp ? kHeight - 1 - y : y;
  return frame.data() + row * layout.Stride() + x * (BitCountOf(layout.format) / 8);
}

Yuv ReadYuv(const FrameLayout& layout, const std::vector<BYTE>& frame, int x, int y) {
  const size_t luma = static_cast<size_t>(kWidth) * kHeight, chroma = luma / 4;
  const size_t c = static_cast<size_t>(y / 2) * (kWidth / 2) + x / 2;
  const BYTE* f = frame.data();
  const BYTE* pair = f + y * layout.Stride() + (x / 2) * 4;
  switch (layout.format) {
    case PixelFormat::kYuy2:
      return {pair[(x % 2) * 2], pair[1], pair[3]};
    case PixelFormat::kUyvy:
      return {pair[1 + (x % 2) * 2], pair[0], pair[2]};
    case PixelFormat::kI420:
      return {f[y * kWidth + x], f[luma + c], f[luma + chroma + c]};
    case PixelFormat::kYv12:
      return {f[y * kWidth + x], f[luma + chroma + c], f[luma + c]};
    case PixelFormat::kNv12:
      return {f[y * kWidth + x], f[luma + (y / 2) * kWidth + (x / 2) * 2],
              f[luma + (y / 2) * kWidth + (x / 2) * 2 + 1]};
    case PixelFormat::kY41b:  // 4:1:1 planar: a chroma sample for 4 x 1 pixels
      return {f[y * kWidth + x], f[luma + y * (kWidth / 4) + x / 4],
              f[luma + chroma + y * (kWidth / 4) + x / 4]};
    default:
      return {-1, -1, -1};
  }
}

std::vector<BYTE> Convert(const FrameLayout& from, const std::vector<BYTE>& frame,
                          const FrameLayout& to) {
  PixelFormatConverter converter;
  EXPECT_TRUE(converter.Configure(from, to));
  std::vector<BYTE> out(to.ImageSize(), 0xCD);
  EXPECT_TRUE(converter.Convert(frame.data(), frame.size(), out.data(), out.size()));
  return out;
}

// Every layout from bottom-up RGB24 and back: the YUV layouts hold the BT.601 values of the
// picture, the RGB ones its colours in their row order (RGB32 exactly, opaque), and back it is
// the same picture; an odd width's row padding is kept.
TEST(SysPixelConvert, EveryLayoutHoldsThePictureAndGivesItBackPaddingKept) {
  const FrameLayout rgb = Layout(PixelFormat::kRgb24, /*bottomUp=*/true);
  std::vector<BYTE> picture(rgb.ImageSize(), 0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      BYTE* p = RgbPixel(rgb, picture, x, y);
      std::tie(p[2], p[1], p[0]) = std::tuple(At(x, y).rgb[0], At(x, y).rgb[1], At(x, y).rgb[2]);
    }
  }
  const struct {
    FrameLayout layout;
    int tolerance;  // of the picture given back
  } cases[] = {{Layout(PixelFormat::kYuy2), 6},         {Layout(PixelFormat::kUyvy), 6},
               {Layout(PixelFormat::kI420), 6},         {Layout(PixelFormat::kYv12), 6},
               {Layout(PixelFormat::kNv12), 6},         {Layout(PixelFormat::kY41b), 6},
               {Layout(PixelFormat::kRgb32, false), 0}, {Layout(PixelFormat::kRgb565, true), 8},
               {Layout(PixelFormat::kRgb555, false), 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(c.layout.format));
    std::vector<BYTE> out = Convert(rgb, picture, c.layout);
    std::vector<BYTE> back = Convert(c.layout, out, rgb);
    for (int y = 0; y < kHeight; ++y) {
      // Away from the colours' edges, where the chroma filters blend them.
      for (int x = 8; x < kWidth; x += x % 32 == 23 ? 17 : 1) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        const Yuv yuv = ReadYuv(c.layout, out, x, y);
        EXPECT_PRED3(Near, yuv[0] < 0 ? At(x, y).yuv : yuv, At(x, y).yuv, 2);
        if (c.layout.format == PixelFormat::kRgb32) {
          const BYTE* p = RgbPixel(c.layout, out, x, y);
          EXPECT_EQ((std::array<int, 4>{p[2], p[1], p[0], p[3]}),
                    (std::array<int, 4>{At(x, y).rgb[0], At(x, y).rgb[1], At(x, y).rgb[2], 255}));
        }
        const BYTE* p = RgbPixel(rgb, back, x, y);
        EXPECT_PRED3(Near, (Rgb{p[2], p[1], p[0]}), At(x, y).rgb, c.tolerance);
      }
    }
  }
  // Known words: the top-left pixel is red, 0xF800 in 5-6-5 (bottom-up: the last row in
  // memory), 0x7C00 in 5-5-5.
  const std::vector<BYTE> out565 = Convert(rgb, picture, cases[7].layout);
  const BYTE* topLeft565 = out565.data() + (kHeight - 1) * cases[7].layout.Stride();
  EXPECT_EQ(topLeft565[0] | (topLeft565[1] << 8), 0xF800);
  const std::vector<BYTE> out555 = Convert(rgb, picture, cases[8].layout);
  EXPECT_EQ(out555[0] | (out555[1] << 8), 0x7C00);

  // 3 x 2 RGB24 (rows of 12 bytes, 3 of them padding) to RGB32 and back.
  const FrameLayout rgb24{PixelFormat::kRgb24, 3, 2, true}, rgb32{PixelFormat::kRgb32, 3, 2, true};
  ASSERT_EQ(rgb24.Stride(), 12u) << "rows are padded to four bytes";
  std::vector<BYTE> frame(rgb24.ImageSize(), 0);
  for (int i = 0; i < 9; ++i)
    frame[i] = static_cast<BYTE>(10 + i), frame[12 + i] = static_cast<BYTE>(100 + i);
  const std::vector<BYTE> mid = Convert(rgb24, frame, rgb32);
  EXPECT_EQ(mid[4 + 0], 13);    // second pixel of the first stored row, blue
  EXPECT_EQ(mid[12 + 2], 102);  // first pixel of the second stored row, red
  std::vector<BYTE> again = Convert(rgb32, mid, rgb24);
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 13, 14, 15, 16, 17, 18, 19, 20})
    EXPECT_EQ(again[i], frame[i]) << i;
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
      ASSERT_TRUE(converter.Convert(frame.data(), frame.size(), out[bottomUp].data(),
                                    out[bottomUp].size()));
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

TEST(SysPixelConvert, RefusesBadLayoutsAndShortBuffersAndReadsLayoutsFromTypesAndHeaders) {
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
  EXPECT_FALSE(FrameLayout({PixelFormat::kY41b, 6, 4, false}).IsValid())
      << "4:1:1 needs a width divisible by 4";
  EXPECT_FALSE(converter.IsConfigured());
  ASSERT_TRUE(converter.Configure(Layout(PixelFormat::kYuy2), Layout(PixelFormat::kRgb32)));
  std::vector<BYTE> in(Layout(PixelFormat::kYuy2).ImageSize());
  std::vector<BYTE> out(Layout(PixelFormat::kRgb32).ImageSize(), 0xAB);
  EXPECT_FALSE(converter.Convert(in.data(), in.size() - 1, out.data(), out.size()));
  EXPECT_FALSE(converter.Convert(in.data(), in.size(), out.data(), out.size() - 1));
  EXPECT_EQ(out[0], 0xAB) << "nothing written on refusal";

  // RGB is bottom-up for a positive height, YUV top-down whatever the sign; a short format block
  // or a compressed subtype gives no layout; a layout's bitmap header gives it back.
  VIDEOINFOHEADER vih{};
  vih.bmiHeader = {sizeof(BITMAPINFOHEADER), 320, -240, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  AM_MEDIA_TYPE mt{
      MEDIATYPE_Video, MEDIASUBTYPE_RGB24,           TRUE, FALSE, 0, FORMAT_VideoInfo, nullptr,
      sizeof(vih),     reinterpret_cast<BYTE*>(&vih)};
  EXPECT_EQ(FrameLayout::FromMediaType(mt), (FrameLayout{PixelFormat::kRgb24, 320, 240, false}));
  vih.bmiHeader.biHeight = 240;
  EXPECT_EQ(FrameLayout::FromMediaType(mt), (FrameLayout{PixelFormat::kRgb24, 320, 240, true}));
  mt.subtype = MEDIASUBTYPE_YUY2;
  EXPECT_EQ(FrameLayout::FromMediaType(mt), (FrameLayout{PixelFormat::kYuy2, 320, 240, false}));
  mt.cbFormat = sizeof(vih) - 1;
  EXPECT_FALSE(FrameLayout::FromMediaType(mt)) << "short format block";
  mt.cbFormat = sizeof(vih);
  mt.subtype = MEDIASUBTYPE_MJPG;
  EXPECT_FALSE(FrameLayout::FromMediaType(mt));
  for (const FrameLayout& layout : {FrameLayout{PixelFormat::kNv12, 64, 48, false},
                                    FrameLayout{PixelFormat::kRgb32, 64, 48, true}}) {
    EXPECT_EQ(FrameLayout::FromBitmapInfo(layout.ToBitmapInfo()), layout);
  }
}

}  // namespace
}  // namespace vidorra::filters
