// SampleGrabber and Color Space Converter in small graphs: pins and the types they offer,
// partial types, the kept copy and its sizes, callbacks, one-shot; conversion through the graph
// matching the converter core.
#include <FilterPins.h>
#include <NullRenderer.h>
#include <PixelFormatConverter.h>
#include <SampleGrabber.h>
#include <TestCountingSink.h>
#include <TestPushSource.h>
#include <amvideo.h>

#include <atomic>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

using vidorra::filters::FrameLayout;
using vidorra::filters::PixelFormat;
using vidorra::filters::PixelFormatConverter;

constexpr long kTestFrameBytes = 64 * 48 * 2;  // MakeTestVideoType: 64 x 48, 16 bits

struct GrabberGraph {
  ComPtr<IGraphBuilder> graph = NewSysGraph();
  ComPtr<TestPushSource> source;
  ComPtr<IBaseFilter> grabber = NewSystemFilter(CLSID_SampleGrabber);
  ComPtr<ISampleGrabber> control = QueryAs<ISampleGrabber>(grabber.Get());

  explicit GrabberGraph(int frames = 3) {
    TestPushSourceConfig config;
    config.frameCount = frames;
    source = MakeComObject<TestPushSource>(config);
    graph->AddFilter(source.Get(), L"Source");
    graph->AddFilter(grabber.Get(), L"Grabber");
  }
  HRESULT ConnectSource() { return Link(graph.Get(), source.Get(), 0, grabber.Get(), 0); }
  // Source -> grabber -> a counting sink, run until the sink has every frame.
  ComPtr<TestCountingSink> RunIntoSink(int frames) {
    auto sink = MakeComObject<TestCountingSink>();
    graph->AddFilter(sink.Get(), L"Sink");
    EXPECT_EQ(S_OK, ConnectSource());
    EXPECT_EQ(S_OK, Link(graph.Get(), grabber.Get(), 1, sink.Get(), 0));
    EXPECT_TRUE(RunToCompletion(graph.Get(), 10'000));
    EXPECT_EQ(sink->Count(), frames);
    return sink;
  }
};

// A source whose one pin offers two types, TestA then TestB.
class TwoTypeStream : public CSourceStream {
 public:
  explicit TwoTypeStream(CSource* source) : CSourceStream(source, L"Output") {}
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position < 0 || position > 1) return VFW_S_NO_MORE_ITEMS;
    *mt = MakeTestVideoType(position == 0 ? MEDIASUBTYPE_TestA : MEDIASUBTYPE_TestB);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    return DecideBuffers(allocator, *request, {.buffers = 1, .bytes = kTestFrameBytes});
  }
  HRESULT FillBuffer(IMediaSample*) override { return S_FALSE; }
};

class TwoTypeSource : public CSource {
 public:
  TwoTypeSource() : CSource(L"Two types", GUID_NULL) {
    AddPin(std::make_unique<TwoTypeStream>(this));
  }
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

// Pins "Input" and "Output" with ids "In" and "Out"; no types offered while unconnected; the
// output offers what the pin upstream offers, and connects with the type the input has.
TEST(SysSampleGrabber, PinNamesIdsAndOfferedTypes) {
  auto graph = NewSysGraph();
  ComPtr<IBaseFilter> grabber = NewSystemFilter(CLSID_SampleGrabber);
  ASSERT_TRUE(grabber);
  EXPECT_TRUE(QueryAs<ISampleGrabber>(grabber.Get()));
  auto pins = PinsOf(grabber.Get());
  ASSERT_EQ(pins.size(), 2u);
  const std::pair<const wchar_t*, const wchar_t*> faces[] = {{L"Input", L"In"},
                                                             {L"Output", L"Out"}};
  for (size_t i = 0; i < pins.size(); ++i) {
    EXPECT_EQ(PinDirection(pins[i].Get()), i == 0 ? PINDIR_INPUT : PINDIR_OUTPUT);
    EXPECT_EQ(PinName(pins[i].Get()), faces[i].first);
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, pins[i]->QueryId(&id));
    EXPECT_STREQ(id, faces[i].second);
    CoTaskMemFree(id);
    ComPtr<IPin> found;
    EXPECT_EQ(VFW_E_NOT_FOUND, grabber->FindPin(faces[i].first, found.GetAddressOf()))
        << "found by id (the conformance checklist), not by name";
    EXPECT_TRUE(OfferedSubtypes(pins[i].Get()).empty()) << "unconnected";
  }

  auto source = MakeComObject<TwoTypeSource>();
  auto sink = MakeComObject<TestCountingSink>();
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(grabber.Get(), L"Grabber");
  graph->AddFilter(sink.Get(), L"Sink");
  AM_MEDIA_TYPE second{};
  second.majortype = MEDIATYPE_Video;
  second.subtype = MEDIASUBTYPE_TestB;
  ASSERT_EQ(S_OK, QueryAs<ISampleGrabber>(grabber.Get())->SetMediaType(&second));
  ASSERT_EQ(S_OK, graph->ConnectDirect(source->Stream(0), pins[0].Get(), nullptr));
  EXPECT_EQ(OfferedSubtypes(pins[1].Get()),
            (std::vector<GUID>{MEDIASUBTYPE_TestA, MEDIASUBTYPE_TestB}));
  EXPECT_TRUE(OfferedSubtypes(pins[0].Get()).empty());
  ASSERT_EQ(S_OK, graph->ConnectDirect(pins[1].Get(), sink->InputPinInterface(), nullptr));
  AM_MEDIA_TYPE connected{};
  ASSERT_EQ(S_OK, sink->InputPinInterface()->ConnectionMediaType(&connected));
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_TestB);
  FreeMediaType(connected);
}

TEST(SysSampleGrabber, PartialMediaTypeDecidesWhatConnects) {
  GrabberGraph g;
  AM_MEDIA_TYPE connected{};
  EXPECT_EQ(VFW_E_NOT_CONNECTED, g.control->GetConnectedMediaType(&connected));

  AM_MEDIA_TYPE wanted{};
  wanted.majortype = MEDIATYPE_Video;
  wanted.subtype = MEDIASUBTYPE_TestB;
  ASSERT_EQ(S_OK, g.control->SetMediaType(&wanted));
  EXPECT_TRUE(FAILED(g.ConnectSource())) << "the source offers TestA only";

  // Major type, subtype and format type without a format block: any picture size.
  wanted.subtype = MEDIASUBTYPE_TestA;
  wanted.formattype = FORMAT_VideoInfo;
  ASSERT_EQ(S_OK, g.control->SetMediaType(&wanted));
  ASSERT_EQ(S_OK, g.ConnectSource());
  ASSERT_EQ(S_OK, g.control->GetConnectedMediaType(&connected));
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_TestA);
  EXPECT_EQ(connected.formattype, FORMAT_VideoInfo);
  ASSERT_EQ(connected.cbFormat, sizeof(VIDEOINFOHEADER));
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(connected.pbFormat)->bmiHeader.biWidth, 64);
  FreeMediaType(connected);
}

TEST(SysSampleGrabber, KeptCopyAndItsSizes) {
  GrabberGraph g;
  long size = 0;
  EXPECT_EQ(E_INVALIDARG, g.control->GetCurrentBuffer(&size, nullptr)) << "not buffering";
  ASSERT_EQ(S_OK, g.control->SetBufferSamples(TRUE));
  EXPECT_EQ(VFW_E_WRONG_STATE, g.control->GetCurrentBuffer(&size, nullptr)) << "nothing yet";
  EXPECT_EQ(E_POINTER, g.control->GetCurrentBuffer(nullptr, nullptr));
  ASSERT_EQ(S_OK, g.ConnectSource());
  // Output left unconnected: the grabber still samples.
  ASSERT_TRUE(SUCCEEDED(RunGraph(g.graph.Get())));
  std::vector<long> buffer(kTestFrameBytes / sizeof(long));
  EXPECT_TRUE(WaitUntil([&] {
    long bytes = kTestFrameBytes;
    return g.control->GetCurrentBuffer(&bytes, buffer.data()) == S_OK &&
           reinterpret_cast<BYTE*>(buffer.data())[0] == 2;
  })) << "the last of three frames is kept";
  StopGraph(g.graph.Get());

  ASSERT_EQ(S_OK, g.control->GetCurrentBuffer(&size, nullptr));
  EXPECT_EQ(size, kTestFrameBytes) << "size query";
  // A buffer one byte short is refused and left untouched.
  std::vector<BYTE> small(kTestFrameBytes + 8, 0xEE);
  long smallSize = kTestFrameBytes - 1;
  EXPECT_EQ(E_OUTOFMEMORY,
            g.control->GetCurrentBuffer(&smallSize, reinterpret_cast<long*>(small.data())));
  for (BYTE b : small) ASSERT_EQ(b, 0xEE);
  // A larger buffer gets the frame and the true size back.
  long bigSize = kTestFrameBytes + 8;
  ASSERT_EQ(S_OK, g.control->GetCurrentBuffer(&bigSize, reinterpret_cast<long*>(small.data())));
  EXPECT_EQ(bigSize, kTestFrameBytes);
  EXPECT_EQ(small[0], 2);
  EXPECT_EQ(small[kTestFrameBytes], 0xEE) << "nothing written past the frame";
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
    if (method == 1) {
      EXPECT_EQ(lastFrame.load(), 2);
    }
    EXPECT_EQ(lastLength.load(), kTestFrameBytes);
    EXPECT_DOUBLE_EQ(lastTime.load(), 0.08) << "stream time of frame 2, in seconds";
    g.control->SetCallback(nullptr, 0);
  }

  // One shot: the first sample passes, then end of stream; later samples are dropped.
  GrabberGraph g(5);
  buffers = 0;
  g.control->SetCallback(callback.Get(), 1);
  g.control->SetOneShot(TRUE);
  g.RunIntoSink(1);
  EXPECT_EQ(buffers.load(), 1) << "one shot";
}

// Pins and their directions: the conformance checklist.
TEST(SysColorSpaceConverter, AcceptsUncompressedVideoOnly) {
  ComPtr<IBaseFilter> converter = NewSystemFilter(CLSID_Colour);
  ComPtr<IPin> input = PinAtIndex(converter.Get(), 0);
  ASSERT_TRUE(input);
  for (const auto& [subtype, taken] : {std::pair{MEDIASUBTYPE_YUY2, true},
                                       {MEDIASUBTYPE_RGB24, true},
                                       {MEDIASUBTYPE_MJPG, false},
                                       {MEDIASUBTYPE_TestA, false}}) {
    const CMediaType type = MakeTestVideoType(subtype);
    EXPECT_EQ(input->QueryAccept(&type) == S_OK, taken) << subtype.Data1;
  }
}

TEST(SysColorSpaceConverter, OffersBottomUpRgb32First) {
  auto graph = NewSysGraph();
  TestPushSourceConfig config;
  config.mediaType = MakeTestVideoType(MEDIASUBTYPE_YUY2);
  auto source = MakeComObject<TestPushSource>(config);
  ComPtr<IBaseFilter> converter = NewSystemFilter(CLSID_Colour);
  auto sink = MakeComObject<TestCountingSink>();
  AddFilters(graph.Get(),
             {{source.Get(), L"Source"}, {converter.Get(), L"Color"}, {sink.Get(), L"Sink"}});
  ASSERT_EQ(S_OK, Link(graph.Get(), source.Get(), 0, converter.Get(), 0));
  ASSERT_EQ(S_OK, Link(graph.Get(), converter.Get(), 1, sink.Get(), 0));
  AM_MEDIA_TYPE mt{};
  ASSERT_EQ(S_OK, sink->InputPinInterface()->ConnectionMediaType(&mt));
  EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
  const auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
  EXPECT_EQ(vih->bmiHeader.biHeight, 48) << "bottom-up";
  EXPECT_EQ(vih->bmiHeader.biBitCount, 32);
  EXPECT_EQ(mt.lSampleSize, 64u * 48u * 4u);
  FreeMediaType(mt);
}

TEST(SysColorSpaceConverter, ConvertsInAGraphLikeTheCore) {
  // Source (YUY2) -> grabber (keeps the input) -> converter -> grabber (RGB24) -> null.
  auto graph = NewSysGraph();
  TestPushSourceConfig config;
  config.mediaType = MakeTestVideoType(MEDIASUBTYPE_YUY2);
  config.frameCount = 3;
  auto source = MakeComObject<TestPushSource>(config);
  ComPtr<IBaseFilter> before = NewSystemFilter(CLSID_SampleGrabber);
  ComPtr<IBaseFilter> converter = NewSystemFilter(CLSID_Colour);
  ComPtr<IBaseFilter> after = NewSystemFilter(CLSID_SampleGrabber);
  ComPtr<IBaseFilter> null = NewSystemFilter(CLSID_NullRenderer);
  auto beforeControl = QueryAs<ISampleGrabber>(before.Get());
  auto afterControl = QueryAs<ISampleGrabber>(after.Get());
  AM_MEDIA_TYPE rgb24{};
  rgb24.majortype = MEDIATYPE_Video;
  rgb24.subtype = MEDIASUBTYPE_RGB24;
  rgb24.formattype = FORMAT_VideoInfo;
  afterControl->SetMediaType(&rgb24);
  beforeControl->SetBufferSamples(TRUE);
  afterControl->SetBufferSamples(TRUE);
  AddFilters(graph.Get(), {{source.Get(), L"Source"},
                           {before.Get(), L"Before"},
                           {converter.Get(), L"Color"},
                           {after.Get(), L"After"},
                           {null.Get(), L"Null"}});
  ASSERT_EQ(S_OK, Link(graph.Get(), source.Get(), 0, before.Get(), 0));
  ASSERT_EQ(S_OK, Link(graph.Get(), before.Get(), 1, converter.Get(), 0));
  ASSERT_EQ(S_OK, Link(graph.Get(), converter.Get(), 1, after.Get(), 0));
  ASSERT_EQ(S_OK, Link(graph.Get(), after.Get(), 1, null.Get(), 0));
  ASSERT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
  const FrameLayout yuy2{PixelFormat::kYuy2, 64, 48, false};
  const FrameLayout rgb{PixelFormat::kRgb24, 64, 48, true};
  std::vector<BYTE> input(yuy2.ImageSize());
  std::vector<BYTE> output(rgb.ImageSize());
  std::vector<BYTE> expected(rgb.ImageSize());
  PixelFormatConverter core;
  ASSERT_TRUE(core.Configure(yuy2, rgb));
  // Once the last frame has passed both grabbers, the converted copy is what the converter
  // core makes of the input copy.
  EXPECT_TRUE(WaitUntil([&] {
    long inSize = static_cast<long>(input.size());
    long outSize = static_cast<long>(output.size());
    if (beforeControl->GetCurrentBuffer(&inSize, reinterpret_cast<long*>(input.data())) != S_OK ||
        afterControl->GetCurrentBuffer(&outSize, reinterpret_cast<long*>(output.data())) != S_OK ||
        input[0] != 2 || outSize != static_cast<long>(rgb.ImageSize())) {
      return false;
    }
    return core.Convert(input.data(), input.size(), expected.data(), expected.size()) &&
           output == expected;
  }));
  StopGraph(graph.Get());
}

}  // namespace
}  // namespace vidorra::test
