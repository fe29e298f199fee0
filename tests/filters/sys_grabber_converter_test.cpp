// SampleGrabber in small graphs (behind a Color Space Converter, for the types it offers): the
// types the grabber offers and its partial type, the kept copy and its sizes, callbacks, one-shot.
// What the converter takes is the pictures a frame layout describes (the pixel conversion tests).
#include <TestPushSource.h>
#include <amvideo.h>

#include <atomic>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

constexpr long kFrameBytes = 64 * 48 * 2;  // MakeTestVideoType: 64 x 48, 16 bits

// Source (frames of `subtype`) -> [Color Space Converter] -> SampleGrabber -> [sink].
struct GrabberGraph {
  explicit GrabberGraph(GUID subtype = MEDIASUBTYPE_TestA, bool convert = false, int frames = 3)
      : source(MakeComObject<TestPushSource>(
            TestPushSourceConfig{.mediaType = MakeTestVideoType(subtype), .frameCount = frames})),
        converter(convert ? CreateFilter(CLSID_Colour) : nullptr) {
    EXPECT_EQ(S_OK, converter ? Chain(graph.Get(), {source.Get(), converter.Get()})
                              : graph->AddFilter(source.Get(), nullptr));
    graph->AddFilter(grabber.Get(), L"Grabber");
  }
  HRESULT ConnectInput() {
    return Chain(graph.Get(), {converter ? converter.Get() : source.Get(), grabber.Get()});
  }
  ComPtr<IGraphBuilder> graph = NewGraph();
  ComPtr<TestPushSource> source;
  ComPtr<IBaseFilter> converter, grabber = CreateFilter(CLSID_SampleGrabber);
  ComPtr<ISampleGrabber> control = QueryAs<ISampleGrabber>(grabber.Get());
  ComPtr<RecordingSink> sink =
      MakeComObject<RecordingSink>(RecordingSinkOptions{.subtype = GUID_NULL, .keepBytes = true});
};

// Unconnected, neither pin offers a type; connected, the output offers what the pin upstream
// offers. The partial type decides what the input takes (a subtype nothing upstream offers: the
// engine's recordings), a format type without a format block taking any picture size.
TEST(SysSampleGrabber, OffersWhatIsUpstreamAndThePartialTypeDecides) {
  GrabberGraph g(MEDIASUBTYPE_YUY2, /*convert=*/true);
  for (int i : {0, 1}) EXPECT_TRUE(OfferedSubtypes(PinAt(g.grabber.Get(), i).Get()).empty()) << i;
  AM_MEDIA_TYPE connected{};
  EXPECT_EQ(VFW_E_NOT_CONNECTED, g.control->GetConnectedMediaType(&connected));
  AM_MEDIA_TYPE wanted{};
  wanted.majortype = MEDIATYPE_Video;
  wanted.subtype = MEDIASUBTYPE_RGB24;
  wanted.formattype = FORMAT_VideoInfo;
  ASSERT_EQ(S_OK, g.control->SetMediaType(&wanted));
  ASSERT_EQ(S_OK, g.ConnectInput());
  EXPECT_EQ(OfferedSubtypes(PinAt(g.grabber.Get(), 1).Get()),
            OfferedSubtypes(PinAt(g.converter.Get(), 1).Get()));
  ASSERT_EQ(S_OK, g.control->GetConnectedMediaType(&connected));
  EXPECT_EQ(std::pair(connected.subtype, connected.cbFormat),
            std::pair(MEDIASUBTYPE_RGB24, ULONG{sizeof(VIDEOINFOHEADER)}));
  FreeMediaType(connected);
  ASSERT_EQ(S_OK, Chain(g.graph.Get(), {g.grabber.Get(), g.sink.Get()}));
  ASSERT_EQ(S_OK, g.sink->Input()->ConnectionMediaType(&connected));
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB24) << "the output takes the input's type";
  FreeMediaType(connected);
}

// Each sample passes on downstream and is handed to the callback, its bytes (BufferCB) or itself
// (SampleCB), with its stream time; the last one is kept, asked for with a buffer that must hold
// it (one byte short is refused and left untouched, a larger one gets the true size). One shot:
// the first sample is grabbed and passed on, then the stream ends.
TEST(SysSampleGrabber, CallsBackKeepsTheLastSampleAndOneShotEndsTheStream) {
  std::atomic<int> samples = 0, buffers = 0, lastFrame = -1;
  std::atomic<long> lastLength = 0;
  std::atomic<double> lastTime = -1;
  auto callback = MakeComObject<GrabberCallback>(
      [&](double time, IMediaSample* sample, const BYTE* bytes, long length) {
        ++(sample ? samples : buffers);
        lastTime = time;
        lastLength = sample ? sample->GetActualDataLength() : length;
        if (bytes && length >= 4) lastFrame = bytes[0] | (bytes[1] << 8);
      });
  for (long method : {0L, 1L}) {
    GrabberGraph g;
    samples = buffers = 0;
    long size = 0;
    EXPECT_EQ(E_INVALIDARG, g.control->GetCurrentBuffer(&size, nullptr)) << "not buffering";
    ASSERT_EQ(S_OK, g.control->SetBufferSamples(TRUE));
    EXPECT_EQ(VFW_E_WRONG_STATE, g.control->GetCurrentBuffer(&size, nullptr)) << "nothing yet";
    EXPECT_EQ(E_POINTER, g.control->GetCurrentBuffer(nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, g.control->SetCallback(callback.Get(), 2));
    ASSERT_EQ(S_OK, g.control->SetCallback(callback.Get(), method));
    EXPECT_EQ(S_OK, g.ConnectInput());
    EXPECT_EQ(S_OK, Chain(g.graph.Get(), {g.grabber.Get(), g.sink.Get()}));
    EXPECT_TRUE(RunToCompletion(g.graph.Get(), 10'000));
    EXPECT_EQ(g.sink->Count(), 3);
    EXPECT_EQ(std::tuple(samples.load(), buffers.load(), lastFrame.load(), lastLength.load()),
              method == 1 ? std::tuple(0, 3, 2, kFrameBytes) : std::tuple(3, 0, -1, kFrameBytes));
    EXPECT_DOUBLE_EQ(lastTime.load(), 0.08) << "stream time of frame 2, in seconds";
    g.control->SetCallback(nullptr, 0);
    lastFrame = -1;
    ASSERT_EQ(S_OK, g.control->GetCurrentBuffer(&size, nullptr));
    EXPECT_EQ(size, kFrameBytes) << "size query";
    std::vector<BYTE> bytes(kFrameBytes + 8, 0xEE);
    long shortSize = kFrameBytes - 1, bigSize = kFrameBytes + 8;
    EXPECT_EQ(E_OUTOFMEMORY,
              g.control->GetCurrentBuffer(&shortSize, reinterpret_cast<long*>(bytes.data())));
    EXPECT_EQ(bytes, std::vector<BYTE>(kFrameBytes + 8, 0xEE));
    ASSERT_EQ(S_OK, g.control->GetCurrentBuffer(&bigSize, reinterpret_cast<long*>(bytes.data())));
    EXPECT_EQ(std::tuple(bigSize, bytes[0], bytes[kFrameBytes]),
              std::tuple(kFrameBytes, BYTE{2}, BYTE{0xEE}));
    EXPECT_EQ(E_NOTIMPL, g.control->GetCurrentSample(nullptr));
  }
  GrabberGraph g(MEDIASUBTYPE_TestA, false, 5);
  buffers = 0;
  g.control->SetCallback(callback.Get(), 1);
  g.control->SetOneShot(TRUE);
  ASSERT_EQ(S_OK, g.ConnectInput());
  ASSERT_EQ(S_OK, Chain(g.graph.Get(), {g.grabber.Get(), g.sink.Get()}));
  ASSERT_TRUE(SUCCEEDED(RunGraph(g.graph.Get())));
  EXPECT_TRUE(WaitForGraphEvent(g.graph.Get(), EC_COMPLETE));
  // The next frame is made and given to the grabber, which refuses it rather than grab it.
  EXPECT_TRUE(WaitUntil([&] { return g.source->FramesDelivered() >= 2; }));
  StopGraph(g.graph.Get());
  EXPECT_EQ(std::tuple(buffers.load(), lastFrame.load(), g.sink->Count()), std::tuple(1, 0, 1))
      << "one shot";
}

}  // namespace
}  // namespace vidorra::test
