// The capture graph builder on the simulated machine's devices: FindPin as the program
// classifies its sources, FindInterface's search order, RenderStream (preview and capture
// pins, the Smart Tee, intermediate filters, the DV Splitter, default renderers, failures),
// SetOutputFileName, and the front end of TV cards joined on their pins' mediums.
#include <CaptureGraphBuilder.h>
#include <DeviceList.h>
#include <ScopedMachine.h>
#include <SystemDeviceEnum.h>
#include <qedit.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "RecordingSink.h"
#include "FilterPins.h"
#include <gtest/gtest.h>
#include "temp_dir.h"

namespace vidorra::test {
namespace {

// Two TV cards: the first card's crossbar comes first in its category, only the pins' mediums
// tell them apart.
constexpr const char* kMachine =
    "video webcam Webcam\n"
    "video capture Capture\n"
    "video dv Camcorder\n"
    "video videoport Video Port\n"
    "video nopins No Pins\n"
    "video tv Card A\n"
    "video tv Card B\n"
    "audio tone Micro\n";

ComPtr<ICaptureGraphBuilder2> NewBuilder() {
  dshow::EnsureCaptureGraphBuilderRegistered();
  dshow::EnsureSystemDeviceEnumRegistered();
  ComPtr<ICaptureGraphBuilder2> builder;
  EXPECT_EQ(S_OK,
            CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_ICaptureGraphBuilder2, builder.ReleaseAndGetVoidAddressOf()));
  return builder;
}

class CaptureBuilder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, builder_->SetFiltergraph(graph_.Get())); }

  // Binds the simulated device of that friendly name and adds it to the graph under it.
  ComPtr<IBaseFilter> Device(const std::wstring& name) {
    ComPtr<IBaseFilter> filter = BindDevice(CLSID_VideoInputDeviceCategory, name);
    if (!filter) filter = BindDevice(CLSID_AudioInputDeviceCategory, name);
    return Add(filter, name.c_str());
  }
  ComPtr<IBaseFilter> Add(ComPtr<IBaseFilter> filter, const wchar_t* name) {
    EXPECT_TRUE(filter && SUCCEEDED(graph_->AddFilter(filter.Get(), name))) << WideToUtf8(name);
    return filter;
  }
  ComPtr<IBaseFilter> New(REFCLSID clsid, const wchar_t* name) {
    return Add(CreateFilter(clsid), name);
  }
  // A renderer of video of that subtype (GUID_NULL: any).
  ComPtr<IBaseFilter> Sink(const wchar_t* name, const GUID& subtype = GUID_NULL) {
    return Add(ComPtr<IBaseFilter>(MakeComObject<RecordingSink>(subtype).Get()), name);
  }
  size_t FilterCount() { return FilterNames(graph_.Get()).size(); }
  ComPtr<IBaseFilter> Find(const wchar_t* name) {
    ComPtr<IBaseFilter> filter;
    graph_->FindFilterByName(name, filter.GetAddressOf());
    return filter;
  }
  HRESULT Render(const GUID* category, const GUID* type, IUnknown* source,
                 IBaseFilter* intermediate, IBaseFilter* sink) {
    return builder_->RenderStream(category, type, source, intermediate, sink);
  }

  ScopedMachine machine_{kMachine};
  ComPtr<IGraphBuilder> graph_ = NewGraph();
  ComPtr<ICaptureGraphBuilder2> builder_ = NewBuilder();
};

IPin* InOf(IBaseFilter* filter) { return PinAt(filter, 0).Get(); }

// FindPin gives the index-th pin of the direction, category and type asked in enumeration
// order, skipping connected ones when asked for unconnected pins only; a pin given as the
// source is the only candidate; what matches nothing is E_FAIL. The program classifies its
// sources by these look-ups: interleaved, video-port, preview or capture pin.
TEST_F(CaptureBuilder, FindPinGivesTheIndexthMatchingPin) {
  ComPtr<IBaseFilter> camcorder = Device(L"Camcorder");
  ComPtr<IBaseFilter> videoPort = Device(L"Video Port");
  ComPtr<IBaseFilter> noPins = Device(L"No Pins");
  ComPtr<IBaseFilter> webcam = Device(L"Webcam");
  ComPtr<IBaseFilter> card = Device(L"Card A");
  ComPtr<IBaseFilter> taken = Device(L"Webcam");
  ASSERT_EQ(S_OK, graph_->ConnectDirect(PinNamed(taken.Get(), L"Capture").Get(),
                                        InOf(Sink(L"Sink").Get()), nullptr));
  ComPtr<IPin> capture = PinNamed(webcam.Get(), L"Capture");
  const struct {
    IUnknown* source;
    PIN_DIRECTION direction;
    const GUID* category;
    const GUID* type;
    BOOL unconnected;
    int index;
    ComPtr<IPin> expected;  // null: E_FAIL
  } cases[] = {
      {camcorder.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Interleaved, TRUE, 0,
       PinNamed(camcorder.Get(), L"DV A/V Out")},
      {videoPort.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_VIDEOPORT, nullptr, FALSE, 0,
       PinNamed(videoPort.Get(), L"VP")},
      {videoPort.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Interleaved, TRUE, 0, nullptr},
      {noPins.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, TRUE, 0, nullptr},
      {webcam.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, TRUE, 0,
       PinNamed(webcam.Get(), L"Preview")},
      {webcam.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 1,
       PinNamed(webcam.Get(), L"Preview")},
      {webcam.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 2, nullptr},
      {webcam.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, FALSE, 0, nullptr},
      {webcam.Get(), PINDIR_INPUT, nullptr, nullptr, FALSE, 0, nullptr},
      {card.Get(), PINDIR_INPUT, &PIN_CATEGORY_ANALOGVIDEOIN, nullptr, TRUE, 0,
       PinNamed(card.Get(), L"Analog Video In")},
      {card.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_ANALOGVIDEOIN, nullptr, FALSE, 0, nullptr},
      {capture.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0, capture},
      {capture.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, TRUE, 0, nullptr},
      {capture.Get(), PINDIR_OUTPUT, nullptr, nullptr, TRUE, 1, nullptr},
      {taken.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, TRUE, 0, nullptr},
      {taken.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0,
       PinNamed(taken.Get(), L"Capture")},
      {taken.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, TRUE, 0,
       PinNamed(taken.Get(), L"Preview")},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    ComPtr<IPin> pin;
    EXPECT_EQ(c.expected ? S_OK : E_FAIL,
              builder_->FindPin(c.source, c.direction, c.category, c.type, c.unconnected, c.index,
                                pin.GetAddressOf()))
        << "case " << i;
    EXPECT_TRUE(c.expected ? IsSameObject(pin.Get(), c.expected.Get()) : !pin) << "case " << i;
  }
  EXPECT_EQ(E_POINTER,
            builder_->FindPin(webcam.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0, nullptr));
}

// What each kind of search finds on the program's devices, on Capture -> Sample Grabber ->
// Null Renderer: IBaseFilter and IPin answer everywhere, IMemInputPin on the input pins,
// IAMStreamConfig on the capture pins, IAMVideoProcAmp on the devices. A category asks the
// filter, then along its pins of that category and type only: the program asks with
// MEDIATYPE_Interleaved first and MEDIATYPE_Video second, and relies on the first failing for a
// video source. (The order itself: CaptureBuilderOrder.)
TEST_F(CaptureBuilder, FindInterfaceLooksWhereItShouldFirst) {
  ComPtr<IBaseFilter> source = Device(L"Capture");
  ComPtr<IBaseFilter> grabber = New(CLSID_SampleGrabber, L"Grabber");
  ComPtr<IBaseFilter> sink = New(CLSID_NullRenderer, L"Null");
  ComPtr<IBaseFilter> webcam = Device(L"Webcam");
  ComPtr<IBaseFilter> camcorder = Device(L"Camcorder");
  ComPtr<IPin> capture = PinNamed(source.Get(), L"Capture");
  ASSERT_EQ(S_OK, graph_->ConnectDirect(capture.Get(), InOf(grabber.Get()), nullptr));
  ASSERT_EQ(S_OK, graph_->ConnectDirect(PinAt(grabber.Get(), 1).Get(), InOf(sink.Get()), nullptr));
  const struct {
    const char* name;
    const GUID* category;
    const GUID* type;
    IBaseFilter* start;
    const IID& iid;
    IUnknown* expected;  // null: `failure`, and no object
    HRESULT failure = E_FAIL;
  } cases[] = {
      {"no category: the filter itself", nullptr, nullptr, grabber.Get(), IID_IBaseFilter,
       grabber.Get()},
      {"no category: downstream before upstream", nullptr, nullptr, grabber.Get(), IID_IMemInputPin,
       InOf(sink.Get())},
      {"no category: upstream last", nullptr, nullptr, sink.Get(), IID_IAMStreamConfig,
       capture.Get()},
      {"no category: nowhere", nullptr, nullptr, webcam.Get(), IID_IAMCrossbar, nullptr},
      {"upstream: its own input pins", &LOOK_UPSTREAM_ONLY, nullptr, grabber.Get(), IID_IPin,
       InOf(grabber.Get())},
      {"upstream: then across", &LOOK_UPSTREAM_ONLY, nullptr, grabber.Get(), IID_IAMStreamConfig,
       capture.Get()},
      {"upstream: never the filter itself", &LOOK_UPSTREAM_ONLY, nullptr, grabber.Get(),
       IID_IBaseFilter, source.Get()},
      {"upstream: nothing before the source", &LOOK_UPSTREAM_ONLY, nullptr, source.Get(),
       IID_IAMStreamConfig, nullptr},
      {"downstream: its own output pins", &LOOK_DOWNSTREAM_ONLY, nullptr, source.Get(),
       IID_IAMStreamConfig, capture.Get()},
      {"downstream: then across", &LOOK_DOWNSTREAM_ONLY, nullptr, grabber.Get(), IID_IBaseFilter,
       sink.Get()},
      {"downstream: nothing after the sink", &LOOK_DOWNSTREAM_ONLY, nullptr, sink.Get(), IID_IPin,
       nullptr},
      {"category: the pin", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(),
       IID_IAMStreamConfig, capture.Get()},
      {"category: downstream of the pin", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(),
       IID_IMemInputPin, InOf(grabber.Get())},
      {"category: the filter first", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(),
       IID_IAMVideoProcAmp, source.Get()},
      {"category: no such pin", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, source.Get(),
       IID_IAMStreamConfig, nullptr, E_NOINTERFACE},
      {"category: no preview pin", &PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source.Get(),
       IID_IAMStreamConfig, nullptr, E_NOINTERFACE},
      {"category: the preview pin", &PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, webcam.Get(),
       IID_IAMStreamConfig, PinNamed(webcam.Get(), L"Preview").Get()},
      {"category: the interleaved pin", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved,
       camcorder.Get(), IID_IAMStreamConfig, PinNamed(camcorder.Get(), L"DV A/V Out").Get()},
      {"category: nowhere", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, webcam.Get(), IID_IAMCrossbar,
       nullptr},
      {"neither a category nor a direction", &MEDIATYPE_Video, nullptr, webcam.Get(),
       IID_IAMCrossbar, nullptr, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    ComPtr<IUnknown> found;
    EXPECT_EQ(c.expected ? S_OK : c.failure,
              builder_->FindInterface(c.category, c.type, c.start, c.iid,
                                      found.ReleaseAndGetVoidAddressOf()))
        << c.name;
    EXPECT_TRUE(c.expected ? IsSameObject(found.Get(), c.expected) : !found) << c.name;
  }
  ComPtr<IUnknown> found;
  EXPECT_EQ(E_POINTER, builder_->FindInterface(nullptr, nullptr, nullptr, IID_IAMCrossbar,
                                               found.ReleaseAndGetVoidAddressOf()));
}

// Test filters whose objects answer an interface nobody else has, each once: the order in which
// FindInterface finds them, on F1.out1 -> F2.in1, F2.out1 -> F3.in1 (pins out1, in1, out2, in2),
// F2.out1 of the capture category offering video. Their outputs offer one major type (video
// unless told; GUID_NULL: none), their inputs take one (GUID_NULL: any).
constexpr GUID kAskedIid = {
    0x5f1c2e70, 0x3b1d, 0x4c55, {0x9e, 0x21, 0x6a, 0x0b, 0x42, 0x8d, 0x11, 0xc3}};

class OrderNode : public CBaseFilter {
 public:
  explicit OrderNode(const std::string& name, const GUID& offers = MEDIATYPE_Video,
                     const GUID& takes = GUID_NULL)
      : CBaseFilter(L"Order", GUID_NULL),
        name_(name),
        offers_(offers),
        takes_(takes),
        pins_{std::make_unique<Out>(this, L"out1"), std::make_unique<In>(this, L"in1"),
              std::make_unique<Out>(this, L"out2"), std::make_unique<In>(this, L"in2")} {}
  int GetPinCount() override { return 4; }
  CBasePin* GetPin(int n) override { return n >= 0 && n < 4 ? pins_[n].get() : nullptr; }
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == kAsked && Answer(name_)) return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
  }
  void SetCapture() { SetCategory(0, PIN_CATEGORY_CAPTURE); }
  void SetCategory(int pin, const GUID& category) {
    static_cast<Out*>(pins_[pin].get())->SetPinCategory(category);
  }
  // Answers once; who answered, in order.
  static bool Answer(const std::string& who) {
    if (std::find(answered.begin(), answered.end(), who) != answered.end()) return false;
    answered.push_back(who);
    return true;
  }
  static inline std::vector<std::string> answered;
  static inline GUID kAsked = kAskedIid;

 private:
  class Out : public CBaseOutputPin {
   public:
    Out(OrderNode* f, const wchar_t* name) : CBaseOutputPin(f, name), node_(f) {}
    DECLARE_PIN_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
      if (riid == kAsked && Answer(node_->name_ + "." + WideToUtf8(CBasePin::Name()))) {
        return GetInterface(static_cast<IPin*>(this), ppv);
      }
      return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT GetMediaType(int i, CMediaType* mt) override {
      if (i > 0 || node_->offers_ == GUID_NULL) return VFW_S_NO_MORE_ITEMS;
      *mt = CMediaType(&node_->offers_);
      return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* a, ALLOCATOR_PROPERTIES* p) override {
      p->cBuffers = 1;
      p->cbBuffer = 1;
      ALLOCATOR_PROPERTIES actual{};
      return a->SetProperties(p, &actual);
    }
    using CBasePin::SetPinCategory;

   private:
    OrderNode* node_;
  };
  class In : public CBaseInputPin {
   public:
    In(OrderNode* f, const wchar_t* name) : CBaseInputPin(f, name), node_(f) {}
    DECLARE_PIN_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
      if (riid == kAsked && Answer(node_->name_ + "." + WideToUtf8(CBasePin::Name()))) {
        return GetInterface(static_cast<IPin*>(this), ppv);
      }
      return CBaseInputPin::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT CheckMediaType(const CMediaType* mt) override {
      return node_->takes_ == GUID_NULL || *mt->Type() == node_->takes_ ? S_OK : S_FALSE;
    }

   private:
    OrderNode* node_;
  };
  std::string name_;
  GUID offers_;
  GUID takes_;
  std::unique_ptr<CBasePin> pins_[4];
};

TEST(CaptureBuilderOrder, FindInterfaceAsksInItsOrder) {
  struct Row {
    const char* name;
    const GUID* category;
    const GUID* type;
    int start;  // F1, F2 or F3
    std::string order;
    HRESULT last;
  };
  const std::string down = "F2.out1 F3.in1 F3 F3.out1 F3.out2";
  const std::string up = "F2.in1 F1.out1 F1 F1.in1 F1.in2 F2.in2";
  const Row rows[] = {
      {"from F2", nullptr, &MEDIATYPE_Audio, 2, "F2 " + down + " F2.out2 " + up, E_FAIL},
      {"from F1", nullptr, nullptr, 1,
       "F1 F1.out1 F2.in1 F2 " + down + " F2.out2 F1.out2 F1.in1 F1.in2", E_FAIL},
      {"upstream only", &LOOK_UPSTREAM_ONLY, nullptr, 2, up, E_FAIL},
      {"downstream only", &LOOK_DOWNSTREAM_ONLY, nullptr, 2, down + " F2.out2", E_FAIL},
      {"a category", &PIN_CATEGORY_CAPTURE, nullptr, 2, "F2 " + down + " " + up, E_FAIL},
      {"a category and a type its pin offers", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, 2,
       "F2 " + down + " " + up, E_FAIL},
      {"a category and a type its pin does not offer", &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, 2,
       "F2", E_NOINTERFACE},
      {"a category no pin has", &PIN_CATEGORY_PREVIEW, nullptr, 2, "F2", E_NOINTERFACE},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<ICaptureGraphBuilder2> builder = NewBuilder();
    ASSERT_EQ(S_OK, builder->SetFiltergraph(graph.Get()));
    std::vector<ComPtr<OrderNode>> f;
    for (const char* name : {"F1", "F2", "F3"}) {
      f.push_back(MakeComObject<OrderNode>(name));
      ASSERT_EQ(S_OK, graph->AddFilter(f.back().Get(), Utf8ToWide(name).c_str()));
    }
    f[1]->SetCapture();
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(f[0].Get(), 0).Get(), PinAt(f[1].Get(), 1).Get(),
                                         nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(f[1].Get(), 0).Get(), PinAt(f[2].Get(), 1).Get(),
                                         nullptr));
    OrderNode::answered.clear();
    HRESULT hr = S_OK;
    for (int i = 0; i < 30 && hr == S_OK; ++i) {
      ComPtr<IUnknown> found;
      hr = builder->FindInterface(row.category, row.type, f[row.start - 1].Get(), OrderNode::kAsked,
                                  found.ReleaseAndGetVoidAddressOf());
    }
    std::string order;
    for (const std::string& who : OrderNode::answered) order += (order.empty() ? "" : " ") + who;
    EXPECT_EQ(order, row.order);
    EXPECT_EQ(hr, row.last);
    for (auto& node : f) graph->RemoveFilter(node.Get());
  }
}

// RenderStream without an intermediate filter's help, on test filters S (outputs offering A),
// T (inputs taking A, outputs offering B), R (inputs taking B) or I (an intermediate): the
// source's free pins, the follow-on downstream for a type the source lacks, the failures, and
// the capture pin through one Smart Tee. Each row: the links made first, the calls and their
// answers, the links after.
TEST(CaptureBuilderRules, RenderStreamFromPinsOfTypesAndCategories) {
  static constexpr GUID kA = {0x7a1d0a01, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  static constexpr GUID kB = {0x7a1d0a02, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  static constexpr GUID kC = {0x7a1d0a03, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  static constexpr GUID kX = {0x7a1d0a04, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  struct Call {
    const GUID* category;
    const GUID* type;
    const char* source;  // "S" or a pin of S: "S.out1"
    const char* intermediate;
    HRESULT answer;
  };
  struct Row {
    const char* name;
    const char* nodes;  // "STR" (T between), "SR" (R taking A), "SIR" (I taking C), "SJR" (J: A to C)
    std::vector<std::string> before;
    std::vector<Call> calls;
    std::string after;
    const GUID* previewPin = nullptr;  // S.out1 of the capture category, S.out2 of this one
  };
  const GUID* none = nullptr;
  const Row rows[] = {
      {"twice, then no free output", "STR", {},
       {{none, none, "S", nullptr, S_OK}, {none, none, "S", nullptr, S_OK}, {none, none, "S", nullptr, E_FAIL}},
       "S.out1>T.in1 S.out2>T.in2 T.out1>R.in1 T.out2>R.in2"},
      {"a sink without a free input", "STR", {"S.out1>T.in1", "T.out1>R.in1", "T.out2>R.in2"},
       {{none, none, "S", nullptr, E_FAIL}}, "S.out1>T.in1 T.out1>R.in1 T.out2>R.in2"},
      {"an intermediate nobody feeds", "SIR", {}, {{none, none, "S", "I", E_FAIL}}, ""},
      {"an intermediate the sink refuses", "SJR", {}, {{none, none, "S", "J", VFW_E_CANNOT_CONNECT}},
       "S.out1>J.in1"},
      {"a type nobody offers", "STR", {}, {{none, &kX, "S", nullptr, S_OK}, {none, &kB, "S", nullptr, S_OK}}, ""},
      {"a type offered downstream", "STR", {"S.out1>T.in1", "T.out1>R.in1"},
       {{none, &kB, "S", nullptr, S_OK}}, "S.out1>T.in1 T.out1>R.in1 T.out2>R.in2"},
      {"capture through the tee, twice", "SR", {},
       {{&PIN_CATEGORY_CAPTURE, none, "S", nullptr, S_OK}, {&PIN_CATEGORY_CAPTURE, none, "S", nullptr, E_INVALIDARG},
        {&PIN_CATEGORY_PREVIEW, none, "S", nullptr, VFW_S_NOPREVIEWPIN}},
       "S.out1>Smart Tee.Input Smart Tee.Capture>R.in1 Smart Tee.Preview>R.in2"},
      {"preview through the tee, twice", "SR", {},
       {{&PIN_CATEGORY_PREVIEW, none, "S", nullptr, VFW_S_NOPREVIEWPIN},
        {&PIN_CATEGORY_PREVIEW, none, "S", nullptr, E_INVALIDARG}},
       "S.out1>Smart Tee.Input Smart Tee.Preview>R.in1"},
      {"the capture pin given", "SR", {}, {{&PIN_CATEGORY_CAPTURE, none, "S.out1", nullptr, S_OK}},
       "S.out1>Smart Tee.Input Smart Tee.Capture>R.in1", &PIN_CATEGORY_PREVIEW},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<ICaptureGraphBuilder2> builder = NewBuilder();
    ASSERT_EQ(S_OK, builder->SetFiltergraph(graph.Get()));
    const std::string nodes = row.nodes;
    const bool sinkTakesA = nodes == "SR";
    std::map<std::string, ComPtr<OrderNode>> node = {
        {"S", MakeComObject<OrderNode>("S", kA, GUID_NULL)},
        {"R", MakeComObject<OrderNode>("R", GUID_NULL, sinkTakesA ? kA : kB)},
    };
    if (nodes == "STR") node["T"] = MakeComObject<OrderNode>("T", kB, kA);
    if (nodes == "SIR") node["I"] = MakeComObject<OrderNode>("I", kB, kC);
    if (nodes == "SJR") node["J"] = MakeComObject<OrderNode>("J", kC, kA);
    for (auto& [name, filter] : node) {
      ASSERT_EQ(S_OK, graph->AddFilter(filter.Get(), Utf8ToWide(name).c_str()));
    }
    node["S"]->SetCapture();
    if (row.previewPin) node["S"]->SetCategory(2, *row.previewPin);
    const auto pin = [&](const std::string& named) {
      const size_t dot = named.find('.');
      return PinNamed(node.at(named.substr(0, dot)).Get(), Utf8ToWide(named.substr(dot + 1)).c_str());
    };
    for (const std::string& link : row.before) {
      const size_t arrow = link.find('>');
      ASSERT_EQ(S_OK, graph->ConnectDirect(pin(link.substr(0, arrow)).Get(), pin(link.substr(arrow + 1)).Get(), nullptr));
    }
    for (const Call& call : row.calls) {
      const std::string source = call.source;
      ComPtr<IUnknown> from = source == "S" ? ComPtr<IUnknown>(static_cast<IBaseFilter*>(node["S"].Get()))
                                             : ComPtr<IUnknown>(pin(source).Get());
      EXPECT_EQ(call.answer, builder->RenderStream(call.category, call.type, from.Get(),
                                                   call.intermediate ? node.at(call.intermediate).Get() : nullptr,
                                                   node["R"].Get()));
    }
    // Every link among the graph's filters, "filter.pin>filter.pin", sorted.
    const auto described = [](IPin* p, PIN_DIRECTION* direction) {
      PIN_INFO info{};
      p->QueryPinInfo(&info);
      FILTER_INFO owner{};
      info.pFilter->QueryFilterInfo(&owner);
      if (owner.pGraph) owner.pGraph->Release();
      info.pFilter->Release();
      if (direction) *direction = info.dir;
      return WideToUtf8(owner.achName) + "." + WideToUtf8(info.achName);
    };
    std::vector<std::string> links;
    for (const std::wstring& name : FilterNames(graph.Get())) {
      ComPtr<IBaseFilter> filter;
      graph->FindFilterByName(name.c_str(), filter.GetAddressOf());
      for (int i = 0; ComPtr<IPin> out = PinAt(filter.Get(), i); ++i) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        const std::string from = described(out.Get(), &direction);
        ComPtr<IPin> peer = Peer(out.Get());
        if (peer && direction == PINDIR_OUTPUT) links.push_back(from + ">" + described(peer.Get(), nullptr));
      }
    }
    std::sort(links.begin(), links.end());
    std::string after;
    for (const std::string& link : links) after += (after.empty() ? "" : " ") + link;
    EXPECT_EQ(after, row.after);
    for (const std::wstring& name : FilterNames(graph.Get())) {
      ComPtr<IBaseFilter> filter;
      graph->FindFilterByName(name.c_str(), filter.GetAddressOf());
      graph->RemoveFilter(filter.Get());
    }
  }
}

// The card's crossbar, TV tuner and TV audio filter are found by their pins' mediums among all
// the cards' and connected upstream of its analogue input (crossbar pins: five inputs, then the
// outputs), whatever the look-up asks; nothing is added once they are there, nor while the
// graph runs.
TEST_F(CaptureBuilder, TheFrontEndOfTheSameCardIsConnectedUpstreamOfTheCapturePin) {
  ComPtr<IBaseFilter> card = Device(L"Card B");
  ComPtr<IMediaControl> control = graph_.As<IMediaControl>();
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  ComPtr<IAMCrossbar> crossbar;
  EXPECT_EQ(E_FAIL,
            builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card.Get(),
                                    IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(1u, FilterCount()) << "nothing joins a running graph";
  ASSERT_EQ(S_OK, control->Stop());
  EXPECT_NE(S_OK, builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, card.Get(),
                                          IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  ComPtr<IBaseFilter> ours = Find(L"Card B Crossbar");
  ComPtr<IBaseFilter> tuner = Find(L"Card B TV Tuner");
  ComPtr<IBaseFilter> tvAudio = Find(L"Card B TV Audio");
  ASSERT_TRUE(ours && tuner && tvAudio);
  EXPECT_EQ(4u, FilterCount()) << "no filter of the other card";
  EXPECT_TRUE(
      Connected(PinAt(ours.Get(), 5).Get(), PinNamed(card.Get(), L"Analog Video In").Get()));
  EXPECT_TRUE(Connected(PinAt(tuner.Get(), 0).Get(), PinAt(ours.Get(), 0).Get()));
  EXPECT_TRUE(Connected(PinAt(tuner.Get(), 1).Get(), PinAt(tvAudio.Get(), 0).Get()));
  EXPECT_TRUE(Connected(PinAt(tvAudio.Get(), 1).Get(), PinAt(ours.Get(), 3).Get()));
  EXPECT_FALSE(Peer(PinAt(ours.Get(), 1).Get())) << "composite: no medium";
  ASSERT_EQ(S_OK, builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card.Get(),
                                          IID_IAMCrossbar, crossbar.ReleaseAndGetVoidAddressOf()));
  EXPECT_TRUE(IsSameObject(crossbar.Get(), ours.Get()));
  EXPECT_EQ(4u, FilterCount());
  EXPECT_EQ(E_FAIL,
            builder_->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, ours.Get(), IID_IAMCrossbar,
                                    crossbar.ReleaseAndGetVoidAddressOf()))
      << "one crossbar on this card";
}

// ---- RenderStream ----

// A preview pin goes straight to the sink, once: a taken preview pin is not replaced by a tee
// on the capture pin. An intermediate filter given, or one the caller put in the graph
// (intelligent connect inside RenderStream uses it), goes between the pin and the sink.
TEST_F(CaptureBuilder, APreviewPinIsRenderedOnceStraightOrThroughAnIntermediateFilter) {
  ComPtr<IBaseFilter> webcam = Device(L"Webcam");
  ComPtr<IBaseFilter> grabber = Sink(L"Grabber", MEDIASUBTYPE_YUY2);
  ASSERT_EQ(S_OK,
            Render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, webcam.Get(), nullptr, grabber.Get()));
  EXPECT_TRUE(Connected(PinNamed(webcam.Get(), L"Preview").Get(), InOf(grabber.Get())));
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, Render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, webcam.Get(),
                                            nullptr, Sink(L"Second").Get()));
  EXPECT_FALSE(Peer(PinNamed(webcam.Get(), L"Capture").Get()));
  EXPECT_FALSE(Find(L"Smart Tee"));
  for (const bool given : {true, false}) {
    SCOPED_TRACE(given ? "given" : "in the graph");
    ComPtr<IBaseFilter> source = Device(L"Webcam");
    ComPtr<IBaseFilter> converter = New(CLSID_Colour, L"Converter");
    ComPtr<IBaseFilter> rgb = Sink(L"RGB", MEDIASUBTYPE_RGB32);
    const size_t count = FilterCount();
    ASSERT_EQ(S_OK, Render(given ? &PIN_CATEGORY_CAPTURE : &PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video,
                           source.Get(), given ? converter.Get() : nullptr, rgb.Get()));
    EXPECT_TRUE(Connected(PinNamed(source.Get(), given ? L"Capture" : L"Preview").Get(),
                          InOf(converter.Get())));
    EXPECT_TRUE(Connected(PinAt(converter.Get(), 1).Get(), InOf(rgb.Get())));
    EXPECT_EQ(count, FilterCount()) << "nothing added";
  }
}

// A pin given as the source is connected as it is (named again once taken: an argument that
// does not fit); a filter without a category gives its first free output of the type; a
// source without a pin of the category asked is an invalid argument.
TEST_F(CaptureBuilder, SourcePinsWithoutACategory) {
  ComPtr<IBaseFilter> webcam = Device(L"Webcam");
  ComPtr<IBaseFilter> first = Sink(L"First");
  ASSERT_EQ(S_OK, Render(nullptr, nullptr, PinNamed(webcam.Get(), L"Capture").Get(), nullptr,
                         first.Get()));
  EXPECT_TRUE(Connected(PinNamed(webcam.Get(), L"Capture").Get(), InOf(first.Get())));
  ComPtr<IBaseFilter> other = Sink(L"Other");
  EXPECT_EQ(E_INVALIDARG, Render(nullptr, nullptr, PinNamed(webcam.Get(), L"Capture").Get(),
                                 nullptr, other.Get()));
  ASSERT_EQ(S_OK, Render(nullptr, &MEDIATYPE_Video, webcam.Get(), nullptr, other.Get()));
  EXPECT_TRUE(Connected(PinNamed(webcam.Get(), L"Preview").Get(), InOf(other.Get())));
  ComPtr<IBaseFilter> micro = Device(L"Micro");
  ComPtr<IBaseFilter> sink = Sink(L"Sink");
  const std::pair<const GUID*, const GUID*> asked[] = {{&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video},
                                                       {&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video},
                                                       {&PIN_CATEGORY_VIDEOPORT, nullptr}};
  const size_t count = FilterCount();
  for (auto [category, type] : asked) {
    EXPECT_EQ(E_INVALIDARG, Render(category, type, micro.Get(), nullptr, sink.Get()));
  }
  EXPECT_FALSE(Peer(PinNamed(micro.Get(), L"Capture").Get()));
  EXPECT_EQ(count, FilterCount());
  EXPECT_EQ(E_POINTER, Render(nullptr, nullptr, nullptr, nullptr, sink.Get()));
}

// A link that cannot be made fails the call and leaves the links before it in place.
TEST_F(CaptureBuilder, AFailedLinkLeavesTheLinksBeforeItInPlace) {
  ComPtr<IBaseFilter> webcam = Device(L"Webcam");
  ComPtr<IBaseFilter> middle = New(CLSID_Colour, L"Middle");
  ComPtr<IBaseFilter> refusing = Sink(L"Refusing", MEDIASUBTYPE_TestC);
  const size_t count = FilterCount();
  EXPECT_TRUE(FAILED(
      Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, webcam.Get(), middle.Get(), refusing.Get())));
  EXPECT_TRUE(Connected(PinNamed(webcam.Get(), L"Capture").Get(), InOf(middle.Get())));
  EXPECT_FALSE(Peer(PinAt(middle.Get(), 1).Get()));
  EXPECT_FALSE(Peer(InOf(refusing.Get())));
  EXPECT_EQ(count, FilterCount());
}

// A source with only a capture pin gets a Smart Tee on it (pins: input, capture, preview) from
// whichever render comes first, and the other render takes the tee's other output; the
// program's preview of such a source passes the capture pin itself. A tee the caller put on the
// capture pin is continued the same way.
TEST_F(CaptureBuilder, ACapturePinFeedsPreviewAndCaptureThroughOneSmartTee) {
  const struct {
    const char* name;
    bool previewFirst, previewOfThePin, teeOfTheCaller;
  } cases[] = {{"preview first", true, false, false},
               {"capture first", false, false, false},
               {"preview of the pin", true, true, false},
               {"the caller's tee", true, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComPtr<IBaseFilter> source = Device(L"Capture");
    ComPtr<IBaseFilter> grabber = Sink(L"Grabber");
    ComPtr<IBaseFilter> mux = Sink(L"Mux");
    ComPtr<IPin> capture = PinNamed(source.Get(), L"Capture");
    if (c.teeOfTheCaller) {
      ASSERT_EQ(S_OK, Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(), nullptr,
                             New(CLSID_SmartTee, L"Tee").Get()));
    }
    IUnknown* previewed = c.previewOfThePin ? static_cast<IUnknown*>(capture.Get()) : source.Get();
    auto preview = [&] {
      return Render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, previewed, nullptr, grabber.Get());
    };
    if (c.previewFirst) {
      ASSERT_EQ(VFW_S_NOPREVIEWPIN, preview());
    }
    ASSERT_EQ(S_OK,
              Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(), nullptr, mux.Get()));
    if (!c.previewFirst) {
      ASSERT_EQ(VFW_S_NOPREVIEWPIN, preview());
    }
    ComPtr<IBaseFilter> tee = OwnerOf(Peer(capture.Get()).Get());
    EXPECT_EQ(CLSID_SmartTee, ClassOf(tee.Get()));
    EXPECT_TRUE(Connected(PinAt(tee.Get(), 1).Get(), InOf(mux.Get())));
    EXPECT_TRUE(Connected(PinAt(tee.Get(), 2).Get(), InOf(grabber.Get())));
    EXPECT_TRUE(FAILED(Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.Get(), nullptr,
                              Sink(L"Third").Get())))
        << "both tee outputs taken";
  }
  EXPECT_EQ(20u, FilterCount());
}

// The video-port graphs of the program: the capture pin through a Smart Tee (the intermediate
// filter) into a null renderer, the tee's preview output to the grabber; or the tee as the
// sink, then rendered from by category. The video-port pin stays free.
TEST_F(CaptureBuilder, TheVideoPortGraphsOfTheProgram) {
  for (const bool teeAsSource : {false, true}) {
    SCOPED_TRACE(teeAsSource ? "tee as source" : "tee as intermediate");
    ComPtr<IBaseFilter> source = Device(L"Video Port");
    ComPtr<IBaseFilter> tee = New(CLSID_SmartTee, L"Smarttee");
    ComPtr<IBaseFilter> grabber = Sink(L"Grabber");
    ComPtr<IBaseFilter> mux = Sink(L"Mux");
    if (teeAsSource) {
      ASSERT_EQ(S_OK, Render(&PIN_CATEGORY_CAPTURE, nullptr, source.Get(), nullptr, tee.Get()));
      ASSERT_TRUE(
          SUCCEEDED(Render(&PIN_CATEGORY_PREVIEW, nullptr, tee.Get(), nullptr, grabber.Get())));
      ASSERT_EQ(S_OK, Render(&PIN_CATEGORY_CAPTURE, nullptr, tee.Get(), nullptr, mux.Get()));
    } else {
      ASSERT_EQ(S_OK, Render(&PIN_CATEGORY_CAPTURE, nullptr, source.Get(), tee.Get(), mux.Get()));
      ASSERT_EQ(S_OK, Render(nullptr, nullptr, PinAt(tee.Get(), 2).Get(), nullptr, grabber.Get()));
    }
    EXPECT_TRUE(Connected(PinNamed(source.Get(), L"Capture").Get(), InOf(tee.Get())));
    EXPECT_TRUE(Connected(PinAt(tee.Get(), 1).Get(), InOf(mux.Get())));
    EXPECT_TRUE(Connected(PinAt(tee.Get(), 2).Get(), InOf(grabber.Get())));
    EXPECT_FALSE(Peer(PinNamed(source.Get(), L"VP").Get()));
  }
}

// Interleaved DV goes straight into a sink that takes it; the program's native DV capture
// previews the camcorder's only pin through a Smart Tee, the DV Splitter and the decoder, and
// its capture render takes the tee's capture output.
TEST_F(CaptureBuilder, InterleavedDvStraightOrThroughTheTeeAndTheSplitter) {
  ComPtr<IBaseFilter> straight = Device(L"Camcorder");
  ComPtr<IBaseFilter> sink = New(CLSID_NullRenderer, L"Sink");
  ASSERT_EQ(S_OK, Render(nullptr, &MEDIATYPE_Interleaved, straight.Get(), nullptr, sink.Get()));
  EXPECT_TRUE(Connected(PinNamed(straight.Get(), L"DV A/V Out").Get(), InOf(sink.Get())));
  EXPECT_FALSE(Find(L"DV Splitter"));
  ComPtr<IBaseFilter> camcorder = Device(L"Camcorder");
  ComPtr<IBaseFilter> grabber = Sink(L"Grabber", MEDIASUBTYPE_YUY2);
  ComPtr<IBaseFilter> mux = New(CLSID_NullRenderer, L"Mux");
  ASSERT_EQ(VFW_S_NOPREVIEWPIN, Render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved,
                                       camcorder.Get(), nullptr, grabber.Get()));
  ComPtr<IBaseFilter> tee = Find(L"Smart Tee");
  ComPtr<IBaseFilter> splitter = Find(L"DV Splitter");
  ASSERT_TRUE(tee && splitter);
  EXPECT_TRUE(Connected(PinAt(tee.Get(), 2).Get(), InOf(splitter.Get())));
  ComPtr<IBaseFilter> decoder = OwnerOf(Peer(PinAt(splitter.Get(), 1).Get()).Get());
  EXPECT_EQ(CLSID_DVVideoCodec, ClassOf(decoder.Get()));
  EXPECT_TRUE(IsSameObject(OwnerOf(Peer(InOf(grabber.Get())).Get()).Get(), decoder.Get()));
  ASSERT_EQ(S_OK, Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, camcorder.Get(), nullptr,
                         mux.Get()));
  EXPECT_TRUE(Connected(PinAt(tee.Get(), 1).Get(), InOf(mux.Get())));
}

// Without a sink, video goes to a Video Renderer (through a converter if need be), split DV to
// one of its own.
TEST_F(CaptureBuilder, WithoutASinkVideoAndSplitDvGoToVideoRenderers) {
  ComPtr<IBaseFilter> webcam = Device(L"Webcam");
  ASSERT_TRUE(
      SUCCEEDED(Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, webcam.Get(), nullptr, nullptr)));
  ComPtr<IBaseFilter> renderer = Find(L"Video Renderer");
  ASSERT_TRUE(renderer);
  EXPECT_TRUE(Peer(InOf(renderer.Get())));
  ComPtr<IBaseFilter> camcorder = Device(L"Camcorder");
  ASSERT_TRUE(SUCCEEDED(Render(nullptr, &MEDIATYPE_Interleaved,
                               PinNamed(camcorder.Get(), L"DV A/V Out").Get(), nullptr, nullptr)));
  ComPtr<IBaseFilter> splitter = Find(L"DV Splitter");
  ASSERT_TRUE(splitter);
  EXPECT_TRUE(Connected(PinNamed(camcorder.Get(), L"DV A/V Out").Get(), InOf(splitter.Get())));
  ComPtr<IBaseFilter> third = Find(L"Video Renderer 0001");
  ASSERT_TRUE(third) << "a renderer of its own";
  EXPECT_TRUE(Peer(InOf(third.Get())));
}

// ---- The builder's graph and SetOutputFileName ----

TEST(CaptureBuilderGraph, SetFiltergraphKeepsTheFirstGraphAndWithoutOneMakesItsOwn) {
  ComPtr<ICaptureGraphBuilder2> builder = NewBuilder();
  ComPtr<IGraphBuilder> made, again;
  ASSERT_EQ(S_OK, builder->GetFiltergraph(made.GetAddressOf()));
  ASSERT_EQ(S_OK, builder->GetFiltergraph(again.GetAddressOf()));
  EXPECT_TRUE(made && IsSameObject(made.Get(), again.Get()));
  builder = NewBuilder();
  ComPtr<IGraphBuilder> first = NewGraph();
  EXPECT_EQ(E_POINTER, builder->SetFiltergraph(nullptr));
  ASSERT_EQ(S_OK, builder->SetFiltergraph(first.Get()));
  EXPECT_EQ(S_OK, builder->SetFiltergraph(first.Get()));
  EXPECT_EQ(E_UNEXPECTED, builder->SetFiltergraph(NewGraph().Get()));
  ASSERT_EQ(S_OK, builder->GetFiltergraph(again.ReleaseAndGetAddressOf()));
  EXPECT_TRUE(IsSameObject(again.Get(), first.Get()));
  EXPECT_EQ(E_POINTER, builder->GetFiltergraph(nullptr));
}

// Refusals add nothing. The mux and the writer, named, the writer fed by the mux, nothing
// written before the graph runs; the program's audio stream: the source through an Infinite
// Pin Tee into the mux, then the tee's spare output to the default audio renderer.
TEST_F(CaptureBuilder, SetOutputFileNameAddsTheMuxAndTheWriter) {
  TempDir folder;
  const std::wstring path = Utf8ToWide(folder.File("capture.avi"));
  ComPtr<IBaseFilter> mux;
  ComPtr<IFileSinkFilter> sink;
  EXPECT_EQ(E_INVALIDARG, builder_->SetOutputFileName(&MEDIASUBTYPE_RGB24, path.c_str(),
                                                      mux.GetAddressOf(), sink.GetAddressOf()));
  EXPECT_EQ(E_INVALIDARG, builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, L"", mux.GetAddressOf(),
                                                      sink.GetAddressOf()));
  EXPECT_EQ(E_POINTER, builder_->SetOutputFileName(nullptr, path.c_str(), mux.GetAddressOf(),
                                                   sink.GetAddressOf()));
  EXPECT_EQ(E_POINTER, builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, path.c_str(), nullptr,
                                                   sink.GetAddressOf()));
  EXPECT_FALSE(mux || sink);
  EXPECT_EQ(0u, FilterCount());
  ASSERT_EQ(S_OK, builder_->SetOutputFileName(&MEDIASUBTYPE_Avi, path.c_str(), mux.GetAddressOf(),
                                              sink.GetAddressOf()));
  EXPECT_EQ(CLSID_AviDest, ClassOf(mux.Get()));
  ComPtr<IBaseFilter> writer = sink.As<IBaseFilter>();
  EXPECT_EQ(CLSID_FileWriter, ClassOf(writer.Get()));
  EXPECT_TRUE(IsSameObject(Find(L"AVI Mux").Get(), mux.Get()));
  EXPECT_TRUE(IsSameObject(Find(L"File writer").Get(), writer.Get()));
  EXPECT_TRUE(IsSameObject(OwnerOf(Peer(InOf(writer.Get())).Get()).Get(), mux.Get()));
  EXPECT_FALSE(std::filesystem::exists(folder.File("capture.avi")));

  ComPtr<IBaseFilter> micro = Device(L"Micro");
  ComPtr<IBaseFilter> tee = New(CLSID_InfTee, L"Infinite2");
  ASSERT_EQ(S_OK, Render(nullptr, &MEDIATYPE_Audio, micro.Get(), tee.Get(), mux.Get()));
  EXPECT_TRUE(Connected(PinNamed(micro.Get(), L"Capture").Get(), InOf(tee.Get())));
  EXPECT_TRUE(IsSameObject(OwnerOf(Peer(PinAt(tee.Get(), 1).Get()).Get()).Get(), mux.Get()));
  ComPtr<IPin> spare;
  ASSERT_EQ(S_OK, builder_->FindPin(tee.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, TRUE, 0,
                                    spare.GetAddressOf()));
  ASSERT_TRUE(SUCCEEDED(Render(nullptr, &MEDIATYPE_Audio, spare.Get(), nullptr, nullptr)));
  EXPECT_EQ(CLSID_DSoundRender, ClassOf(OwnerOf(Peer(spare.Get()).Get()).Get()));
}

}  // namespace
}  // namespace vidorra::test
