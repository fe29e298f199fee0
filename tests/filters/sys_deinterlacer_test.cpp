// The deinterlacer (its stored moniker: the device enumerator's tests): field order from the
// media type, and combed pictures (two moments woven line by line, as a camera's fields
// give them) coming out without combing, one frame out per frame in with the input's times,
// in the input's layout or converted to a bitmap.
#include <ColorSpaceConverter.h>
#include <Deinterlacer.h>
#include <PixelFormatConverter.h>
#include <amvideo.h>
#include <dvdmedia.h>

#include <cmath>
#include <numbers>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

using filters::FieldOrder;
using filters::FieldOrderOf;
using filters::FrameLayout;
using filters::PixelFormat;

constexpr int kWidth = 720;
constexpr int kHeight = 576;
constexpr int kFrames = 6;
constexpr REFERENCE_TIME kFrameTime = 400'000;

// The luma of a vertical-bar pattern moving right by 16 pixels a field: two fields a quarter
// of the bars' period apart, so that weaving them combs every edge.
uint8_t PatternLuma(int x, int field) {
  constexpr double kPeriod = 64.0;
  constexpr double kStepPerField = 16.0;
  const double phase = 2.0 * std::numbers::pi * (x - kStepPerField * field) / kPeriod;
  return static_cast<uint8_t>(std::lround(128.0 + 90.0 * std::sin(phase)));
}

// Frame n woven bottom field first: odd rows (the bottom field) show field 2n, even rows 2n+1.
std::vector<uint8_t> CombedLuma(int frame) {
  std::vector<uint8_t> luma(static_cast<size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    const int field = 2 * frame + (y % 2 == 1 ? 0 : 1);
    for (int x = 0; x < kWidth; ++x)
      luma[static_cast<size_t>(y) * kWidth + x] = PatternLuma(x, field);
  }
  return luma;
}

// A grey picture of that luma in `layout` (neutral chroma).
std::vector<BYTE> PictureIn(const FrameLayout& layout, const std::vector<uint8_t>& luma) {
  std::vector<BYTE> bytes(layout.ImageSize(), 128);
  const size_t stride = layout.Stride();
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint8_t value = luma[static_cast<size_t>(y) * kWidth + x];
      switch (layout.format) {
        case PixelFormat::kI420:
          bytes[y * stride + x] = value;
          break;
        case PixelFormat::kYuy2:
          bytes[y * stride + 2 * x] = value;
          break;
        case PixelFormat::kRgb24: {
          const size_t row = layout.bottomUp ? kHeight - 1 - y : y;
          for (int c = 0; c < 3; ++c) bytes[row * stride + 3 * x + c] = value;
          break;
        }
        default:
          ADD_FAILURE() << "layout not drawn by this test";
          return bytes;
      }
    }
  }
  return bytes;
}

// The luma (for RGB: green) of a picture in `layout`, top row first.
std::vector<int> LumaOf(const FrameLayout& layout, const std::vector<BYTE>& bytes) {
  std::vector<int> luma(static_cast<size_t>(kWidth) * kHeight);
  const size_t stride = layout.Stride();
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      int value = 0;
      if (layout.format == PixelFormat::kI420) value = bytes[y * stride + x];
      if (layout.format == PixelFormat::kYuy2) value = bytes[y * stride + 2 * x];
      if (layout.format == PixelFormat::kRgb24) {
        const size_t row = layout.bottomUp ? kHeight - 1 - y : y;
        value = bytes[row * stride + 3 * x + 1];
      }
      luma[static_cast<size_t>(y) * kWidth + x] = value;
    }
  }
  return luma;
}

// Combing: the mean distance of each row from the mean of its neighbours above and below.
// A woven picture of a moving scene scores high; a progressive picture of vertical bars, 0.
double Combing(const std::vector<int>& luma) {
  double total = 0;
  for (int y = 1; y + 1 < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const auto at = [&](int row) { return luma[static_cast<size_t>(row) * kWidth + x]; };
      total += std::abs(2 * at(y) - at(y - 1) - at(y + 1)) / 2.0;
    }
  }
  return total / (static_cast<double>(kWidth) * (kHeight - 2));
}

// The combed frames in one layout, times n * 40 ms.
ComPtr<ListSource> CombedSource(const FrameLayout& layout) {
  std::vector<ListedSample> frames;
  for (int n = 0; n < kFrames; ++n) {
    frames.push_back({PictureIn(layout, CombedLuma(n)),
                      std::pair{n * kFrameTime, (n + 1) * kFrameTime}, std::nullopt});
  }
  return MakeComObject<ListSource>(filters::MakeVideoMediaType(layout), std::move(frames));
}

TEST(SysDeinterlacer, FieldOrderComesFromTheTypeOrIsAssumed) {
  struct Case {
    int width;
    int height;
    bool info2;
    DWORD interlaceFlags;
    FieldOrder expected;
  };
  const Case cases[] = {
      {720, 576, false, 0, FieldOrder::kBottomFirst},  // DV PAL
      {720, 480, false, 0, FieldOrder::kBottomFirst},  // DV NTSC
      {640, 480, false, 0, FieldOrder::kTopFirst},
      {720, 576, true, AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First, FieldOrder::kTopFirst},
      {640, 480, true, AMINTERLACE_IsInterlaced, FieldOrder::kBottomFirst},
      {640, 480, true, 0, FieldOrder::kTopFirst},  // not marked: assumed
  };
  for (const Case& c : cases) {
    const FrameLayout layout{PixelFormat::kYuy2, c.width, c.height, false};
    CMediaType mt = filters::MakeVideoMediaType(layout);
    if (c.info2) {
      VIDEOINFOHEADER2 info{};
      info.bmiHeader = layout.ToBitmapInfo();
      info.dwInterlaceFlags = c.interlaceFlags;
      mt.SetFormatType(&FORMAT_VideoInfo2);
      mt.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof(info));
    }
    EXPECT_EQ(FieldOrderOf(mt), c.expected) << c.width << "x" << c.height << " " << c.info2;
  }
}

struct Conversion {
  FrameLayout input;
  FrameLayout output;
};

class SysDeinterlacerStream : public ::testing::TestWithParam<Conversion> {};

TEST_P(SysDeinterlacerStream, CombedFramesComeOutCleanOneForOneWithTheirTimes) {
  const Conversion conversion = GetParam();
  ComPtr<IGraphBuilder> graph = NewGraph();
  auto source = CombedSource(conversion.input);
  ComPtr<IBaseFilter> deinterlacer = CreateFilter(CLSID_VideoDeinterlacer);
  auto sink = MakeComObject<RecordingSink>(RecordingSinkOptions{
      .subtype = filters::SubtypeFromPixelFormat(conversion.output.format), .keepBytes = true});
  AddFilters(
      graph.Get(),
      {{source.Get(), L"Source"}, {deinterlacer.Get(), L"Deinterlacer"}, {sink.Get(), L"Sink"}});
  ASSERT_EQ(S_OK, Link(graph.Get(), source.Get(), 0, deinterlacer.Get(), 0));
  ASSERT_EQ(S_OK, Link(graph.Get(), deinterlacer.Get(), 1, sink.Get(), 0));
  AM_MEDIA_TYPE connected{};
  ASSERT_EQ(S_OK, sink->Input()->ConnectionMediaType(&connected));
  EXPECT_EQ(FrameLayout::FromMediaType(connected), conversion.output);
  FreeMediaType(connected);
  ASSERT_TRUE(RunToCompletion(graph.Get(), 20'000));
  const auto samples = sink->Samples();
  ASSERT_EQ(samples.size(), static_cast<size_t>(kFrames)) << "one frame out per frame in";
  const double combedInput =
      Combing(LumaOf(conversion.input, PictureIn(conversion.input, CombedLuma(0))));
  ASSERT_GT(combedInput, 40.0) << "the test picture is combed";
  for (int n = 0; n < kFrames; ++n) {
    EXPECT_EQ(samples[n].start, n * kFrameTime);
    EXPECT_EQ(samples[n].stop, (n + 1) * kFrameTime);
    ASSERT_EQ(samples[n].bytes.size(), conversion.output.ImageSize());
    const std::vector<int> luma = LumaOf(conversion.output, samples[n].bytes);
    EXPECT_LT(Combing(luma), combedInput / 10) << "frame " << n;
    if (!(conversion.output == conversion.input)) continue;
    // The picture is still the scene: the bottom field (first in time) is kept as it was.
    const std::vector<uint8_t> woven = CombedLuma(n);
    const int row = kHeight / 2 + 1;
    double distance = 0;
    for (int x = 0; x < kWidth; ++x) {
      distance += std::abs(luma[static_cast<size_t>(row) * kWidth + x] -
                           woven[static_cast<size_t>(row) * kWidth + x]);
    }
    EXPECT_LT(distance / kWidth, 3.0) << "frame " << n;
  }
}

FrameLayout Pal(PixelFormat format, bool bottomUp = false) {
  return FrameLayout{format, kWidth, kHeight, bottomUp};
}

const char* NameOf(const FrameLayout& layout) {
  switch (layout.format) {
    case PixelFormat::kI420:
      return "I420";
    case PixelFormat::kYuy2:
      return "YUY2";
    case PixelFormat::kRgb24:
      return "RGB24";
    default:
      return "other";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SysDeinterlacerStream,
    ::testing::Values(Conversion{Pal(PixelFormat::kI420), Pal(PixelFormat::kI420)},
                      Conversion{Pal(PixelFormat::kYuy2), Pal(PixelFormat::kYuy2)},
                      Conversion{Pal(PixelFormat::kRgb24, true), Pal(PixelFormat::kRgb24, true)},
                      Conversion{Pal(PixelFormat::kI420), Pal(PixelFormat::kRgb24, true)}),
    [](const ::testing::TestParamInfo<Conversion>& info) {
      return std::string(NameOf(info.param.input)) + "To" + NameOf(info.param.output);
    });

}  // namespace
}  // namespace vidorra::test
