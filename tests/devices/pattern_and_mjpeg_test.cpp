// The simulated pictures' test pattern (every layout keeps the frame number readable, the font
// draws names as it can, the look stays as it was) and the MJPEG Decompressor's handling of what
// it is given.
#include <MjpegDecompressor.h>

#include "device_test_support.h"
#include "sim/PatternFont.h"
#include "sim/TestPattern.h"

namespace vidorra::test {
namespace {

using namespace devices::sim;
using devices::sim::ReadFrameNumber;  // not the test support's, which reads a sample

TEST(TestPattern, EveryLayoutAndSizeCarriesItsFrameNumber) {
  const uint32_t numbers[] = {0, 1, 0x80000001u, 0xFFFFFFFFu, 123456789u};
  const std::pair<PatternLayout, GUID> layouts[] = {{PatternLayout::kYuy2, MEDIASUBTYPE_YUY2},
                                                    {PatternLayout::kI420, MEDIASUBTYPE_I420},
                                                    {PatternLayout::kRgb24, MEDIASUBTYPE_RGB24}};
  for (const auto& [layout, subtype] : layouts) {
    for (const auto& [width, height] :
         {std::pair{320, 240}, std::pair{720, 576}, std::pair{1280, 720}}) {
      std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 3 + 4096);
      for (uint32_t number : numbers) {
        // Controls act on the picture, never on the number.
        const PatternScene scene{.frameNumber = number,
                                 .title = "Caméscope",
                                 .caption = "TUNER CH 4",
                                 .controls = {.brightness = 255, .contrast = 0}};
        DrawPattern(scene, {layout, width, height, picture.data(), false});
        const Planes planes = PlanesOf(subtype, picture.data(), width, height);
        const auto read = ReadFrameNumber(
            [&](int x, int y) { return planes[0][static_cast<size_t>(y) * width + x]; }, width);
        EXPECT_EQ(read, number) << static_cast<int>(layout) << " " << width;
      }
    }
  }
  // A picture of another kind, grey between the bits' black and white, reads as no number
  // rather than a wrong one; the bounds read as bits.
  const std::pair<int, std::optional<uint32_t>> levels[] = {
      {80, 0}, {81, {}}, {175, {}}, {176, 0xFFFFFFFFu}};
  for (const auto& [level, read] : levels)
    EXPECT_EQ(ReadFrameNumber([&](int, int) { return level; }, 320), read) << level;
}

TEST(TestPattern, TheFontDrawsLatinNamesAsCapitals) {
  EXPECT_EQ(devices::sim::Drawable("Caméscope Numérique"), "CAMESCOPE NUMERIQUE");
  EXPECT_EQ(devices::sim::Drawable("Ça à l'œil"), "CA A L'?IL");
  EXPECT_EQ(devices::sim::Drawable("\xC3"), "?") << "a cut sequence";
  EXPECT_EQ(devices::sim::GlyphFor('~'), devices::sim::GlyphFor('?'));
}

// The pattern looks as it did, its bars, ramp and texts in their places, with a signal and
// without (full range, twice the contrast): a deliberate change of its look changes these values.
TEST(TestPattern, LooksAsItDid) {
  std::vector<uint8_t> picture(320 * 240 * 2);
  for (const auto& [signal, look] :
       {std::pair{true, 0x1331bdffd8f4e566ull}, std::pair{false, 0xab6d48048e96e0a2ull}}) {
    PatternScene scene{5, "Caméscope", "TUNER CH 4", {}, 0, signal, {.contrast = 200 >> signal}};
    DrawPattern(scene, {PatternLayout::kYuy2, 320, 240, picture.data(), !signal});
    uint64_t fnv = 14695981039346656037u;
    for (uint8_t b : picture) fnv = (fnv ^ b) * 1099511628211u;
    EXPECT_EQ(fnv, look) << signal;
  }
}

// Intelligent connect puts the decoder between an MJPG pin and a renderer of pictures; its
// outputs are offered once the input knows the size.
TEST(MjpegDecompressor, IsFoundByIntelligentConnectAndDropsWhatItCannotDecode) {
  ScopedMachine machine("video webcam Webcam\n");
  ClockedGraph g;
  ComPtr<IBaseFilter> webcam = g.AddDevice(CLSID_VideoInputDeviceCategory, L"Webcam");
  ComPtr<PatternSink> sink = MakeComObject<PatternSink>();
  g.graph->AddFilter(sink.Get(), L"Sink");
  ComPtr<IPin> capture = PinNamed(webcam.Get(), L"Capture");
  ASSERT_EQ(S_OK, ChooseCapability(capture.Get(), 4));  // MJPG 1280x720
  EXPECT_TRUE(OfferedTypes(PinAt(CreateFilter(CLSID_MjpegDec).Get(), 1).Get()).empty());
  ASSERT_EQ(S_OK, g.graph->Connect(capture.Get(), sink->Input()));
  ComPtr<IBaseFilter> decoder;
  ASSERT_EQ(S_OK, g.graph->FindFilterByName(L"MJPEG Decompressor", decoder.GetAddressOf()));
  ComPtr<IPin> output = PinAt(decoder.Get(), 1);
  const auto offered = OfferedTypes(output.Get());
  const GUID subtypes[] = {MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24};
  ASSERT_EQ(offered.size(), std::size(subtypes));
  for (size_t i = 0; i < offered.size(); ++i) EXPECT_EQ(offered[i].subtype, subtypes[i]) << i;
  EXPECT_EQ(VideoSizeOf(offered[1]), std::make_pair(1280, 720));
  ASSERT_EQ(S_OK, g.graph->Disconnect(output.Get()));  // connected again in RGB32
  ASSERT_EQ(S_OK, g.graph->Disconnect(sink->Input()));
  ASSERT_EQ(S_OK, g.graph->ConnectDirect(output.Get(), sink->Input(), &offered[1]));
  ASSERT_EQ(S_OK, g.Run());
  ASSERT_TRUE(StepFrames(g, capture.Get(), 2, 333333));
  ASSERT_TRUE(WaitUntil([&] { return sink->Count() == 2; }));
  // Garbage where a JPEG image should be: dropped and counted, the stream goes on.
  auto* filter = static_cast<filters::CMjpegDecompressor*>(decoder.Get());
  ComPtr<IMemInputPin> input = QueryAs<IMemInputPin>(PinAt(decoder.Get(), 0).Get());
  ComPtr<IMemAllocator> allocator = MakeComObject<CMemAllocator>();
  ALLOCATOR_PROPERTIES want{1, 4096, 1, 0}, got{};
  allocator->SetProperties(&want, &got);
  allocator->Commit();
  ComPtr<IMediaSample> garbage;
  ASSERT_EQ(S_OK, allocator->GetBuffer(garbage.GetAddressOf(), nullptr, nullptr, 0));
  BYTE* bytes = nullptr;
  garbage->GetPointer(&bytes);
  for (int i = 0; i < 4096; ++i) bytes[i] = static_cast<BYTE>(i * 7);
  garbage->SetActualDataLength(4096);
  EXPECT_TRUE(SUCCEEDED(input->Receive(garbage.Get())));
  EXPECT_EQ(filter->BadFrames(), 1);
  garbage = nullptr;
  allocator->Decommit();
  ASSERT_TRUE(StepFrames(g, capture.Get(), 3, 333333));
  ASSERT_TRUE(WaitUntil([&] { return sink->Count() == 3; }));
  g.Stop();
  EXPECT_EQ(FromFirst(sink->Numbers()), (std::vector<std::optional<uint32_t>>{0, 1, 2}));
}

}  // namespace
}  // namespace vidorra::test
