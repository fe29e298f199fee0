// Devices replayed on the simulated machine through the real backends at their seams: V4L2
// devices from their v4l2-ctl descriptions (listing, modes and the default one, frames in every
// pixel format, numbered by the clock that runs from the plug-in) and DV camcorders whose tapes
// are DV files (real-time delivery of the file's frames, the tape's position kept).
#include <streams.h>

#include <fstream>

#include "device_test_support.h"

namespace vidorra::test {
namespace {

const std::string kSamples = VIDORRA_SOURCE_DIR "/resources/v4l2-samples/";

// A graph on the system clock, as the program runs them: the replayed devices keep real time.
struct RealTimeGraph {
  RealTimeGraph() {
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     graph.ReleaseAndGetVoidAddressOf());
  }
  ComPtr<IBaseFilter> Add(const std::wstring& device) {
    ComPtr<IBaseFilter> filter = BindDevice(CLSID_VideoInputDeviceCategory, device);
    if (filter && FAILED(graph->AddFilter(filter.Get(), device.c_str()))) filter.Reset();
    return filter;
  }
  HRESULT Run() { return QueryAs<IMediaControl>(graph.Get())->Run(); }
  HRESULT Stop() { return QueryAs<IMediaControl>(graph.Get())->Stop(); }
  ComPtr<IGraphBuilder> graph;
};

// The device's capture pin straight into a sink that reads the pictures' numbers.
struct Watched {
  RealTimeGraph g;
  ComPtr<IBaseFilter> device;
  ComPtr<IPin> capture;
  ComPtr<PatternSink> sink = MakeComObject<PatternSink>();

  explicit Watched(const std::wstring& name) {
    device = g.Add(name);
    if (!device) return;
    capture = CapturePinOf(device.Get());
    g.graph->AddFilter(sink.Get(), L"Sink");
  }
  HRESULT Connect() { return g.graph->ConnectDirect(capture.Get(), sink->Input(), nullptr); }
  bool Frames(size_t count) {
    return WaitUntil([&] { return sink->Count() >= count; });
  }
};

// Consecutive numbers, readable all.
testing::AssertionResult Consecutive(const std::vector<std::optional<uint32_t>>& numbers) {
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (!numbers[i]) return testing::AssertionFailure() << "frame " << i << " has no number";
    if (i > 0 && *numbers[i] != *numbers[i - 1] + 1) {
      return testing::AssertionFailure() << "frame " << i << " is " << *numbers[i] << " after "
                                         << *numbers[i - 1];
    }
  }
  return testing::AssertionSuccess();
}

TEST(ReplayedV4l2, TheWebcamStreamsItsDefaultModeNumberedByItsOwnClock) {
  MachineFile machine("video v4l2 " + kSamples + "uvc-logitech-c920.txt\n");
  EXPECT_EQ(FriendlyNames(CLSID_VideoInputDeviceCategory),
            std::vector<std::wstring>{L"HD Pro Webcam C920"});
  Watched w(L"HD Pro Webcam C920");
  ASSERT_TRUE(w.device);
  const CMediaType first = Capability(w.capture.Get(), 0);
  EXPECT_EQ(first.subtype, MEDIASUBTYPE_YUY2) << "the current mode, shown and at 30 frames/s";
  EXPECT_EQ(VideoSizeOf(first), std::make_pair(640, 480));
  ASSERT_EQ(S_OK, w.Connect());
  ASSERT_EQ(S_OK, w.g.Run());
  ASSERT_TRUE(w.Frames(5));
  w.g.Stop();
  EXPECT_TRUE(Consecutive(w.sink->Numbers()));
}

}  // namespace
}  // namespace vidorra::test
