// SampleGrabber and Color Space Converter in small graphs: the types the grabber offers and its
// partial type, the kept copy and its sizes, callbacks, one-shot; what the converter takes and
// offers, and its conversion through the graph matching the converter core.
#include <PixelFormatConverter.h>
#include <TestPushSource.h>
#include <amvideo.h>

#include <atomic>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

using filters::FrameLayout;
using filters::PixelFormat;

constexpr long kFrameBytes = 64 * 48 * 2;  // MakeTestVideoType: 64 x 48, 16 bits

// Source (three frames of `subtype`) -> [Color Space Converter] -> SampleGrabber -> [sink].
struct GrabberGraph {
  explicit GrabberGraph(GUID subtype = MEDIASUBTYPE_TestA, bool convert = false, int frames = 3)
      : source(MakeComObject<TestPushSource>(
            TestPushSourceConfig{.mediaType = MakeTestVideoType(subtype), .frameCount = frames})),
        converter(convert ? CreateFilter(CLSID_Colour) : nullptr) {
    AddFilters(graph.Get(), {{source.Get(), L"Source"}, {grabber.Get(), L"Grabber"}});
    if (converter) {
      graph->AddFilter(converter.Get(), L"Color");
      EXPECT_EQ(S_OK, Link(graph.Get(), source.Get(), 0, converter.Get(), 0));
    }
  }
  HRESULT ConnectInput() {
    return Link(graph.Get(), converter ? converter.Get() : source.Get(), converter ? 1 : 0,
                grabber.Get(), 0);
  }
  // The grabber's input and output connected, run until the sink has every frame.
  void RunIntoSink(int frames) {
    graph->AddFilter(sink.Get(), L"Sink");
    EXPECT_EQ(S_OK, ConnectInput());
    EXPECT_EQ(S_OK, Link(graph.Get(), grabber.Get(), 1, sink.Get(), 0));
    EXPECT_TRUE(RunToCompletion(graph.Get(), 10'000));
    EXPECT_EQ(sink->Count(), frames);
  }
  ComPtr<IGraphBuilder> graph = NewGraph();
  ComPtr<TestPushSource> source;
  ComPtr<IBaseFilter> converter;
  ComPtr<IBaseFilter> grabber = CreateFilter(CLSID_SampleGrabber);
  ComPtr<ISampleGrabber> control = QueryAs<ISampleGrabber>(grabber.Get());
  ComPtr<RecordingSink> sink = MakeComObject<RecordingSink>();
};

std::vector<GUID> OfferedSubtypes(IPin* pin) {
  std::vector<GUID> subtypes;
  ComPtr<IEnumMediaTypes> types;
  EXPECT_EQ(S_OK, pin->EnumMediaTypes(types.GetAddressOf()));
  AM_MEDIA_TYPE* mt = nullptr;
  while (types && types->Next(1, &mt, nullptr) == S_OK) {
    subtypes.push_back(mt->subtype);
    DeleteMediaType(mt);
  }
  return subtypes;
}

// Unconnected, neither pin offers a type; connected, the output offers what the pin upstream
// offers. The partial type decides what the input takes: its subtype, a format type without a
// format block taking any picture size.
TEST(SysSampleGrabber, OffersWhatIsUpstreamAndThePartialTypeDecides) {
  GrabberGraph g(MEDIASUBTYPE_YUY2, /*convert=*/true);
  for (int i : {0, 1}) EXPECT_TRUE(OfferedSubtypes(PinAt(g.grabber.Get(), i).Get()).empty()) << i;
  AM_MEDIA_TYPE wanted{};
  wanted.majortype = MEDIATYPE_Video;
  wanted.subtype = MEDIASUBTYPE_MJPG;
  ASSERT_EQ(S_OK, g.control->SetMediaType(&wanted));
  EXPECT_TRUE(FAILED(g.ConnectInput())) << "the converter offers no MJPG";
  AM_MEDIA_TYPE connected{};
  EXPECT_EQ(VFW_E_NOT_CONNECTED, g.control->GetConnectedMediaType(&connected));
  wanted.subtype = MEDIASUBTYPE_RGB24;
  wanted.formattype = FORMAT_VideoInfo;
  ASSERT_EQ(S_OK, g.control->SetMediaType(&wanted));
  ASSERT_EQ(S_OK, g.ConnectInput());
  EXPECT_EQ(OfferedSubtypes(PinAt(g.grabber.Get(), 1).Get()),
            OfferedSubtypes(PinAt(g.converter.Get(), 1).Get()));
  EXPECT_TRUE(OfferedSubtypes(PinAt(g.grabber.Get(), 0).Get()).empty());
  ASSERT_EQ(S_OK, g.control->GetConnectedMediaType(&connected));
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB24);
  ASSERT_EQ(connected.cbFormat, sizeof(VIDEOINFOHEADER));
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(connected.pbFormat)->bmiHeader.biWidth, 64);
  FreeMediaType(connected);
  g.graph->AddFilter(g.sink.Get(), L"Sink");
  ASSERT_EQ(S_OK, Link(g.graph.Get(), g.grabber.Get(), 1, g.sink.Get(), 0));
  ASSERT_EQ(S_OK, g.sink->Input()->ConnectionMediaType(&connected));
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB24) << "the output takes the input's type";
  FreeMediaType(connected);
}

TEST(SysSampleGrabber, KeptCopyAndItsSizes) {
  GrabberGraph g;
  long size = 0;
  EXPECT_EQ(E_INVALIDARG, g.control->GetCurrentBuffer(&size, nullptr)) << "not buffering";
  ASSERT_EQ(S_OK, g.control->SetBufferSamples(TRUE));
  EXPECT_EQ(VFW_E_WRONG_STATE, g.control->GetCurrentBuffer(&size, nullptr)) << "nothing yet";
  EXPECT_EQ(E_POINTER, g.control->GetCurrentBuffer(nullptr, nullptr));
  ASSERT_EQ(S_OK, g.ConnectInput());
  // Output left unconnected: the grabber still samples.
  ASSERT_TRUE(SUCCEEDED(RunGraph(g.graph.Get())));
  std::vector<long> buffer(kFrameBytes / sizeof(long));
  EXPECT_TRUE(WaitUntil([&] {
    long bytes = kFrameBytes;
    return g.control->GetCurrentBuffer(&bytes, buffer.data()) == S_OK &&
           reinterpret_cast<BYTE*>(buffer.data())[0] == 2;
  })) << "the last of three frames is kept";
  StopGraph(g.graph.Get());
  ASSERT_EQ(S_OK, g.control->GetCurrentBuffer(&size, nullptr));
  EXPECT_EQ(size, kFrameBytes) << "size query";
  // A buffer one byte short is refused and left untouched; a larger one gets the frame and the
  // true size, nothing written past the frame.
  std::vector<BYTE> bytes(kFrameBytes + 8, 0xEE);
  long shortSize = kFrameBytes - 1;
  EXPECT_EQ(E_OUTOFMEMORY,
            g.control->GetCurrentBuffer(&shortSize, reinterpret_cast<long*>(bytes.data())));
  EXPECT_EQ(bytes, std::vector<BYTE>(kFrameBytes + 8, 0xEE));
  long bigSize = kFrameBytes + 8;
  ASSERT_EQ(S_OK, g.control->GetCurrentBuffer(&bigSize, reinterpret_cast<long*>(bytes.data())));
  EXPECT_EQ(bigSize, kFrameBytes);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[kFrameBytes], 0xEE);
  EXPECT_EQ(E_NOTIMPL, g.control->GetCurrentSample(nullptr));
}

TEST(SysSampleGrabber, BufferAndSampleCallbacksAndOneShot) {
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
    EXPECT_EQ(E_INVALIDARG, g.control->SetCallback(callback.Get(), 2));
    ASSERT_EQ(S_OK, g.control->SetCallback(callback.Get(), method));
    g.RunIntoSink(3);  // passed on downstream
    EXPECT_EQ((method == 1 ? buffers : samples).load(), 3);
    EXPECT_EQ((method == 1 ? samples : buffers).load(), 0);
    EXPECT_EQ(lastFrame.load(), method == 1 ? 2 : -1);
    EXPECT_EQ(lastLength.load(), kFrameBytes);
    EXPECT_DOUBLE_EQ(lastTime.load(), 0.08) << "stream time of frame 2, in seconds";
    g.control->SetCallback(nullptr, 0);
  }
  // One shot: the first sample passes, then end of stream; later samples are dropped.
  GrabberGraph g(MEDIASUBTYPE_TestA, false, 5);
  buffers = 0;
  g.control->SetCallback(callback.Get(), 1);
  g.control->SetOneShot(TRUE);
  g.RunIntoSink(1);
  EXPECT_EQ(buffers.load(), 1) << "one shot";
}

// Uncompressed video only; the first type it offers a renderer is bottom-up RGB32.
TEST(SysColorSpaceConverter, TakesUncompressedVideoAndOffersBottomUpRgb32First) {
  ComPtr<IPin> input = PinAt(CreateFilter(CLSID_Colour).Get(), 0);
  for (const auto& [subtype, taken] : {std::pair{MEDIASUBTYPE_YUY2, true},
                                       {MEDIASUBTYPE_RGB24, true},
                                       {MEDIASUBTYPE_MJPG, false},
                                       {MEDIASUBTYPE_TestA, false}}) {
    const CMediaType type = MakeTestVideoType(subtype);
    EXPECT_EQ(input->QueryAccept(&type) == S_OK, taken) << subtype.Data1;
  }
  GrabberGraph g(MEDIASUBTYPE_YUY2, /*convert=*/true);
  g.RunIntoSink(3);
  AM_MEDIA_TYPE mt{};
  ASSERT_EQ(S_OK, g.sink->Input()->ConnectionMediaType(&mt));
  EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
  const auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
  EXPECT_EQ(vih->bmiHeader.biHeight, 48) << "bottom-up";
  EXPECT_EQ(vih->bmiHeader.biBitCount, 32);
  EXPECT_EQ(mt.lSampleSize, 64u * 48u * 4u);
  FreeMediaType(mt);
}

// Source (YUY2) -> grabber (keeps the input) -> converter -> grabber (RGB24, keeps the output):
// once the last frame has passed both, the converted copy is what the core makes of the input.
TEST(SysColorSpaceConverter, ConvertsInAGraphLikeTheCore) {
  GrabberGraph before(MEDIASUBTYPE_YUY2);
  ComPtr<IBaseFilter> converter = CreateFilter(CLSID_Colour),
                      after = CreateFilter(CLSID_SampleGrabber);
  ComPtr<IBaseFilter> null = CreateFilter(CLSID_NullRenderer);
  auto afterControl = QueryAs<ISampleGrabber>(after.Get());
  AM_MEDIA_TYPE rgb24{};
  rgb24.majortype = MEDIATYPE_Video;
  rgb24.subtype = MEDIASUBTYPE_RGB24;
  afterControl->SetMediaType(&rgb24);
  before.control->SetBufferSamples(TRUE);
  afterControl->SetBufferSamples(TRUE);
  AddFilters(before.graph.Get(),
             {{converter.Get(), L"Color"}, {after.Get(), L"After"}, {null.Get(), L"Null"}});
  ASSERT_EQ(S_OK, before.ConnectInput());
  ASSERT_EQ(S_OK, Link(before.graph.Get(), before.grabber.Get(), 1, converter.Get(), 0));
  ASSERT_EQ(S_OK, Link(before.graph.Get(), converter.Get(), 1, after.Get(), 0));
  ASSERT_EQ(S_OK, Link(before.graph.Get(), after.Get(), 1, null.Get(), 0));
  ASSERT_TRUE(SUCCEEDED(RunGraph(before.graph.Get())));
  const FrameLayout yuy2{PixelFormat::kYuy2, 64, 48, false};
  const FrameLayout rgb{PixelFormat::kRgb24, 64, 48, true};
  std::vector<BYTE> input(yuy2.ImageSize()), output(rgb.ImageSize()), expected(rgb.ImageSize());
  filters::PixelFormatConverter core;
  ASSERT_TRUE(core.Configure(yuy2, rgb));
  EXPECT_TRUE(WaitUntil([&] {
    long inSize = static_cast<long>(input.size()), outSize = static_cast<long>(output.size());
    if (before.control->GetCurrentBuffer(&inSize, reinterpret_cast<long*>(input.data())) != S_OK ||
        afterControl->GetCurrentBuffer(&outSize, reinterpret_cast<long*>(output.data())) != S_OK ||
        input[0] != 2 || outSize != static_cast<long>(rgb.ImageSize())) {
      return false;
    }
    return core.Convert(input.data(), input.size(), expected.data(), expected.size()) &&
           output == expected;
  }));
  StopGraph(before.graph.Get());
}

}  // namespace
}  // namespace vidorra::test
