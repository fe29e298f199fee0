// The checklist every system filter passes: its class and registration, pins that lead back to
// it and answer as unconnected, state changes while unconnected, no reference left behind; a
// filter whose pins change at run time or that needs others to run is also checked connected as
// it is used (both ends of each link agreeing), run, and taken out again.
#include <Deinterlacer.h>
#include <FilterRegistry.h>
#include <TestPushSource.h>
#include <qedit.h>
#include <vidorra_filters.h>

#include "avi_test_support.h"
#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

// What a filter needs around it: done on the unconnected filter before its states are gone
// through, and the graph it is used in, built around it.
using Prepare = std::function<void(IBaseFilter* filter, const TempDir& dir)>;
using Connect = std::function<void(IGraphBuilder* graph, IBaseFilter* filter, const TempDir& dir)>;

struct SystemFilter {
  const CLSID* clsid;
  const char* name;  // registered under
  size_t pins;       // when unconnected
  const CLSID* category = &CLSID_LegacyAmFilterCategory;
  PIN_DIRECTION firstPin = PINDIR_INPUT;
  Prepare prepare = {};
  Connect connect = {};
  size_t pinsConnected = 0;
  size_t pinsFree = 0;  // of them, left unconnected
};

ComPtr<IBaseFilter> Frames() {
  return MakeComObject<TestPushSource>(TestPushSourceConfig{.frameCount = 3});
}
ComPtr<IBaseFilter> Null() { return CreateFilter(CLSID_NullRenderer); }
void NameFile(IBaseFilter* writer, const std::string& path) {
  ASSERT_EQ(QueryAs<IFileSinkFilter>(writer)->SetFileName(Utf8ToWide(path).c_str(), nullptr), S_OK);
}
void LoadDv(IBaseFilter* source, const TempDir& dir) {
  const std::wstring path = Utf8ToWide(SmallDvFile(dir, 3));
  ASSERT_EQ(QueryAs<IFileSourceFilter>(source)->Load(path.c_str(), nullptr), S_OK);
}
void DvToNull(IGraphBuilder* graph, IBaseFilter* source, const TempDir&) {
  ASSERT_EQ(S_OK, Chain(graph, {source, Null().Get()}));
}
void FramesToMuxToFile(IGraphBuilder* graph, IBaseFilter* mux, const TempDir& dir) {
  ComPtr<IBaseFilter> writer = CreateFilter(CLSID_FileWriter);
  NameFile(writer.Get(), dir.File("conformance.avi"));
  ASSERT_EQ(S_OK, Chain(graph, {Frames().Get(), mux, writer.Get()}));
}
void NameUnconnected(IBaseFilter* writer, const TempDir& dir) {
  NameFile(writer, dir.File("unconnected.bin"));
}
// A named file takes a byte stream only.
void FramesToFile(IGraphBuilder* graph, IBaseFilter* writer, const TempDir& dir) {
  ASSERT_EQ(S_OK, Chain(graph, {Frames().Get(), CreateFilter(CLSID_AviDest).Get(), writer}));
  NameFile(writer, dir.File("connected.avi"));
}
// DV: the splitter's sound outputs appear when its input connects.
void DvToSplitterToNulls(IGraphBuilder* graph, IBaseFilter* splitter, const TempDir& dir) {
  ASSERT_EQ(S_OK,
            Chain(graph, {LoadedDvSource(SmallDvFile(dir, 3)).Get(), splitter, Null().Get()}));
  ASSERT_EQ(S_OK, Chain(graph, {splitter, Null().Get()}));
}

const CLSID* const kLegacy = &CLSID_LegacyAmFilterCategory;
const SystemFilter kSystemFilters[] = {
    {&CLSID_SmartTee, "Smart Tee", 3},
    {&CLSID_InfTee, "Infinite Pin Tee Filter", 2},
    {&CLSID_NullRenderer, "Null Renderer", 1},
    {&CLSID_SampleGrabber, "SampleGrabber", 2},
    {&CLSID_Colour, "Color Space Converter", 2},
    {&CLSID_VideoDeinterlacer, "Pinnacle Video Deinterlacer", 2},
    {&CLSID_VideoRenderer, "Video Renderer", 1},
    {&CLSID_DSoundRender, "Default DirectSound Device", 1, &CLSID_AudioRendererCategory},
    {&CLSID_DvFileSource, "DV File Source", 1, kLegacy, PINDIR_OUTPUT, LoadDv, DvToNull, 1},
    {&CLSID_AviDest, "AVI Mux", 2, kLegacy, PINDIR_OUTPUT, {}, FramesToMuxToFile, 3, 1},
    {&CLSID_FileWriter, "File writer", 1, kLegacy, PINDIR_INPUT, NameUnconnected, FramesToFile, 1},
    {&CLSID_DVSplitter, "DV Splitter", 2, kLegacy, PINDIR_INPUT, {}, DvToSplitterToNulls, 3},
    {&CLSID_DVVideoCodec, "DV Video Decoder", 2},
    {&CLSID_DVVideoEnc, "DV Video Encoder", 2, &CLSID_VideoCompressorCategory},
};

// Counts the connected pins in *linked.
void ExpectPinsLeadBack(IBaseFilter* filter, bool connected, size_t* linked = nullptr) {
  for (auto& pin : PinsOf(filter)) {
    PIN_INFO info{};
    ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
    EXPECT_TRUE(IsSameObject(info.pFilter, filter));
    info.pFilter->Release();
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, pin->QueryId(&id));
    ComPtr<IPin> found;
    EXPECT_EQ(S_OK, filter->FindPin(id, found.GetAddressOf())) << "found by its id";
    CoTaskMemFree(id);
    EXPECT_TRUE(IsSameObject(found.Get(), pin.Get()));
    ComPtr<IPin> peer;
    AM_MEDIA_TYPE mine{};
    if (pin->ConnectedTo(peer.GetAddressOf()) == VFW_E_NOT_CONNECTED) {
      EXPECT_FALSE(peer);
      EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectionMediaType(&mine));
      continue;
    }
    // Connected: both ends name each other and agree on a type the pin accepts.
    SCOPED_TRACE(testing::Message() << "pin " << WideToUtf8(PinName(pin.Get())));
    EXPECT_TRUE(connected) << "connected before its graph was built";
    if (linked) ++*linked;
    ComPtr<IPin> back;
    ASSERT_TRUE(peer);
    ASSERT_EQ(S_OK, peer->ConnectedTo(back.GetAddressOf()));
    EXPECT_TRUE(IsSameObject(back.Get(), pin.Get()));
    AM_MEDIA_TYPE theirs{};
    ASSERT_EQ(S_OK, pin->ConnectionMediaType(&mine));
    ASSERT_EQ(S_OK, peer->ConnectionMediaType(&theirs));
    EXPECT_EQ(CMediaType(mine), CMediaType(theirs));
    EXPECT_EQ(S_OK, pin->QueryAccept(&mine));
    FreeMediaType(mine);
    FreeMediaType(theirs);
  }
}

TEST(SysConformance, EverySystemFilterPassesTheChecklist) {
  for (const SystemFilter& entry : kSystemFilters) {
    SCOPED_TRACE(entry.name);
    TempDir dir;
    ComPtr<IBaseFilter> filter = CreateFilter(*entry.clsid);
    ASSERT_TRUE(filter);
    CLSID clsid{};
    ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
    const auto record = FilterRegistry::Instance().Find(*entry.clsid);
    ASSERT_TRUE(record);
    EXPECT_EQ(std::tuple(clsid, WideToUtf8(record->friendlyName), record->category),
              std::tuple(*entry.clsid, std::string(entry.name), *entry.category));

    ASSERT_EQ(PinsOf(filter.Get()).size(), entry.pins);
    EXPECT_EQ(PinsOf(filter.Get())[0], FreePin(filter.Get(), entry.firstPin)) << "the first pin";
    ExpectPinsLeadBack(filter.Get(), false);

    // Unconnected, it still goes through its states.
    if (entry.prepare) entry.prepare(filter.Get(), dir);
    EXPECT_TRUE(SUCCEEDED(filter->Pause()));
    EXPECT_TRUE(SUCCEEDED(filter->Run(0)));
    EXPECT_TRUE(SUCCEEDED(filter->Stop()));
    const auto stopped = [&] {
      FILTER_STATE state = State_Running;
      return filter->GetState(0, &state) == S_OK && state == State_Stopped;
    };
    EXPECT_TRUE(stopped());

    // Connected as it is used, its pins are what it says, it runs, and its graph lets it go.
    if (entry.connect) {
      ComPtr<IGraphBuilder> graph = NewGraph(false);
      ASSERT_EQ(graph->AddFilter(filter.Get(), L"Tested"), S_OK);
      entry.connect(graph.Get(), filter.Get(), dir);
      EXPECT_EQ(PinsOf(filter.Get()).size(), entry.pinsConnected);
      size_t linked = 0;
      ExpectPinsLeadBack(filter.Get(), true, &linked);
      EXPECT_EQ(linked, entry.pinsConnected - entry.pinsFree);
      EXPECT_TRUE(RunToCompletion(graph.Get(), 20'000));
      EXPECT_TRUE(stopped());
      ASSERT_EQ(S_OK, graph->RemoveFilter(filter.Get()));
      for (const auto& pin : PinsOf(filter.Get())) {
        ComPtr<IPin> peer;
        EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(peer.GetAddressOf())) << "once removed";
      }
    }

    // Only our reference is left.
    auto* object = dynamic_cast<CUnknown*>(filter.Get());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->RefCountForTesting(), 1u);
  }
}

}  // namespace
}  // namespace vidorra::test
