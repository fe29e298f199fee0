// The deinterlacer in the preview chains the program builds: the capture graph builder renders
// a simulated source through it (for a DV camcorder, with the DV Splitter and decoder it
// inserts) into a renderer, and the frames come through in order, their numbers still readable:
// every one from a DV camcorder; from a capture pin, through the Smart Tee's preview output,
// which lets a busy preview drop frames.
#include <Deinterlacer.h>

#include "device_test_support.h"

namespace vidorra::test {
namespace {

constexpr long kFrames = 8;

struct Preview {
  const char* line;
  std::wstring device;
  const GUID* category;  // of the RenderStream call
  const GUID* major;
  REFERENCE_TIME interval;
  bool everyFrame;  // false: the preview may drop frames
};

const Preview kPreviews[] = {
    {"video dv Camcorder", L"Camcorder", nullptr, &MEDIATYPE_Interleaved, 400000, true},
    {"video capture Grabber", L"Grabber", &PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, 400000, false},
};

class DeinterlacedPreview : public ::testing::TestWithParam<Preview> {};

TEST_P(DeinterlacedPreview, EveryFrameComesThroughInOrder) {
  const Preview& p = GetParam();
  ScopedMachine machine(std::string(p.line) + "\n");
  ClockedGraph g;
  ComPtr<IBaseFilter> device = g.AddDevice(CLSID_VideoInputDeviceCategory, p.device);
  ASSERT_TRUE(device);
  ComPtr<IBaseFilter> deinterlacer;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VideoDeinterlacer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, deinterlacer.ReleaseAndGetVoidAddressOf()));
  ASSERT_EQ(S_OK, g.Add(deinterlacer.Get(), L"Deinterlacer"));
  auto sink = MakeComObject<PatternSink>();
  ASSERT_EQ(S_OK, g.Add(sink.Get(), L"Sink"));
  ASSERT_TRUE(SUCCEEDED(
      g.builder->RenderStream(p.category, p.major, device.Get(), deinterlacer.Get(), sink.Get())));
  ASSERT_TRUE(SUCCEEDED(g.Run()));
  ComPtr<IPin> capture = CapturePinOf(device.Get());
  ASSERT_TRUE(StepFrames(g, capture.Get(), kFrames, p.interval));
  g.AdvanceTo(kFrames * p.interval);
  // The deinterlacer holds the newest frame until the next one comes.
  const size_t expected = p.everyFrame ? kFrames - 1 : 2;
  ASSERT_TRUE(WaitUntil([&] { return sink->Count() >= expected; }));
  g.Stop();
  const auto numbers = sink->Numbers();
  for (size_t i = 0; i < numbers.size(); ++i) {
    ASSERT_TRUE(numbers[i]) << "frame " << i << " unreadable";
    if (p.everyFrame) {
      EXPECT_EQ(*numbers[i], *numbers[0] + i);
    }
    if (i > 0) {
      EXPECT_GT(*numbers[i], *numbers[i - 1]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, DeinterlacedPreview, ::testing::ValuesIn(kPreviews),
                         [](const ::testing::TestParamInfo<Preview>& info) {
                           return info.index == 0 ? std::string("DvCamcorder")
                                                  : std::string("CapturePin");
                         });

}  // namespace
}  // namespace vidorra::test
