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

using namespace filters;

constexpr int kWidth = 720, kHeight = 576, kFrames = 6;
constexpr REFERENCE_TIME kFrameTime = 400'000;

// The luma of a vertical-bar pattern moving right by 16 pixels a field: two fields a quarter
// of the bars' period apart, so that weaving them combs every edge.
uint8_t PatternLuma(int x, int field) {
  constexpr double kPeriod = 64.0, kStepPerField = 16.0;
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

// The I420 layout of the test pictures, and a picture's luma as I420 (for RGB, the luma its
// grey gives).
const FrameLayout kI420{PixelFormat::kI420, kWidth, kHeight, false};
std::vector<BYTE> Converted(const FrameLayout& from, const std::vector<BYTE>& bytes,
                            const FrameLayout& to) {
  filters::PixelFormatConverter converter;
  std::vector<BYTE> out(to.ImageSize(), 128);
  EXPECT_TRUE(from == to ||
              (converter.Configure(from, to) &&
               converter.Convert(bytes.data(), bytes.size(), out.data(), out.size())));
  return from == to ? bytes : out;
}

// A grey picture of that luma in `layout`.
std::vector<BYTE> PictureIn(const FrameLayout& layout, const std::vector<uint8_t>& luma) {
  std::vector<BYTE> i420(kI420.ImageSize(), 128);
  std::copy(luma.begin(), luma.end(), i420.begin());
  return Converted(kI420, i420, layout);
}

std::vector<int> LumaOf(const FrameLayout& layout, const std::vector<BYTE>& bytes) {
  const std::vector<BYTE> i420 = Converted(layout, bytes, kI420);
  return std::vector<int>(i420.begin(), i420.begin() + kWidth * kHeight);
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

TEST(SysDeinterlacer, FieldOrderComesFromTheTypeOrIsAssumed) {
  // Width, height, VIDEOINFOHEADER2 with these interlace flags (else VIDEOINFOHEADER), order.
  const struct {
    int width, height;
    bool info2;
    DWORD interlaceFlags;
    FieldOrder expected;
  } cases[] = {
      {720, 576, false, 0, FieldOrder::kBottomFirst},  // DV PAL
      {720, 480, false, 0, FieldOrder::kBottomFirst},  // DV NTSC
      {640, 480, false, 0, FieldOrder::kTopFirst},
      {720, 576, true, AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First, FieldOrder::kTopFirst},
      {640, 480, true, AMINTERLACE_IsInterlaced, FieldOrder::kBottomFirst},
      {640, 480, true, 0, FieldOrder::kTopFirst},  // not marked: assumed
  };
  for (const auto& c : cases) {
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

FrameLayout Pal(PixelFormat format, bool bottomUp = false) {
  return FrameLayout{format, kWidth, kHeight, bottomUp};
}

// In each layout, and converted to a bitmap: combed frames come out clean, one for one, with
// their times; kept in their layout, the first field in time is kept as it was.
TEST(SysDeinterlacer, CombedFramesComeOutCleanOneForOneWithTheirTimes) {
  const std::pair<FrameLayout, FrameLayout> conversions[] = {
      {Pal(PixelFormat::kI420), Pal(PixelFormat::kI420)},
      {Pal(PixelFormat::kYuy2), Pal(PixelFormat::kYuy2)},
      {Pal(PixelFormat::kRgb24, true), Pal(PixelFormat::kRgb24, true)},
      {Pal(PixelFormat::kI420), Pal(PixelFormat::kRgb24, true)}};
  for (const auto& [input, output] : conversions) {
    SCOPED_TRACE(testing::Message() << int(input.format) << " to " << int(output.format));
    ComPtr<IGraphBuilder> graph = NewGraph();
    std::vector<ListedSample> frames;  // the combed frames, times n * 40 ms
    for (int n = 0; n < kFrames; ++n) {
      frames.push_back({PictureIn(input, CombedLuma(n)),
                        std::pair{n * kFrameTime, (n + 1) * kFrameTime}, std::nullopt});
    }
    auto source = MakeComObject<ListSource>(filters::MakeVideoMediaType(input), std::move(frames));
    ComPtr<IBaseFilter> deinterlacer = CreateFilter(CLSID_VideoDeinterlacer);
    auto sink = MakeComObject<RecordingSink>(RecordingSinkOptions{
        .subtype = filters::SubtypeFromPixelFormat(output.format), .keepBytes = true});
    ASSERT_EQ(S_OK, Chain(graph.Get(), {source.Get(), deinterlacer.Get(), sink.Get()}));
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(S_OK, sink->Input()->ConnectionMediaType(&connected));
    EXPECT_EQ(FrameLayout::FromMediaType(connected), output);
    FreeMediaType(connected);
    ASSERT_TRUE(RunToCompletion(graph.Get(), 20'000));
    const auto samples = sink->Samples();
    ASSERT_EQ(samples.size(), static_cast<size_t>(kFrames)) << "one frame out per frame in";
    const double combedInput = Combing(LumaOf(input, PictureIn(input, CombedLuma(0))));
    ASSERT_GT(combedInput, 40.0) << "the test picture is combed";
    for (int n = 0; n < kFrames; ++n) {
      EXPECT_EQ(std::pair(samples[n].start, samples[n].stop),
                std::pair(n * kFrameTime, (n + 1) * kFrameTime));
      ASSERT_EQ(samples[n].bytes.size(), output.ImageSize());
      const std::vector<int> luma = LumaOf(output, samples[n].bytes);
      EXPECT_LT(Combing(luma), combedInput / 10) << "frame " << n;
      if (!(output == input)) continue;
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
}

}  // namespace
}  // namespace vidorra::test
