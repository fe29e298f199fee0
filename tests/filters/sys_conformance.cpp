// The checklist every system filter passes: its class, pins that lead back to it and answer
// as unconnected, state changes while unconnected, and no reference left behind.
#include <qedit.h>

#include "dv_test_support.h"
#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

struct SystemFilter {
  const CLSID* clsid;
  const char* name;
  size_t pins;  // when unconnected
};

constexpr SystemFilter kSystemFilters[] = {
    {&CLSID_SmartTee, "Smart Tee", 3},
    {&CLSID_InfTee, "Infinite Pin Tee Filter", 2},
    {&CLSID_NullRenderer, "Null Renderer", 1},
    {&CLSID_SampleGrabber, "SampleGrabber", 2},
    {&CLSID_Colour, "Color Space Converter", 2},
    {&CLSID_VideoRenderer, "Video Renderer", 1},
    {&CLSID_DSoundRender, "Default DirectSound Device", 1},
    // DV: the splitter's sound outputs appear when its input connects.
    {&CLSID_DVSplitter, "DV Splitter", 2},
    {&CLSID_DVVideoCodec, "DV Video Decoder", 2},
    {&CLSID_DVVideoEnc, "DV Video Encoder", 2},
};

TEST(SysConformance, EverySystemFilterPassesTheChecklist) {
  for (const SystemFilter& entry : kSystemFilters) {
    SCOPED_TRACE(entry.name);
    ComPtr<IBaseFilter> filter = NewSystemFilter(*entry.clsid);
    ASSERT_TRUE(filter);
    CLSID clsid{};
    ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_EQ(clsid, *entry.clsid);

    {
      auto pins = PinsOf(filter.Get());
      ASSERT_EQ(pins.size(), entry.pins);
      EXPECT_EQ(PinDirection(pins[0].Get()), PINDIR_INPUT) << "the input comes first";
      for (auto& pin : pins) {
        PIN_INFO info{};
        ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
        EXPECT_TRUE(IsSameObject(info.pFilter, filter.Get()));
        info.pFilter->Release();
        LPWSTR id = nullptr;
        ASSERT_EQ(S_OK, pin->QueryId(&id));
        ComPtr<IPin> found;
        EXPECT_EQ(S_OK, filter->FindPin(id, found.GetAddressOf())) << "found by its id";
        CoTaskMemFree(id);
        EXPECT_TRUE(IsSameObject(found.Get(), pin.Get()));
        ComPtr<IPin> peer;
        EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(peer.GetAddressOf()));
        EXPECT_FALSE(peer);
        AM_MEDIA_TYPE mt{};
        EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectionMediaType(&mt));
      }
    }

    // Unconnected, it still goes through its states.
    EXPECT_TRUE(SUCCEEDED(filter->Pause()));
    EXPECT_TRUE(SUCCEEDED(filter->Run(0)));
    EXPECT_TRUE(SUCCEEDED(filter->Stop()));
    FILTER_STATE state = State_Running;
    EXPECT_EQ(S_OK, filter->GetState(0, &state));
    EXPECT_EQ(state, State_Stopped);

    // Only our reference is left.
    auto* object = dynamic_cast<CUnknown*>(filter.Get());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->RefCountForTesting(), 1u);
  }
}

// Connected: DV File Source -> DV Splitter (picture -> DV Video Decoder -> DV Video Encoder,
// sound -> Null Renderer) -> Null Renderer. The pins the splitter grew, both ends of every link
// agreeing on it and its type, a run to the end, and once taken apart no reference left.
TEST(SysConformance, DvFiltersConnectedPassTheChecklist) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  TempDir dir;
  const std::string path = dir.File("in.dv");
  WriteDvFile(path, maker, 5);
  ComPtr<IGraphBuilder> graph = UnclockedGraph();
  ComPtr<IBaseFilter> source = LoadedSource(path);
  ComPtr<IBaseFilter> dv[] = {NewSystemFilter(CLSID_DVSplitter), NewSystemFilter(CLSID_DVVideoCodec),
                              NewSystemFilter(CLSID_DVVideoEnc)};
  ComPtr<IBaseFilter> pictureSink = NewSystemFilter(CLSID_NullRenderer);
  ComPtr<IBaseFilter> soundSink = NewSystemFilter(CLSID_NullRenderer);
  AddFilters(graph.Get(), {{source.Get(), L"Source"},
                           {dv[0].Get(), L"DV Splitter"},
                           {dv[1].Get(), L"DV Video Decoder"},
                           {dv[2].Get(), L"DV Video Encoder"},
                           {pictureSink.Get(), L"Picture"},
                           {soundSink.Get(), L"Sound"}});
  ASSERT_EQ(S_OK, Link(graph.Get(), source.Get(), 0, dv[0].Get(), 0));
  ASSERT_EQ(PinsOf(dv[0].Get()).size(), 3u) << "input, picture, one stereo pair";
  ASSERT_EQ(S_OK, Link(graph.Get(), dv[0].Get(), 1, dv[1].Get(), 0));
  ASSERT_EQ(S_OK, Link(graph.Get(), dv[0].Get(), 2, soundSink.Get(), 0));
  ASSERT_EQ(S_OK, Link(graph.Get(), dv[1].Get(), 1, dv[2].Get(), 0));
  ASSERT_EQ(S_OK, Link(graph.Get(), dv[2].Get(), 1, pictureSink.Get(), 0));
  for (const auto& filter : dv) {
    for (const auto& pin : PinsOf(filter.Get())) {
      SCOPED_TRACE(testing::Message() << "pin " << WideToUtf8(PinName(pin.Get())));
      ComPtr<IPin> peer, back;
      ASSERT_EQ(S_OK, pin->ConnectedTo(peer.GetAddressOf()));
      ASSERT_EQ(S_OK, peer->ConnectedTo(back.GetAddressOf()));
      EXPECT_TRUE(IsSameObject(back.Get(), pin.Get()));
      AM_MEDIA_TYPE mine{}, theirs{};
      ASSERT_EQ(S_OK, pin->ConnectionMediaType(&mine));
      ASSERT_EQ(S_OK, peer->ConnectionMediaType(&theirs));
      EXPECT_EQ(CMediaType(mine), CMediaType(theirs));
      EXPECT_EQ(S_OK, pin->QueryAccept(&mine));
      FreeMediaType(mine);
      FreeMediaType(theirs);
    }
  }
  ASSERT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
  EXPECT_TRUE(WaitForComplete(graph.Get()));
  ASSERT_EQ(S_OK, StopGraph(graph.Get()));

  for (IBaseFilter* filter : {source.Get(), dv[0].Get(), dv[1].Get(), dv[2].Get(),
                              pictureSink.Get(), soundSink.Get()}) {
    ASSERT_EQ(S_OK, graph->RemoveFilter(filter));
  }
  for (const auto& filter : dv) {
    for (const auto& pin : PinsOf(filter.Get())) {
      ComPtr<IPin> peer;
      EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(peer.GetAddressOf()));
    }
    auto* object = dynamic_cast<CUnknown*>(filter.Get());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->RefCountForTesting(), 1u);
  }
}

}  // namespace
}  // namespace vidorra::test
