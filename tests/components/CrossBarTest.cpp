// TCrossbar over hand-made crossbars wired in a graph: the routes found and their order, the
// connector names, the switching of a route (video and related sound, every crossbar of a
// chain) and the release of every crossbar reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "CrossBar.h"
#include "FakeDevices.h"
#include "streams.h"

namespace {

DEFINE_GUID(CLSID_TestWiredCrossbar, 0x5E1D0C03, 0x7A2B, 0x4C3D, 0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43,
            0x54, 0x67);
DEFINE_GUID(CLSID_TestAnalogEnd, 0x5E1D0C04, 0x7A2B, 0x4C3D, 0x9E, 0x4F, 0x10, 0x21, 0x32, 0x43,
            0x54, 0x68);

constexpr long kNone = -1;

// A wire between two filters of one card carries analogue video or sound.
const GUID& WireType(long connectorType) {
  return connectorType >= PhysConn_Audio_Tuner ? MEDIATYPE_AnalogAudio : MEDIATYPE_AnalogVideo;
}

class WireOutput : public components_test::TypedOutputPin {
 public:
  WireOutput(CBaseFilter* filter, std::wstring name, long type)
      : TypedOutputPin(filter, std::move(name), WireType(type)) {}
};

class WireInput : public CBaseInputPin {
 public:
  WireInput(CBaseFilter* filter, std::wstring name) : CBaseInputPin(filter, std::move(name)) {}
  HRESULT CheckMediaType(const CMediaType* mt) override {
    return mt->majortype == MEDIATYPE_AnalogVideo || mt->majortype == MEDIATYPE_AnalogAudio
               ? S_OK
               : S_FALSE;
  }
};

// One crossbar pin: its connector type and the related pin on the same side.
struct XbarPin {
  long type;
  long related;
};

using RouteJournal = std::vector<std::string>;

// A crossbar: inputs then outputs, routing video to video and sound to sound except the pairs
// it is told to refuse; every Route call goes into the journal as "name:out<-in".
class TestCrossbar : public CBaseFilter, public IAMCrossbar {
 public:
  TestCrossbar(std::string name, std::vector<XbarPin> inputs, std::vector<XbarPin> outputs,
               RouteJournal& journal)
      : CBaseFilter(L"Test crossbar", CLSID_TestWiredCrossbar),
        name_(std::move(name)),
        inputs_(std::move(inputs)),
        outputs_(std::move(outputs)),
        journal_(journal) {
    for (size_t i = 0; i < inputs_.size(); ++i) {
      pins_.push_back(std::make_unique<WireInput>(this, L"In" + std::to_wstring(i)));
    }
    for (size_t i = 0; i < outputs_.size(); ++i) {
      pins_.push_back(
          std::make_unique<WireOutput>(this, L"Out" + std::to_wstring(i), outputs_[i].type));
    }
  }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAMCrossbar) return GetInterface(static_cast<IAMCrossbar*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
  }
  int GetPinCount() override { return static_cast<int>(pins_.size()); }
  CBasePin* GetPin(int n) override {
    return n >= 0 && n < GetPinCount() ? pins_[static_cast<size_t>(n)].get() : nullptr;
  }
  IPin* Input(long i) { return pins_[static_cast<size_t>(i)].get(); }
  IPin* Output(long i) { return pins_[inputs_.size() + static_cast<size_t>(i)].get(); }
  void Refuse(long out, long in) { refused_.emplace_back(out, in); }

  STDMETHODIMP get_PinCounts(long* outputs, long* inputs) override {
    *outputs = static_cast<long>(outputs_.size());
    *inputs = static_cast<long>(inputs_.size());
    return S_OK;
  }
  STDMETHODIMP CanRoute(long out, long in) override {
    if (out < 0 || in < 0 || out >= static_cast<long>(outputs_.size()) ||
        in >= static_cast<long>(inputs_.size())) {
      return E_INVALIDARG;
    }
    if (std::find(refused_.begin(), refused_.end(), std::make_pair(out, in)) != refused_.end()) {
      return S_FALSE;
    }
    const bool audioOut = outputs_[static_cast<size_t>(out)].type >= PhysConn_Audio_Tuner;
    const bool audioIn = inputs_[static_cast<size_t>(in)].type >= PhysConn_Audio_Tuner;
    return audioOut == audioIn ? S_OK : S_FALSE;
  }
  STDMETHODIMP Route(long out, long in) override {
    journal_.push_back(name_ + ":" + std::to_string(out) + "<-" + std::to_string(in));
    return CanRoute(out, in) == S_OK ? S_OK : S_FALSE;
  }
  STDMETHODIMP get_IsRoutedTo(long, long*) override { return E_NOTIMPL; }
  STDMETHODIMP get_CrossbarPinInfo(BOOL isInput, long index, long* related, long* type) override {
    const std::vector<XbarPin>& side = isInput ? inputs_ : outputs_;
    if (index < 0 || index >= static_cast<long>(side.size())) return E_INVALIDARG;
    *related = side[static_cast<size_t>(index)].related;
    *type = side[static_cast<size_t>(index)].type;
    return S_OK;
  }

 private:
  std::string name_;
  std::vector<XbarPin> inputs_;
  std::vector<XbarPin> outputs_;
  RouteJournal& journal_;
  std::vector<std::unique_ptr<CBasePin>> pins_;
  std::vector<std::pair<long, long>> refused_;
};

// The capture filter's side: one analogue video input (the start pin) and, for the case of
// a start pin fed by something else, one output.
class AnalogEnd : public CBaseFilter {
 public:
  AnalogEnd()
      : CBaseFilter(L"Analog end", CLSID_TestAnalogEnd),
        input_(this, L"Analog Video In"),
        output_(this, L"Video Out", PhysConn_Video_Composite) {}
  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int n) override {
    if (n == 0) return &input_;
    return n == 1 ? &output_ : nullptr;
  }
  IPin* Input() { return &input_; }
  IPin* Output() { return &output_; }

 private:
  WireInput input_;
  WireOutput output_;
};

class CrossbarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(graph_.GetAddressOf())),
              S_OK);
    Add(capture_.Get());
  }
  ComPtr<TestCrossbar> MakeCrossbar(std::string name, std::vector<XbarPin> inputs,
                                    std::vector<XbarPin> outputs) {
    ComPtr<TestCrossbar> xbar = MakeComObject<TestCrossbar>(std::move(name), std::move(inputs),
                                                            std::move(outputs), journal_);
    Add(xbar.Get());
    return xbar;
  }
  void Add(IBaseFilter* filter) {
    ASSERT_TRUE(SUCCEEDED(graph_->AddFilter(filter, nullptr)));  // a second name is made unique
  }
  void Wire(IPin* out, IPin* in) { ASSERT_EQ(graph_->ConnectDirect(out, in, nullptr), S_OK); }
  // Names of the connectors of every route, in input-number order.
  static std::vector<std::string> InputNames(const TCrossbar& crossbar) {
    int32_t count = 0;
    EXPECT_EQ(crossbar.InputCount(count), S_OK);
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i) {
      QString name;
      EXPECT_EQ(crossbar.InputConnectorName(i, name), S_OK);
      names.push_back(name.toStdString());
    }
    return names;
  }
  static ULONG References(IBaseFilter* filter) {
    filter->AddRef();
    return filter->Release();
  }

  ComPtr<IGraphBuilder> graph_;
  ComPtr<AnalogEnd> capture_ = MakeComObject<AnalogEnd>();
  RouteJournal journal_;
};

// A card's crossbar: tuner, composite and S-Video pictures, tuner and line sound; the video
// output's sound partner is output 1.
const std::vector<XbarPin> kCardInputs = {{PhysConn_Video_Tuner, 3},
                                          {PhysConn_Video_Composite, 4},
                                          {PhysConn_Video_SVideo, kNone},
                                          {PhysConn_Audio_Tuner, 0},
                                          {PhysConn_Audio_Line, 1}};
const std::vector<XbarPin> kCardOutputs = {{PhysConn_Video_VideoDecoder, 1},
                                           {PhysConn_Audio_AudioDecoder, 0}};

TEST_F(CrossbarTest, NoRouteWithoutACrossbarInFront) {
  int32_t count = -1;
  EXPECT_EQ(TCrossbar(nullptr).InputCount(count), S_OK);
  EXPECT_EQ(count, 0) << "no start pin";
  EXPECT_EQ(TCrossbar(capture_->Input()).InputCount(count), S_OK);
  EXPECT_EQ(count, 0) << "start pin not connected";
  ComPtr<AnalogEnd> other = MakeComObject<AnalogEnd>();
  Add(other.Get());
  Wire(other->Output(), capture_->Input());
  TCrossbar crossbar(capture_->Input());
  EXPECT_EQ(crossbar.InputCount(count), S_OK);
  EXPECT_EQ(count, 0) << "fed by a filter that is not a crossbar";
  EXPECT_EQ(crossbar.SelectInput(0), E_FAIL);
}

TEST_F(CrossbarTest, AnInputThatCannotBeRoutedIsNotListed) {
  ComPtr<TestCrossbar> xbar = MakeCrossbar("X", kCardInputs, kCardOutputs);
  xbar->Refuse(0, 1);
  Wire(xbar->Output(0), capture_->Input());
  EXPECT_EQ(InputNames(TCrossbar(capture_->Input())),
            (std::vector<std::string>{"Video Tuner", "Video SVideo"}));
}

TEST_F(CrossbarTest, SelectInputSwitchesTheSoundWhenBothSidesHaveIt) {
  ComPtr<TestCrossbar> xbar = MakeCrossbar("X", kCardInputs, kCardOutputs);
  Wire(xbar->Output(0), capture_->Input());
  TCrossbar crossbar(capture_->Input());
  const struct {
    int32_t input;
    HRESULT result;
    RouteJournal routed;
  } kCases[] = {
      {0, S_OK, {"X:0<-0", "X:1<-3"}},  // tuner picture and tuner sound
      {1, S_OK, {"X:0<-1", "X:1<-4"}},  // composite and line sound
      {2, S_OK, {"X:0<-2"}},            // S-Video has no sound partner: picture only
      {3, E_FAIL, {}},                  // one past the last input: nothing switched
      {-1, E_FAIL, {}},
  };
  for (const auto& c : kCases) {
    journal_.clear();
    EXPECT_EQ(crossbar.SelectInput(c.input), c.result) << c.input;
    EXPECT_EQ(journal_, c.routed) << c.input;
  }
  int32_t type = 0;
  EXPECT_EQ(crossbar.InputConnectorType(2, type), S_OK);
  EXPECT_EQ(type, PhysConn_Video_SVideo);
  type = 77;
  QString name = QStringLiteral("kept");
  EXPECT_EQ(crossbar.InputConnectorType(3, type), E_FAIL);
  EXPECT_EQ(crossbar.InputConnectorName(3, name), E_FAIL);
  EXPECT_EQ(type, 77);
  EXPECT_EQ(name, QStringLiteral("kept"));
}

// The routes hold references on both crossbars and give every one of them back when destroyed.
TEST_F(CrossbarTest, TwoChainedCrossbarsAreSwitchedTogetherUpstreamFirst) {
  // Down feeds the capture filter; its input 1 comes from Up, whose own inputs are connectors.
  ComPtr<TestCrossbar> down =
      MakeCrossbar("Down", {{PhysConn_Video_Composite, kNone}, {PhysConn_Video_AUX, kNone}},
                   {{PhysConn_Video_VideoDecoder, kNone}});
  ComPtr<TestCrossbar> up = MakeCrossbar(
      "Up", {{PhysConn_Video_Tuner, 2}, {PhysConn_Video_SVideo, kNone}, {PhysConn_Audio_Tuner, 0}},
      {{PhysConn_Video_AUX, 1}, {PhysConn_Audio_AUX, 0}});
  Wire(down->Output(0), capture_->Input());
  Wire(up->Output(0), down->Input(1));
  const ULONG downBefore = References(down.Get());
  const ULONG upBefore = References(up.Get());
  auto crossbar = std::make_unique<TCrossbar>(capture_->Input());
  EXPECT_GT(References(down.Get()), downBefore);
  EXPECT_GT(References(up.Get()), upBefore);
  EXPECT_EQ(InputNames(*crossbar),
            (std::vector<std::string>{"Video Composite", "Video Tuner", "Video SVideo"}));
  // Through Down's input fed by Up (each route's length: CrossbarDevicesTest).
  EXPECT_EQ(crossbar->SelectInput(1), S_OK);
  EXPECT_EQ(journal_, (RouteJournal{"Up:0<-0", "Up:1<-2", "Down:0<-1"}));
  crossbar.reset();
  EXPECT_EQ(References(down.Get()), downBefore);
  EXPECT_EQ(References(up.Get()), upBefore);
}

TEST_F(CrossbarTest, AWiringLoopEndsTheSearch) {
  // A feeds the capture filter and B; B feeds A back.
  ComPtr<TestCrossbar> a =
      MakeCrossbar("A", {{PhysConn_Video_Composite, kNone}, {PhysConn_Video_AUX, kNone}},
                   {{PhysConn_Video_VideoDecoder, kNone}, {PhysConn_Video_AUX, kNone}});
  ComPtr<TestCrossbar> b =
      MakeCrossbar("B", {{PhysConn_Video_AUX, kNone}}, {{PhysConn_Video_AUX, kNone}});
  Wire(a->Output(0), capture_->Input());
  Wire(a->Output(1), b->Input(0));
  // The graph refuses to close a circle: the pins are joined behind its back, as a driver's
  // own wiring could be.
  ASSERT_EQ(graph_->ConnectDirect(b->Output(0), a->Input(1), nullptr), VFW_E_CIRCULAR_GRAPH);
  ASSERT_EQ(b->Output(0)->Connect(a->Input(1), nullptr), S_OK);
  EXPECT_EQ(InputNames(TCrossbar(capture_->Input())),
            (std::vector<std::string>{"Video Composite"}));
}

TEST(CrossbarNames, ConnectorTypesByTheTable) {
  const struct {
    int32_t type;
    const char* name;
  } kCases[] = {
      {1, "Video Tuner"},  {3, "Video SVideo"},   {12, "Video Decoder"}, {13, "Video Encoder"},
      {14, "Video Scart"}, {4096, "Audio Tuner"}, {4097, "Audio Line"},  {4105, "Audio Decoder"},
      {0, "Unknown"},      {15, "Unknown"},       {4106, "Unknown"},     {-1, "Unknown"},
  };
  for (const auto& c : kCases) {
    QString name;
    EXPECT_EQ(TCrossbar::ConnectorName(c.type, name), S_OK);
    EXPECT_EQ(name.toStdString(), c.name) << c.type;
  }
}

}  // namespace
