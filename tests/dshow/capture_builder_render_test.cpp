// RenderStream as the program's preview and capture graphs use it: preview and capture pins,
// the Smart Tee for a source without preview pin, intermediate filters, the DV Splitter for an
// interleaved stream, default renderers, and what a failure leaves in the graph.
#include <qedit.h>

#include "capture_builder_test_filters.h"

namespace vidorra::test::capture_builder {
namespace {

const PinType kAnyVideo{MEDIATYPE_Video, GUID_NULL};
const PinType kYuy2Video{MEDIATYPE_Video, MEDIASUBTYPE_YUY2};

class CaptureBuilderRender : public CaptureBuilderGraphTest {
 protected:
  ComPtr<TableFilter> AddSource(ComPtr<TableFilter> source, const wchar_t* name) {
    Add(source->Base(), name);
    return source;
  }
  ComPtr<TableFilter> AddSink(const wchar_t* name, std::vector<PinType> accepted = {}) {
    ComPtr<TableFilter> sink = MakeSink(name, std::move(accepted));
    Add(sink->Base(), name);
    return sink;
  }
  ComPtr<IBaseFilter> AddNew(REFCLSID clsid, const wchar_t* name) {
    ComPtr<IBaseFilter> filter = CreateFilter(clsid);
    EXPECT_TRUE(filter);
    if (filter) Add(filter.Get(), name);
    return filter;
  }
};

// A preview pin goes straight to the sink, once: a taken preview pin is not replaced by a tee
// on the capture pin.
TEST_F(CaptureBuilderRender, APreviewPinIsRenderedStraightToTheSinkOnlyOnce) {
  ComPtr<TableFilter> webcam = AddSource(MakeWebcam(), L"Webcam");
  ComPtr<TableFilter> first = AddSink(L"Grabber", {kYuy2Video});
  ComPtr<TableFilter> second = AddSink(L"Second");
  ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, webcam->Base(),
                                         nullptr, first->Base()));
  EXPECT_TRUE(AreConnected(webcam->Pin(L"Preview"), first->Pin(L"In")));
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED,
            builder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, webcam->Base(), nullptr,
                                   second->Base()));
  EXPECT_FALSE(PeerOf(webcam->Pin(L"Capture")));
  EXPECT_FALSE(FindByName(L"Smart Tee"));
  EXPECT_EQ(3, FilterCount());
}

// The intermediate filter given, or one the caller put in the graph (intelligent connect inside
// RenderStream uses it), goes between the source's pin and the sink.
TEST_F(CaptureBuilderRender, AnIntermediateFilterGivenOrInTheGraphGoesBetween) {
  for (const bool given : {true, false}) {
    SCOPED_TRACE(given ? "given" : "in the graph");
    ComPtr<TableFilter> webcam = AddSource(MakeWebcam(), L"Webcam");
    ComPtr<TableFilter> encoder = MakeVideoTransform(L"Encoder", MEDIASUBTYPE_dvsd);
    Add(encoder->Base(), L"Encoder");
    ComPtr<TableFilter> mux = AddSink(L"Mux", {{MEDIATYPE_Video, MEDIASUBTYPE_dvsd}});
    ASSERT_EQ(S_OK, builder_->RenderStream(given ? &PIN_CATEGORY_CAPTURE : &PIN_CATEGORY_PREVIEW,
                                           &MEDIATYPE_Video, webcam->Base(),
                                           given ? encoder->Base() : nullptr, mux->Base()));
    EXPECT_TRUE(AreConnected(webcam->Pin(given ? L"Capture" : L"Preview"), encoder->Pin(L"In")));
    EXPECT_TRUE(AreConnected(encoder->Pin(L"Out"), mux->Pin(L"In")));
  }
  EXPECT_EQ(6, FilterCount()) << "nothing added";
}

TEST_F(CaptureBuilderRender, APinSourceWithoutCategoryIsConnectedAsItIs) {
  ComPtr<TableFilter> webcam = AddSource(MakeWebcam(), L"Webcam");
  ComPtr<TableFilter> sink = AddSink(L"Sink");
  ASSERT_EQ(S_OK, builder_->RenderStream(nullptr, nullptr, webcam->Pin(L"Capture"), nullptr,
                                         sink->Base()));
  EXPECT_TRUE(AreConnected(webcam->Pin(L"Capture"), sink->Pin(L"In")));
  // The pin is taken now: naming it again is an argument that does not fit.
  ComPtr<TableFilter> other = AddSink(L"Other");
  EXPECT_EQ(E_INVALIDARG, builder_->RenderStream(nullptr, nullptr, webcam->Pin(L"Capture"), nullptr,
                                                 other->Base()));
  EXPECT_FALSE(PeerOf(other->Pin(L"In")));
}

TEST_F(CaptureBuilderRender, AFilterWithoutCategoryGivesItsFirstFreeOutputOfTheType) {
  ComPtr<TableFilter> webcam = AddSource(MakeWebcam(), L"Webcam");
  ComPtr<TableFilter> first = AddSink(L"First");
  ComPtr<TableFilter> second = AddSink(L"Second");
  ASSERT_EQ(S_OK, builder_->RenderStream(nullptr, &MEDIATYPE_Video, webcam->Base(), nullptr,
                                         first->Base()));
  ASSERT_EQ(S_OK,
            builder_->RenderStream(nullptr, nullptr, webcam->Base(), nullptr, second->Base()));
  EXPECT_TRUE(AreConnected(webcam->Pin(L"Capture"), first->Pin(L"In")));
  EXPECT_TRUE(AreConnected(webcam->Pin(L"Preview"), second->Pin(L"In")));
}

TEST_F(CaptureBuilderRender, NoPinOfTheCategoryOrTypeIsAnInvalidArgument) {
  ComPtr<TableFilter> audio = AddSource(MakeAudioSource(), L"Audio");
  ComPtr<TableFilter> sink = AddSink(L"Sink");
  const std::pair<const GUID*, const GUID*> asked[] = {{&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video},
                                                       {&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video},
                                                       {&PIN_CATEGORY_VIDEOPORT, nullptr},
                                                       {nullptr, &MEDIATYPE_Video}};
  for (auto [category, type] : asked) {
    EXPECT_EQ(E_INVALIDARG,
              builder_->RenderStream(category, type, audio->Base(), nullptr, sink->Base()));
  }
  EXPECT_FALSE(PeerOf(audio->Pin(L"Capture")));
  EXPECT_EQ(2, FilterCount());
  EXPECT_EQ(E_POINTER, builder_->RenderStream(nullptr, nullptr, nullptr, nullptr, sink->Base()));
}

TEST_F(CaptureBuilderRender, AFailedLinkLeavesTheLinksBeforeItInPlace) {
  ComPtr<TableFilter> webcam = AddSource(MakeWebcam(), L"Webcam");
  ComPtr<TableFilter> middle = MakeVideoTransform(L"Middle", MEDIASUBTYPE_YUY2);
  Add(middle->Base(), L"Middle");
  ComPtr<TableFilter> audioOnly = AddSink(L"Audio only", {{MEDIATYPE_Audio, GUID_NULL}});
  const int before = FilterCount();
  EXPECT_TRUE(FAILED(builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, webcam->Base(),
                                            middle->Base(), audioOnly->Base())));
  EXPECT_TRUE(AreConnected(webcam->Pin(L"Capture"), middle->Pin(L"In")));
  EXPECT_FALSE(PeerOf(middle->Pin(L"Out")));
  EXPECT_FALSE(PeerOf(audioOnly->Pin(L"In")));
  EXPECT_EQ(before, FilterCount());
}

// ---- The Smart Tee --------------------------------------------------------------------------

// A source with only a capture pin gets a Smart Tee on it (pins: input, capture, preview) from
// whichever render comes first, and the other render takes the tee's other output; the
// program's preview of such a source passes the capture pin itself.
TEST_F(CaptureBuilderRender, ACapturePinFeedsPreviewAndCaptureThroughOneSmartTee) {
  const struct {
    const char* name;
    bool previewFirst;
    bool previewOfThePin;
  } cases[] = {{"preview first", true, false},
               {"capture first", false, false},
               {"preview of the pin", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComPtr<TableFilter> source = AddSource(MakeCaptureOnly(), L"Capture only");
    ComPtr<TableFilter> grabber = AddSink(L"Grabber", {kAnyVideo});
    ComPtr<TableFilter> mux = AddSink(L"Mux", {kAnyVideo});
    IUnknown* previewed = c.previewOfThePin ? static_cast<IUnknown*>(source->Pin(L"Capture"))
                                            : static_cast<IUnknown*>(source->Base());
    auto preview = [&] {
      return builder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, previewed, nullptr,
                                    grabber->Base());
    };
    if (c.previewFirst) {
      ASSERT_EQ(VFW_S_NOPREVIEWPIN, preview());
    }
    ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source->Base(),
                                           nullptr, mux->Base()));
    if (!c.previewFirst) {
      ASSERT_EQ(VFW_S_NOPREVIEWPIN, preview());
    }
    ComPtr<IBaseFilter> tee = OwnerOf(PeerOf(source->Pin(L"Capture")).Get());
    ASSERT_TRUE(tee);
    EXPECT_EQ(CLSID_SmartTee, ClassOf(tee.Get()));
    EXPECT_TRUE(AreConnected(PinAt(tee.Get(), 1).Get(), mux->Pin(L"In")));
    EXPECT_TRUE(AreConnected(PinAt(tee.Get(), 2).Get(), grabber->Pin(L"In")));
  }
  EXPECT_EQ(12, FilterCount());
}

// Whatever Smart Tee the capture pin already feeds is continued by category, by pin order
// when its pins report no category.
TEST_F(CaptureBuilderRender, ATeeTheCapturePinFeedsIsContinuedByCategory) {
  ComPtr<TableFilter> source = AddSource(MakeCaptureOnly(), L"Capture only");
  ComPtr<TableFilter> tee = MakeTeeLookalike();
  Add(tee->Base(), L"Tee");
  ComPtr<TableFilter> grabber = AddSink(L"Grabber", {kAnyVideo});
  ComPtr<TableFilter> mux = AddSink(L"Mux", {kAnyVideo});
  ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source->Base(),
                                         nullptr, tee->Base()));
  ASSERT_EQ(VFW_S_NOPREVIEWPIN, builder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video,
                                                       source->Base(), nullptr, grabber->Base()));
  EXPECT_TRUE(AreConnected(tee->Pin(L"Preview"), grabber->Pin(L"In")));
  ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source->Base(),
                                         nullptr, mux->Base()));
  EXPECT_TRUE(AreConnected(tee->Pin(L"Capture"), mux->Pin(L"In")));
  // Both tee outputs are taken now.
  ComPtr<TableFilter> third = AddSink(L"Third");
  EXPECT_TRUE(FAILED(builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source->Base(),
                                            nullptr, third->Base())));
  EXPECT_EQ(5, FilterCount());
}

// The video-port preview: capture pin -> Smart Tee (intermediate) -> null renderer on the
// tee's first output (capture), then the tee's preview output to the grabber.
TEST_F(CaptureBuilderRender, TheVideoPortGraphOfTheProgram) {
  ComPtr<TableFilter> source = AddSource(MakeVideoPortSource(), L"Video port");
  ComPtr<IBaseFilter> tee = AddNew(CLSID_SmartTee, L"Smarttee");
  ComPtr<TableFilter> null = AddSink(L"Null");
  ComPtr<TableFilter> grabber = AddSink(L"Grabber", {kAnyVideo});
  ASSERT_TRUE(tee);
  ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, source->Base(), tee.Get(),
                                         null->Base()));
  EXPECT_TRUE(AreConnected(source->Pin(L"Capture"), PinAt(tee.Get(), 0).Get()));
  EXPECT_TRUE(AreConnected(PinAt(tee.Get(), 1).Get(), null->Pin(L"In")));
  ASSERT_EQ(S_OK, builder_->RenderStream(nullptr, nullptr, PinAt(tee.Get(), 2).Get(), nullptr,
                                         grabber->Base()));
  EXPECT_TRUE(AreConnected(PinAt(tee.Get(), 2).Get(), grabber->Pin(L"In")));
  EXPECT_FALSE(PeerOf(source->Pin(L"VP")));
}

// The native capture of a video-port source renders from the tee by category.
TEST_F(CaptureBuilderRender, ASmartTeeGivenAsSourceRendersItsOutputsByCategory) {
  ComPtr<TableFilter> source = AddSource(MakeVideoPortSource(), L"Video port");
  ComPtr<IBaseFilter> tee = AddNew(CLSID_SmartTee, L"Smarttee");
  ComPtr<TableFilter> grabber = AddSink(L"Grabber", {kAnyVideo});
  ComPtr<TableFilter> mux = AddSink(L"Mux", {kAnyVideo});
  ASSERT_TRUE(tee);
  ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, source->Base(), nullptr,
                                         tee.Get()));
  ASSERT_TRUE(SUCCEEDED(
      builder_->RenderStream(&PIN_CATEGORY_PREVIEW, nullptr, tee.Get(), nullptr, grabber->Base())));
  ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, tee.Get(), nullptr,
                                         mux->Base()));
  EXPECT_TRUE(AreConnected(PinAt(tee.Get(), 2).Get(), grabber->Pin(L"In")));
  EXPECT_TRUE(AreConnected(PinAt(tee.Get(), 1).Get(), mux->Pin(L"In")));
}

// ---- Interleaved DV -------------------------------------------------------------------------

TEST_F(CaptureBuilderRender, InterleavedDvToAnInterleavedSinkConnectsStraight) {
  ComPtr<TableFilter> camcorder = AddSource(MakeDvCamcorder(), L"Camcorder");
  ComPtr<TableFilter> mux = AddSink(L"Mux", {{MEDIATYPE_Interleaved, GUID_NULL}, kAnyVideo});
  ASSERT_EQ(S_OK, builder_->RenderStream(nullptr, &MEDIATYPE_Interleaved, camcorder->Base(),
                                         nullptr, mux->Base()));
  EXPECT_TRUE(AreConnected(camcorder->Pin(L"DV Vid Out"), mux->Pin(L"In")));
  EXPECT_FALSE(FindByName(L"DV Splitter"));
}

// The native DV capture: preview of the camcorder's only (capture) pin through a Smart Tee, the
// DV Splitter and the decoder; the capture render takes the tee's capture output straight into
// a sink that accepts the interleaved stream.
TEST_F(CaptureBuilderRender, TheNativeDvCaptureGraphOfTheProgram) {
  ComPtr<TableFilter> camcorder = AddSource(MakeDvCamcorder(), L"Camcorder");
  ComPtr<TableFilter> grabber = AddSink(
      L"Grabber", {{MEDIATYPE_Video, MEDIASUBTYPE_RGB24}, {MEDIATYPE_Video, MEDIASUBTYPE_YUY2}});
  ComPtr<TableFilter> mux = AddSink(L"Mux", {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}});
  ASSERT_EQ(VFW_S_NOPREVIEWPIN,
            builder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, camcorder->Base(),
                                   nullptr, grabber->Base()));
  ComPtr<IBaseFilter> tee = FindByName(L"Smart Tee");
  ComPtr<IBaseFilter> splitter = FindByName(L"DV Splitter");
  ASSERT_TRUE(tee);
  ASSERT_TRUE(splitter);
  EXPECT_TRUE(AreConnected(PinAt(tee.Get(), 2).Get(), PinAt(splitter.Get(), 0).Get()));
  // The splitter's video output (pin 1) feeds the decoder, which feeds the grabber.
  ComPtr<IBaseFilter> decoder = OwnerOf(PeerOf(PinAt(splitter.Get(), 1).Get()).Get());
  EXPECT_EQ(CLSID_DVVideoCodec, ClassOf(decoder.Get()));
  EXPECT_TRUE(IsSameObject(OwnerOf(PeerOf(grabber->Pin(L"In")).Get()).Get(), decoder.Get()));
  ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
                                         camcorder->Base(), nullptr, mux->Base()));
  EXPECT_TRUE(AreConnected(PinAt(tee.Get(), 1).Get(), mux->Pin(L"In")));
}

// The program's preview chain with the platform's filters: the webcam's preview pin into the
// Sample Grabber, then the grabber (a filter source, no category) through the Color Space
// Converter into the Video Renderer.
TEST_F(CaptureBuilderRender, ThePreviewChainOfTheProgram) {
  ComPtr<TableFilter> webcam = AddSource(MakeWebcam(), L"VideoSource");
  ComPtr<IBaseFilter> grabber = AddNew(CLSID_SampleGrabber, L"sg");
  ComPtr<IBaseFilter> color = AddNew(CLSID_Colour, L"color");
  ComPtr<IBaseFilter> renderer = AddNew(CLSID_VideoRenderer, L"vwEcran");
  ASSERT_TRUE(grabber && color && renderer);
  ASSERT_EQ(S_OK, builder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video,
                                         webcam->Pin(L"Preview"), nullptr, grabber.Get()));
  ASSERT_EQ(S_OK,
            builder_->RenderStream(nullptr, nullptr, grabber.Get(), color.Get(), renderer.Get()));
  EXPECT_TRUE(AreConnected(webcam->Pin(L"Preview"), PinAt(grabber.Get(), 0).Get()));
  EXPECT_TRUE(AreConnected(PinAt(grabber.Get(), 1).Get(), PinAt(color.Get(), 0).Get()));
  EXPECT_TRUE(AreConnected(PinAt(color.Get(), 1).Get(), PinAt(renderer.Get(), 0).Get()));
  EXPECT_EQ(4, FilterCount());
}

// ---- Default renderers ----------------------------------------------------------------------

// The renderer found may have a converter in front of it.
TEST_F(CaptureBuilderRender, WithoutSinkVideoAndSplitDvGoToTheVideoRenderer) {
  ComPtr<TableFilter> webcam = AddSource(MakeWebcam(), L"Webcam");
  ASSERT_TRUE(SUCCEEDED(builder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video,
                                               webcam->Base(), nullptr, nullptr)));
  EXPECT_TRUE(PeerOf(webcam->Pin(L"Preview")));
  ComPtr<IBaseFilter> renderer = FindByName(L"Video Renderer");
  ASSERT_TRUE(renderer);
  EXPECT_EQ(CLSID_VideoRenderer, ClassOf(renderer.Get()));
  EXPECT_TRUE(PeerOf(PinAt(renderer.Get(), 0).Get()));

  ComPtr<TableFilter> camcorder = AddSource(MakeDvCamcorder(), L"Camcorder");
  ASSERT_TRUE(SUCCEEDED(builder_->RenderStream(nullptr, &MEDIATYPE_Interleaved,
                                               camcorder->Pin(L"DV Vid Out"), nullptr, nullptr)));
  ComPtr<IBaseFilter> splitter = FindByName(L"DV Splitter");
  ASSERT_TRUE(splitter);
  EXPECT_TRUE(AreConnected(camcorder->Pin(L"DV Vid Out"), PinAt(splitter.Get(), 0).Get()));
  EXPECT_TRUE(PeerOf(PinAt(splitter.Get(), 1).Get()));
  ComPtr<IBaseFilter> second = FindByName(L"Video Renderer 0001");
  ASSERT_TRUE(second) << "a renderer of its own";
  EXPECT_TRUE(PeerOf(PinAt(second.Get(), 0).Get()));
}

}  // namespace
}  // namespace vidorra::test::capture_builder
