// The capture graph builder's look-ups: FindPin as the program classifies its sources, and
// FindInterface by pin category, upstream, downstream and over the whole graph: the order of
// its search and its results.
#include "capture_builder_test_filters.h"

namespace vidorra::test::capture_builder {
namespace {

// The program's classification of a video source: the first of these look-ups that succeeds.
enum class SourceKind { kInterleaved, kVideoPort, kPreview, kCapture, kNone };

SourceKind Classify(ICaptureGraphBuilder2* builder, IBaseFilter* source) {
  struct Step {
    const GUID* category;
    const GUID* type;
    BOOL unconnected;
    SourceKind kind;
  };
  const Step steps[] = {{nullptr, &MEDIATYPE_Interleaved, TRUE, SourceKind::kInterleaved},
                        {&PIN_CATEGORY_VIDEOPORT, nullptr, FALSE, SourceKind::kVideoPort},
                        {&PIN_CATEGORY_PREVIEW, nullptr, TRUE, SourceKind::kPreview},
                        {&PIN_CATEGORY_CAPTURE, nullptr, TRUE, SourceKind::kCapture}};
  for (const Step& step : steps) {
    ComPtr<IPin> pin;
    if (SUCCEEDED(builder->FindPin(source, PINDIR_OUTPUT, step.category, step.type,
                                   step.unconnected, 0, pin.GetAddressOf()))) {
      EXPECT_TRUE(pin);
      return step.kind;
    }
    EXPECT_FALSE(pin);
  }
  return SourceKind::kNone;
}

using CaptureBuilderFindPin = CaptureBuilderTest;

TEST_F(CaptureBuilderFindPin, ClassifiesEachKindOfSourceAsTheProgramDoes) {
  EXPECT_EQ(SourceKind::kInterleaved, Classify(builder_.Get(), MakeDvCamcorder().Get()));
  EXPECT_EQ(SourceKind::kVideoPort, Classify(builder_.Get(), MakeVideoPortSource().Get()));
  EXPECT_EQ(SourceKind::kPreview, Classify(builder_.Get(), MakeWebcam().Get()));
  EXPECT_EQ(SourceKind::kCapture, Classify(builder_.Get(), MakeCaptureOnly().Get()));
  EXPECT_EQ(SourceKind::kNone, Classify(builder_.Get(), MakeSink(L"No outputs").Get()));
}

// FindPin gives the index-th pin in enumeration order of the direction, category and type
// asked, skipping connected ones when asked for unconnected pins only; a pin given as the
// source is the only candidate. What matches nothing is E_FAIL.
TEST_F(CaptureBuilderFindPin, ReturnsTheIndexthMatchingPinInEnumerationOrder) {
  ComPtr<TableFilter> webcam = MakeWebcam();
  ComPtr<TableFilter> card = MakeTvCard(MediumsOfCard(1).crossbarToCapture);
  IPin* capture = webcam->Pin(L"Capture");
  ComPtr<TableFilter> taken = MakeWebcam();
  ComPtr<TableFilter> sink = MakeSink(L"Sink");
  ASSERT_EQ(S_OK, taken->Pin(L"Capture")->Connect(sink->Pin(L"In"), nullptr));
  const struct {
    IUnknown* source;
    PIN_DIRECTION direction;
    const GUID* category;
    const GUID* type;
    BOOL unconnected;
    int index;
    IPin* expected;  // null: E_FAIL
  } cases[] = {
      {webcam->Base(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 1, webcam->Pin(L"Preview")},
      {webcam->Base(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 2, nullptr},
      {webcam->Base(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, FALSE, 0, nullptr},
      {webcam->Base(), PINDIR_INPUT, nullptr, nullptr, FALSE, 0, nullptr},
      {card->Base(), PINDIR_INPUT, &PIN_CATEGORY_ANALOGVIDEOIN, nullptr, TRUE, 0,
       card->Pin(L"Analog Video In")},
      {card->Base(), PINDIR_OUTPUT, &PIN_CATEGORY_ANALOGVIDEOIN, nullptr, FALSE, 0, nullptr},
      {capture, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0, capture},
      {capture, PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, TRUE, 0, nullptr},
      {capture, PINDIR_OUTPUT, nullptr, nullptr, TRUE, 1, nullptr},
      {taken->Base(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, TRUE, 0, nullptr},
      {taken->Base(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0,
       taken->Pin(L"Capture")},
      {taken->Base(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, TRUE, 0, taken->Pin(L"Preview")},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    ComPtr<IPin> pin;
    EXPECT_EQ(c.expected ? S_OK : E_FAIL,
              builder_->FindPin(c.source, c.direction, c.category, c.type, c.unconnected, c.index,
                                pin.GetAddressOf()))
        << "case " << i;
    EXPECT_TRUE(c.expected ? IsSameObject(pin.Get(), c.expected) : !pin) << "case " << i;
  }
  ComPtr<IPin> pin;
  EXPECT_EQ(E_POINTER,
            builder_->FindPin(webcam->Base(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0, nullptr));
  EXPECT_EQ(E_POINTER, builder_->FindPin(nullptr, PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0,
                                         pin.GetAddressOf()));
  taken->Pin(L"Capture")->Disconnect();
  sink->Pin(L"In")->Disconnect();
}

// ---- FindInterface --------------------------------------------------------------------------

using CaptureBuilderFindInterface = CaptureBuilderTest;

// The media type is matched against every type the pin offers, not only the one it is
// connected with: a DV pin connected as an interleaved stream still offers DV video.
TEST_F(CaptureBuilderFindInterface, TheTypeIsMatchedAgainstTheTypesThePinOffers) {
  ComPtr<TableFilter> camcorder = MakeComObject<TableFilter>(
      L"Two-faced DV", GUID_NULL,
      std::vector<PinDesc>{
          {L"DV",
           PINDIR_OUTPUT,
           PIN_CATEGORY_CAPTURE,
           std::nullopt,
           {{MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd}, {MEDIATYPE_Video, MEDIASUBTYPE_dvsd}}}});
  ComPtr<TableFilter> sink = MakeSink(L"Sink", {{MEDIATYPE_Interleaved, GUID_NULL}});
  IPin* pin = camcorder->Pin(L"DV");
  ASSERT_EQ(S_OK, pin->Connect(sink->Pin(L"In"), nullptr));
  for (const GUID* type : {&MEDIATYPE_Interleaved, &MEDIATYPE_Video}) {
    ComPtr<IPin> found;
    ASSERT_EQ(S_OK, builder_->FindInterface(&PIN_CATEGORY_CAPTURE, type, camcorder.Get(), IID_IPin,
                                            found.ReleaseAndGetVoidAddressOf()));
    EXPECT_TRUE(IsSameObject(found.Get(), pin));
  }
  pin->Disconnect();
  sink->Pin(L"In")->Disconnect();
}

// A chain source -> middle -> sink connected pin to pin, where the source's pin and the
// middle's output both answer IAMStreamConfig.
class CaptureBuilderSearchChain : public CaptureBuilderTest {
 protected:
  void SetUp() override {
    CaptureBuilderTest::SetUp();
    source_ = MakeCaptureOnly();
    middle_ = MakeComObject<TableFilter>(
        L"Middle", GUID_NULL,
        std::vector<PinDesc>{{L"In", PINDIR_INPUT, std::nullopt, std::nullopt, {}},
                             {L"Out",
                              PINDIR_OUTPUT,
                              std::nullopt,
                              std::nullopt,
                              {{MEDIATYPE_Video, MEDIASUBTYPE_YUY2}},
                              true}});
    sink_ = MakeSink(L"Sink");
    ASSERT_EQ(S_OK, source_->Pin(L"Capture")->Connect(middle_->Pin(L"In"), nullptr));
    ASSERT_EQ(S_OK, middle_->Pin(L"Out")->Connect(sink_->Pin(L"In"), nullptr));
  }
  void TearDown() override {
    for (TableFilter* filter : {source_.Get(), middle_.Get(), sink_.Get()}) {
      for (int i = 0; i < filter->GetPinCount(); ++i) filter->GetPin(i)->Disconnect();
    }
  }
  ComPtr<TableFilter> source_, middle_, sink_;
};

// Where each kind of search looks first, told by what answers: IBaseFilter and IPin are
// answered by every filter and pin, IAMStreamConfig by the source's capture pin and the
// middle's output. A category finds the interface on the pin of that category and type only:
// the program asks with MEDIATYPE_Interleaved first and MEDIATYPE_Video second, and relies on
// the first failing for a video source (and on the preview look-up failing without a preview
// pin).
TEST_F(CaptureBuilderSearchChain, EachSearchLooksWhereItShouldFirst) {
  ComPtr<TableFilter> webcam = MakeWebcam();
  ComPtr<TableFilter> camcorder = MakeDvCamcorder();
  struct Case {
    const char* name;
    const GUID* category;
    const GUID* type;
    IBaseFilter* start;
    const IID* iid;
    IUnknown* expected;  // null: `failure`, and no object
    HRESULT failure = E_NOINTERFACE;
  };
  IPin* capture = source_->Pin(L"Capture");
  const Case cases[] = {
      {"no category: the filter itself", nullptr, nullptr, middle_.Get(), &IID_IBaseFilter,
       middle_->Base()},
      {"no category: its pins next", nullptr, nullptr, middle_.Get(), &IID_IAMStreamConfig,
       middle_->Pin(L"Out")},
      {"no category: upstream last", nullptr, nullptr, sink_.Get(), &IID_IAMStreamConfig,
       middle_->Pin(L"Out")},
      {"no category: nowhere", nullptr, nullptr, webcam.Get(), &IID_IAMCrossbar, nullptr},
      {"upstream: its own input pins", &LOOK_UPSTREAM_ONLY, nullptr, middle_.Get(), &IID_IPin,
       middle_->Pin(L"In")},
      {"upstream: then across", &LOOK_UPSTREAM_ONLY, nullptr, middle_.Get(), &IID_IAMStreamConfig,
       capture},
      {"upstream: never the filter itself", &LOOK_UPSTREAM_ONLY, nullptr, middle_.Get(),
       &IID_IBaseFilter, source_->Base()},
      {"upstream: nothing before the source", &LOOK_UPSTREAM_ONLY, nullptr, source_.Get(),
       &IID_IAMStreamConfig, nullptr},
      {"downstream: its own output pins", &LOOK_DOWNSTREAM_ONLY, nullptr, source_.Get(),
       &IID_IAMStreamConfig, capture},
      {"downstream: then across", &LOOK_DOWNSTREAM_ONLY, nullptr, middle_.Get(), &IID_IBaseFilter,
       sink_->Base()},
      {"downstream: nothing after the sink", &LOOK_DOWNSTREAM_ONLY, nullptr, sink_.Get(), &IID_IPin,
       nullptr},
      {"category: the pin", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source_.Get(),
       &IID_IAMStreamConfig, capture},
      {"category: downstream of the pin before the filter", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
       source_.Get(), &IID_IBaseFilter, middle_->Base()},
      {"category: no such pin", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, source_.Get(),
       &IID_IBaseFilter, nullptr},
      {"category: no preview pin", &PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source_.Get(),
       &IID_IAMStreamConfig, nullptr},
      {"category: the preview pin", &PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, webcam.Get(),
       &IID_IAMStreamConfig, webcam->Pin(L"Preview")},
      {"category: the interleaved pin", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
       camcorder.Get(), &IID_IAMStreamConfig, camcorder->Pin(L"DV Vid Out")},
      {"category: no interleaved pin", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, webcam.Get(),
       &IID_IAMStreamConfig, nullptr},
      {"category: nowhere", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, webcam.Get(), &IID_IAMCrossbar,
       nullptr},
      {"neither a category nor a direction", &MEDIATYPE_Video, nullptr, webcam.Get(),
       &IID_IAMCrossbar, nullptr, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    ComPtr<IUnknown> found;
    EXPECT_EQ(c.expected ? S_OK : c.failure,
              builder_->FindInterface(c.category, c.type, c.start, *c.iid,
                                      found.ReleaseAndGetVoidAddressOf()))
        << c.name;
    EXPECT_TRUE(c.expected ? IsSameObject(found.Get(), c.expected) : !found) << c.name;
  }
  ComPtr<IAMCrossbar> crossbar;
  EXPECT_EQ(E_POINTER, builder_->FindInterface(nullptr, nullptr, nullptr, IID_IAMCrossbar,
                                               crossbar.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(E_POINTER,
            builder_->FindInterface(nullptr, nullptr, webcam->Base(), IID_IAMCrossbar, nullptr));
}

}  // namespace
}  // namespace vidorra::test::capture_builder
