// The capture graph builder: FindInterface's search order and RenderStream's rules on test
// filters, the front end of the simulated TV cards joined on their pins' mediums, interleaved DV
// rendered without a sink, its graph and the writer of an AVI file. (What it builds for the
// program's devices: the device recordings and the engine's graphs.)
#include <CaptureGraphBuilder.h>
#include <DeviceList.h>
#include <ScopedMachine.h>
#include <SystemDeviceEnum.h>
#include <gtest/gtest.h>

#include <map>

#include "FilterPins.h"

namespace vidorra::test {
namespace {

// A capture graph builder, working on `graph` when one is given.
ComPtr<ICaptureGraphBuilder2> NewBuilder(IGraphBuilder* graph = nullptr) {
  dshow::EnsureCaptureGraphBuilderRegistered();
  dshow::EnsureSystemDeviceEnumRegistered();
  ComPtr<ICaptureGraphBuilder2> builder;
  EXPECT_EQ(S_OK,
            CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_ICaptureGraphBuilder2, builder.ReleaseAndGetVoidAddressOf()));
  EXPECT_TRUE(!graph || builder->SetFiltergraph(graph) == S_OK);
  return builder;
}

ComPtr<IBaseFilter> Find(IGraphBuilder* graph, const std::wstring& name) {
  ComPtr<IBaseFilter> filter;
  graph->FindFilterByName(name.c_str(), filter.GetAddressOf());
  return filter;
}

class CaptureBuilder : public ::testing::Test {
 protected:
  // Binds the simulated device of that friendly name and adds it to the graph under it.
  ComPtr<IBaseFilter> Device(const std::wstring& name) {
    ComPtr<IBaseFilter> filter = BindDevice(CLSID_VideoInputDeviceCategory, name);
    EXPECT_TRUE(filter && SUCCEEDED(graph_->AddFilter(filter.Get(), name.c_str())));
    return filter;
  }
  size_t FilterCount() { return FilterNames(graph_.Get()).size(); }

  // Two TV cards: the first card's crossbar comes first in its category, only the pins' mediums
  // tell them apart.
  ScopedMachine machine_{
      "video tv Card A\n"
      "video tv Card B\n"
      "video dv Camcorder\n"};
  ComPtr<IGraphBuilder> graph_ = NewGraph();
  ComPtr<ICaptureGraphBuilder2> builder_ = NewBuilder(graph_.Get());
};

// Every link among the graph's filters, "filter.pin>filter.pin", sorted.
std::string LinksOf(IGraphBuilder* graph) {
  const auto named = [](IPin* p) {
    FILTER_INFO owner{};
    OwnerOf(p)->QueryFilterInfo(&owner);
    if (owner.pGraph) owner.pGraph->Release();
    return WideToUtf8(owner.achName) + "." + WideToUtf8(PinName(p));
  };
  std::vector<std::string> links;
  for (const std::wstring& name : FilterNames(graph)) {
    for (const ComPtr<IPin>& pin : PinsOf(Find(graph, name).Get())) {
      ComPtr<IPin> peer = Peer(pin.Get());
      PIN_DIRECTION direction = PINDIR_INPUT;
      pin->QueryDirection(&direction);
      if (peer && direction == PINDIR_OUTPUT) links.push_back(named(pin.Get()) + ">" + named(peer.Get()));
    }
  }
  std::sort(links.begin(), links.end());
  std::string all;
  for (const std::string& link : links) all += (all.empty() ? "" : " ") + link;
  return all;
}

// Test filters whose objects answer an interface nobody else has, each once: the order in which
// FindInterface finds them, on F1.out1 -> F2.in1, F2.out1 -> F3.in1 (pins out1, in1, out2, in2),
// F2.out1 of the capture category offering video. Their outputs offer one major type (video
// unless told; GUID_NULL: none), their inputs take one (GUID_NULL: any).
constexpr GUID kAsked = {
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

 private:
  // A pin that answers the asked interface once, as "node.pin".
  template <class Base>
  class Answering : public Base {
   public:
    Answering(OrderNode* f, const wchar_t* name) : Base(f, name), node_(f) {}
    DECLARE_PIN_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
      if (riid == kAsked && Answer(node_->name_ + "." + WideToUtf8(CBasePin::Name()))) {
        return GetInterface(static_cast<IPin*>(this), ppv);
      }
      return Base::NonDelegatingQueryInterface(riid, ppv);
    }

   protected:
    OrderNode* node_;
  };
  class Out : public Answering<CBaseOutputPin> {
   public:
    using Answering::Answering;
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
  };
  class In : public Answering<CBaseInputPin> {
   public:
    using Answering::Answering;
    HRESULT CheckMediaType(const CMediaType* mt) override {
      return node_->takes_ == GUID_NULL || *mt->Type() == node_->takes_ ? S_OK : S_FALSE;
    }
  };
  std::string name_;
  GUID offers_, takes_;
  std::unique_ptr<CBasePin> pins_[4];
};

TEST(CaptureBuilderOrder, FindInterfaceAsksInItsOrder) {
  struct Row {
    const char* name;
    const GUID *category, *type;
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
    ComPtr<ICaptureGraphBuilder2> builder = NewBuilder(graph.Get());
    std::vector<ComPtr<OrderNode>> f;
    for (const char* name : {"F1", "F2", "F3"}) {
      f.push_back(MakeComObject<OrderNode>(name));
      ASSERT_EQ(S_OK, graph->AddFilter(f.back().Get(), Utf8ToWide(name).c_str()));
    }
    f[1]->SetCategory(0, PIN_CATEGORY_CAPTURE);
    ASSERT_EQ(S_OK, Link(graph.Get(), f[0].Get(), 0, f[1].Get(), 1));
    ASSERT_EQ(S_OK, Link(graph.Get(), f[1].Get(), 0, f[2].Get(), 1));
    OrderNode::answered.clear();
    HRESULT hr = S_OK;
    for (int i = 0; i < 30 && hr == S_OK; ++i) {
      ComPtr<IUnknown> found;
      hr = builder->FindInterface(row.category, row.type, f[row.start - 1].Get(), kAsked,
                                  found.ReleaseAndGetVoidAddressOf());
    }
    std::string order;
    for (const std::string& who : OrderNode::answered) order += (order.empty() ? "" : " ") + who;
    EXPECT_EQ(order, row.order);
    EXPECT_EQ(hr, row.last);
  }
  // A category that is neither a pin category nor a direction; no filter.
  ComPtr<ICaptureGraphBuilder2> builder = NewBuilder();
  ComPtr<IUnknown> found;
  EXPECT_EQ(E_INVALIDARG,
            builder->FindInterface(&MEDIATYPE_Video, nullptr, MakeComObject<OrderNode>("F").Get(),
                                   IID_IPin, found.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(E_POINTER, builder->FindInterface(nullptr, nullptr, nullptr, IID_IPin,
                                              found.ReleaseAndGetVoidAddressOf()));
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
    const GUID *category, *type;
    const char* source;  // "S" or a pin of S: "S.out1"
    const char* intermediate;
    HRESULT answer;
    bool toSink = true;  // false: no sink, the stream rendered on as the graph finds fit
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
  // clang-format off
  const Row rows[] = {
      {"twice, then no free output", "STR", {},
       {{none, none, "S", nullptr, S_OK}, {none, none, "S", nullptr, S_OK}, {none, none, "S", nullptr, E_FAIL}},
       "S.out1>T.in1 S.out2>T.in2 T.out1>R.in1 T.out2>R.in2"},
      {"a sink without a free input", "STR", {"S.out1>T.in1", "T.out1>R.in1", "T.out2>R.in2"},
       {{none, none, "S", nullptr, E_FAIL}}, "S.out1>T.in1 T.out1>R.in1 T.out2>R.in2"},
      {"an intermediate nobody feeds", "SIR", {}, {{none, none, "S", "I", E_FAIL}}, ""},
      {"an intermediate the sink refuses", "SJR", {}, {{none, none, "S", "J", VFW_E_CANNOT_CONNECT}},
       "S.out1>J.in1"},
      {"an intermediate without a sink, R not a renderer", "STR", {},
       {{none, none, "S", "T", VFW_E_CANNOT_RENDER, false}}, "S.out1>T.in1"},
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
      {"a video-port pin serves as the preview: no tee", "SR", {},
       {{&PIN_CATEGORY_CAPTURE, none, "S", nullptr, S_OK}}, "S.out1>R.in1", &PIN_CATEGORY_VIDEOPORT},
      {"a preview pin, once", "SR", {},
       {{&PIN_CATEGORY_PREVIEW, none, "S", nullptr, S_OK}, {&PIN_CATEGORY_PREVIEW, none, "S", nullptr, VFW_E_ALREADY_CONNECTED}},
       "S.out2>R.in1", &PIN_CATEGORY_PREVIEW},
      {"categories and types the source lacks", "SR", {},
       {{&PIN_CATEGORY_VIDEOPORT, none, "S", nullptr, E_INVALIDARG}, {&PIN_CATEGORY_CAPTURE, &kX, "S", nullptr, E_INVALIDARG}},
       ""},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<ICaptureGraphBuilder2> builder = NewBuilder(graph.Get());
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
    node["S"]->SetCategory(0, PIN_CATEGORY_CAPTURE);
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
      EXPECT_EQ(call.answer, builder->RenderStream(
                                 call.category, call.type, from.Get(),
                                 call.intermediate ? node.at(call.intermediate).Get() : nullptr,
                                 call.toSink ? node["R"].Get() : nullptr));
    }
    EXPECT_EQ(LinksOf(graph.Get()), row.after);
  }
  EXPECT_EQ(E_POINTER, NewBuilder()->RenderStream(nullptr, nullptr, nullptr, nullptr, nullptr));
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
  ComPtr<IBaseFilter> ours = Find(graph_.Get(), L"Card B Crossbar");
  ComPtr<IBaseFilter> tuner = Find(graph_.Get(), L"Card B TV Tuner");
  ComPtr<IBaseFilter> tvAudio = Find(graph_.Get(), L"Card B TV Audio");
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

// Without a sink, interleaved DV goes through the DV Splitter and the decoder to a video renderer
// of the builder's own.
TEST_F(CaptureBuilder, InterleavedDvWithoutASinkGetsAVideoRenderer) {
  ComPtr<IBaseFilter> camcorder = Device(L"Camcorder");
  ASSERT_TRUE(SUCCEEDED(builder_->RenderStream(nullptr, &MEDIATYPE_Interleaved,
                                               PinNamed(camcorder.Get(), L"DV A/V Out").Get(),
                                               nullptr, nullptr)));
  EXPECT_EQ(LinksOf(graph_.Get()),
            "Camcorder.DV A/V Out>DV Splitter.Input DV Splitter.DVVidOut0>DV Video Decoder.XForm In "
            "DV Video Decoder.XForm Out>Video Renderer.In");
}

TEST(CaptureBuilderGraph, KeepsTheFirstGraphOrMakesItsOwnAndAddsTheWriterOfAnAviFile) {
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
  // Recordings are AVI files with a name; a refusal adds nothing to the graph.
  ComPtr<IBaseFilter> mux;
  EXPECT_EQ(E_INVALIDARG, builder->SetOutputFileName(&MEDIASUBTYPE_RGB24, L"capture.avi",
                                                     mux.GetAddressOf(), nullptr));
  EXPECT_EQ(E_INVALIDARG, builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"", mux.GetAddressOf(), nullptr));
  EXPECT_EQ(E_POINTER, builder->SetOutputFileName(&MEDIASUBTYPE_Avi, L"capture.avi", nullptr, nullptr));
  EXPECT_TRUE(FilterNames(first.Get()).empty());
  // The mux and the writer join under their names; nothing is written before a run.
  TempDir folder;
  ASSERT_EQ(S_OK, builder->SetOutputFileName(&MEDIASUBTYPE_Avi, Utf8ToWide(folder.File("capture.avi")).c_str(),
                                             mux.GetAddressOf(), nullptr));
  EXPECT_EQ(FilterNames(first.Get()), (std::vector<std::wstring>{L"File writer", L"AVI Mux"}));
  EXPECT_FALSE(std::filesystem::exists(folder.File("capture.avi")));
}

}  // namespace
}  // namespace vidorra::test
