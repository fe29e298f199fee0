// Graph building: names, enumeration, direct and intelligent connection, loops, rendering,
// reconnection, the release of a running graph, the filter registry, the video window and
// volume of the graph.
#include "TestConverter.h"
#include "RecordingSink.h"
#include "TestPassThrough.h"
#include "TestPushSource.h"
#include "FilterPins.h"
#include <gtest/gtest.h>

namespace vidorra::test {
namespace {

// A name is cut to 127 characters, a taken one to 122 and a numbered suffix; no name at all
// gets the first free number; the newest filter is listed first, a removed one is gone.
TEST(GraphBuild, DuplicateAndMissingNamesAreNumbered) {
  auto graph = NewGraph();
  std::vector<ComPtr<TestPassThrough>> f;
  for (int i = 0; i < 6; ++i) f.push_back(MakeComObject<TestPassThrough>());
  const std::wstring tee(130, L'T'), cut = tee.substr(0, 122) + L' ';
  EXPECT_EQ(S_OK, graph->AddFilter(f[0].Get(), tee.c_str()));
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(f[1].Get(), tee.c_str()));
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(f[2].Get(), tee.c_str()));
  EXPECT_TRUE(FAILED(graph->AddFilter(f[0].Get(), L"Other"))) << "the same filter twice";
  ComPtr<IBaseFilter> found;
  ASSERT_EQ(S_OK, graph->FindFilterByName((cut + L"0001").c_str(), found.GetAddressOf()));
  EXPECT_TRUE(IsSameObject(found.Get(), static_cast<IBaseFilter*>(f[1].Get())));
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(tee.c_str(), found.ReleaseAndGetAddressOf()));
  EXPECT_EQ(S_OK, graph->AddFilter(f[3].Get(), nullptr));
  EXPECT_EQ(S_OK, graph->AddFilter(f[4].Get(), L""));
  FILTER_INFO info{};
  ASSERT_EQ(S_OK, f[4]->QueryFilterInfo(&info));
  ASSERT_TRUE(info.pGraph);
  EXPECT_TRUE(IsSameObject(info.pGraph, graph.Get()));
  info.pGraph->Release();
  ASSERT_EQ(S_OK, graph->RemoveFilter(f[3].Get()));
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->RemoveFilter(f[3].Get()));
  ASSERT_EQ(S_OK, f[3]->QueryFilterInfo(&info));
  EXPECT_EQ(nullptr, info.pGraph);
  EXPECT_EQ(S_OK, graph->AddFilter(f[5].Get(), nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"0001", L"0002", cut + L"0002", cut + L"0001",
                                       tee.substr(0, 127)}),
            FilterNames(graph.Get()));
  // A change of the graph puts every enumerator out of step until it is reset.
  ComPtr<IEnumFilters> enumerator, clone;
  ASSERT_EQ(S_OK, graph->EnumFilters(enumerator.GetAddressOf()));
  ComPtr<IBaseFilter> next;
  ASSERT_EQ(S_OK, enumerator->Next(1, next.GetAddressOf(), nullptr));
  ASSERT_EQ(S_OK, enumerator->Clone(clone.GetAddressOf()));
  ASSERT_EQ(S_OK, graph->AddFilter(f[3].Get(), L"E"));
  for (IEnumFilters* stale : {enumerator.Get(), clone.Get()}) {
    ULONG fetched = 7;
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, stale->Next(1, next.ReleaseAndGetAddressOf(), &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, stale->Skip(1));
  }
  ASSERT_EQ(S_OK, enumerator->Reset());
  ASSERT_EQ(S_OK, enumerator->Next(1, next.ReleaseAndGetAddressOf(), nullptr));
  EXPECT_TRUE(IsSameObject(next.Get(), static_cast<IBaseFilter*>(f[3].Get())));
  EXPECT_EQ(S_OK, enumerator->Skip(5));
  EXPECT_EQ(S_FALSE, enumerator->Next(1, next.ReleaseAndGetAddressOf(), nullptr));
}

// ConnectDirect takes the source's type or the one given; it refuses wrong directions, types (no
// type both take, rather than the last one refused) and filters outside the graph; a connection
// is undone and redone by Disconnect and Reconnect. A receiver whose allocator cannot be had
// leaves the source to bring its own.
TEST(GraphBuild, ConnectDirectDisconnectAndReconnect) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto sink = MakeComObject<RecordingSink>();
  auto sinkOfB = MakeComObject<RecordingSink>(MEDIASUBTYPE_TestB);
  auto stranger = MakeComObject<RecordingSink>();
  AddFilters(graph.Get(),
             {{source.Get(), L"Source"}, {sink.Get(), L"Sink"}, {sinkOfB.Get(), L"Sink of B"}});
  IPin* out = source->OutputPin();
  EXPECT_EQ(VFW_E_INVALID_DIRECTION, graph->ConnectDirect(sink->Input(), out, nullptr));
  EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, graph->ConnectDirect(out, sinkOfB->Input(), nullptr));
  EXPECT_EQ(VFW_E_NOT_IN_GRAPH, graph->ConnectDirect(out, stranger->Input(), nullptr));
  CMediaType other = MakeTestVideoType(MEDIASUBTYPE_TestB);
  EXPECT_TRUE(FAILED(graph->ConnectDirect(out, sink->Input(), &other)))
      << "a type the source does not offer";
  EXPECT_FALSE(Peer(out));
  // The sink's own allocator is in use elsewhere: the source brings one of its own.
  ComPtr<IMemAllocator> busy;
  ASSERT_EQ(S_OK, QueryAs<IMemInputPin>(sink->Input())->GetAllocator(busy.GetAddressOf()));
  ALLOCATOR_PROPERTIES props{1, 8, 1, 0}, actual{};
  ASSERT_TRUE(SUCCEEDED(busy->SetProperties(&props, &actual)) && SUCCEEDED(busy->Commit()));
  ASSERT_EQ(S_OK, graph->ConnectDirect(out, sink->Input(), nullptr));
  EXPECT_TRUE(source->Stream(0)->Allocator() && source->Stream(0)->Allocator() != busy.Get());
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->ConnectDirect(out, sink->Input(), nullptr));
  CMediaType mt;
  ASSERT_EQ(S_OK, sink->Input()->ConnectionMediaType(&mt));
  EXPECT_TRUE(mt == source->Config().mediaType);
  EXPECT_EQ(Peer(sink->Input()).Get(), out);
  ASSERT_EQ(S_OK, graph->Reconnect(sink->Input()));
  EXPECT_EQ(Peer(sink->Input()).Get(), out);
  EXPECT_EQ(S_OK, graph->Disconnect(out));
  EXPECT_EQ(S_OK, graph->Disconnect(sink->Input()));
  EXPECT_EQ(S_FALSE, graph->Disconnect(sink->Input()));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, graph->Reconnect(sink->Input()));
}

// Intelligent connect and Render use a filter the application put in the graph (with free
// pins) before any registered one, else insert the registered converter (and, for Render, the
// registered renderer); where nothing fits they fail and the filters tried are gone again.
// RenderEx to the renderers already there connects to one of them the same way.
TEST(GraphBuild, IntelligentConnectAndRenderTryTheGraphFirstThenTheRegistry) {
  const GUID kNone = GUID_NULL;
  enum Build { kConnect, kRender, kRenderToExisting };
  const struct {
    const char* name;
    GUID sinkTakes, preparedGives;  // kNone: no sink, no converter in the graph
    Build build;
    HRESULT expected;
    const wchar_t* names;  // the graph's filters afterwards, newest first
  } cases[] = {
      {"the registered converter", MEDIASUBTYPE_TestB, kNone, kConnect, S_OK,
       L"Test Converter|Sink|Source"},
      {"nothing fits", MEDIASUBTYPE_TestC, kNone, kConnect, VFW_E_CANNOT_CONNECT, L"Sink|Source"},
      {"the graph's converter, none registered would do", MEDIASUBTYPE_TestC, MEDIASUBTYPE_TestC,
       kConnect, S_OK, L"Sink|Prepared|Source"},
      {"the graph's converter, a registered one would do", MEDIASUBTYPE_TestB, MEDIASUBTYPE_TestB,
       kConnect, S_OK, L"Sink|Prepared|Source"},
      {"Render through the graph's converter", MEDIASUBTYPE_TestC, MEDIASUBTYPE_TestC, kRender,
       S_OK, L"Sink|Prepared|Source"},
      {"Render through the registered ones", kNone, kNone, kRender, S_OK,
       L"Test Converter|Test Counting Sink|Source"},
      {"RenderEx to the graph's renderer", MEDIASUBTYPE_TestC, MEDIASUBTYPE_TestC,
       kRenderToExisting, S_OK, L"Sink|Prepared|Source"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto graph = QueryAs<IFilterGraph2>(NewGraph().Get());
    auto source = MakeComObject<TestPushSource>();
    auto prepared = MakeComObject<TestConverter>(MEDIASUBTYPE_TestA, c.preparedGives);
    auto sink = MakeComObject<RecordingSink>(c.sinkTakes);
    graph->AddFilter(source.Get(), L"Source");
    if (c.preparedGives != kNone) graph->AddFilter(prepared.Get(), L"Prepared");
    if (c.sinkTakes != kNone) graph->AddFilter(sink.Get(), L"Sink");
    IPin* out = source->OutputPin();
    const DWORD flags = c.build == kRenderToExisting ? AM_RENDEREX_RENDERTOEXISTINGRENDERERS : 0;
    EXPECT_EQ(c.expected, c.build == kConnect ? graph->Connect(out, sink->Input())
                                              : graph->RenderEx(out, flags, nullptr));
    std::wstring names;
    for (const std::wstring& name : FilterNames(graph.Get()))
      names += (names.empty() ? L"" : L"|") + name;
    EXPECT_EQ(c.names, names);
    EXPECT_EQ(SUCCEEDED(c.expected), Peer(source->OutputPin()) != nullptr);
    if (c.preparedGives != kNone) {
      EXPECT_TRUE(Connected(source->OutputPin(), PinAt(prepared.Get(), 0).Get()));
      EXPECT_TRUE(Connected(PinAt(prepared.Get(), 1).Get(), sink->Input()));
    }
    if (c.build != kConnect) {
      EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->Render(out));
    }
  }
}

// A connection that would send a filter's output back into itself is refused, directly or
// through filters between; intelligent connect does not build one either.
TEST(GraphBuild, AConnectionClosingALoopIsRefused) {
  auto graph = NewGraph();
  std::vector<ComPtr<TestPassThrough>> chain;
  for (const wchar_t* name : {L"First", L"Second", L"Third", L"Spare"}) {
    chain.push_back(MakeComObject<TestPassThrough>());
    graph->AddFilter(chain.back().Get(), name);
  }
  auto in = [&](int i) { return PinAt(chain[i].Get(), 0); };
  auto out = [&](int i) { return PinAt(chain[i].Get(), 1); };
  EXPECT_EQ(VFW_E_CIRCULAR_GRAPH, graph->ConnectDirect(out(0).Get(), in(0).Get(), nullptr))
      << "a filter into itself";
  // A source gives the pass-throughs a type; then First -> Second -> Third, and First's input
  // is freed again.
  auto source = MakeComObject<TestPushSource>();
  graph->AddFilter(source.Get(), L"Source");
  ASSERT_EQ(S_OK, graph->ConnectDirect(source->OutputPin(), in(0).Get(), nullptr));
  ASSERT_EQ(S_OK, graph->ConnectDirect(out(0).Get(), in(1).Get(), nullptr));
  ASSERT_EQ(S_OK, graph->ConnectDirect(out(1).Get(), in(2).Get(), nullptr));
  ASSERT_EQ(S_OK, graph->Disconnect(source->OutputPin()));
  ASSERT_EQ(S_OK, graph->Disconnect(in(0).Get()));
  EXPECT_EQ(VFW_E_CIRCULAR_GRAPH, graph->ConnectDirect(out(2).Get(), in(0).Get(), nullptr));
  EXPECT_EQ(VFW_E_CIRCULAR_GRAPH, graph->Connect(out(2).Get(), in(0).Get()));
  EXPECT_FALSE(Peer(in(0).Get()));
  EXPECT_FALSE(Peer(in(3).Get())) << "no way round through the spare filter";
}

// While paused, a filter able to change its connections while active decides, through
// ConnectDirect and Connect alike (Connect asks the pins first); the others refuse, and
// intelligent connect waits for a stopped graph. Releasing the running graph then stops and
// releases every filter, which keeps no clock of it.
TEST(GraphBuild, ConnectingWhilePausedIsLeftToTheFiltersAndReleasingTheRunningGraphStopsThem) {
  class WillingSink : public RecordingSink {
   public:
    WillingSink() { InputPin()->SetCanConnectWhileActive(true); }
  };
  auto source = MakeComObject<TestPushSource>();
  auto second = MakeComObject<TestPushSource>();
  auto willing = MakeComObject<WillingSink>();
  auto unwilling = MakeComObject<RecordingSink>();
  second->Stream(0)->SetCanConnectWhileActive(true);
  {
    auto graph = NewGraph();
    AddFilters(graph.Get(), {{source.Get(), nullptr},
                             {second.Get(), nullptr},
                             {willing.Get(), nullptr},
                             {unwilling.Get(), nullptr}});
    ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph.Get());
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    EXPECT_EQ(VFW_E_NOT_STOPPED,
              graph->ConnectDirect(source->OutputPin(), unwilling->Input(), nullptr));
    EXPECT_EQ(S_OK, graph->Connect(second->OutputPin(), willing->Input()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, graph->Connect(source->OutputPin(), unwilling->Input()));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
  }
  EXPECT_EQ(1u, second->RefCountForTesting());
  EXPECT_EQ(1u, willing->RefCountForTesting());
  EXPECT_EQ(State_Stopped, willing->State());
  ComPtr<IReferenceClock> clock;
  EXPECT_TRUE(SUCCEEDED(willing->GetSyncSource(clock.GetAddressOf())) && !clock);
}

// IVideoWindow of the graph is its video renderer's; without one there is no window, and the
// automation interfaces are their own IDispatch. Its volume goes to every audio renderer; without
// one it is not implemented.
TEST(GraphBuild, TheGraphsVideoWindowAndVolumeAreItsRenderers) {
  auto graph = NewGraph();
  EXPECT_FALSE(QueryAs<IDispatch>(graph.Get()));
  auto window = QueryAs<IVideoWindow>(graph.Get());
  auto audio = QueryAs<IBasicAudio>(graph.Get());
  long left = -1, top = 0, width = 0, height = 0, volume = 0;
  EXPECT_EQ(E_NOINTERFACE, window->put_Left(10));
  UINT count = 1;
  EXPECT_EQ(E_NOTIMPL, window->GetTypeInfoCount(&count));
  EXPECT_EQ(0u, count);
  ComPtr<IBaseFilter> renderer = CreateFilter(CLSID_VideoRenderer);
  ASSERT_TRUE(renderer);
  graph->AddFilter(MakeComObject<RecordingSink>().Get(), L"Not a window");
  EXPECT_EQ(E_NOTIMPL, audio->put_Volume(-500));
  graph->AddFilter(renderer.Get(), L"Video Renderer");
  EXPECT_EQ(S_OK, window->SetWindowPosition(10, 20, 320, 240));
  ASSERT_EQ(S_OK,
            QueryAs<IVideoWindow>(renderer.Get())->GetWindowPosition(&left, &top, &width, &height));
  EXPECT_EQ((std::vector<long>{10, 20, 320, 240}), (std::vector<long>{left, top, width, height}));
  ComPtr<IBaseFilter> renderers[] = {CreateFilter(CLSID_DSoundRender),
                                     CreateFilter(CLSID_DSoundRender)};
  for (const auto& sound : renderers) graph->AddFilter(sound.Get(), nullptr);
  EXPECT_EQ(S_OK, audio->put_Volume(-2500));
  for (const auto& sound : renderers) {
    EXPECT_EQ(S_OK, QueryAs<IBasicAudio>(sound.Get())->get_Volume(&volume));
    EXPECT_EQ(-2500, volume);
  }
}

// Registration order is kept within a category; a registered filter is created through
// CoCreateInstance until it is unregistered; registered pin types match with wildcards.
TEST(FilterRegistry, LookupsKeepRegistrationOrderAndCreateThroughCom) {
  // {5D6E0A03-...}: classes and a category registered by this test only.
  const CLSID first = {0x5D6E0A03, 0x7C1B, 0x4E8A, {0x9F, 0x00, 0, 0, 0, 0, 0, 1}};
  const CLSID second = {0x5D6E0A03, 0x7C1B, 0x4E8A, {0x9F, 0x00, 0, 0, 0, 0, 0, 2}};
  const GUID category = {0x5D6E0A03, 0x7C1B, 0x4E8A, {0x9F, 0x00, 0, 0, 0, 0, 0, 9}};
  auto& registry = FilterRegistry::Instance();
  for (const auto& [clsid, name] : {std::pair{second, L"Second"}, std::pair{first, L"First"}}) {
    FilterRecord record;
    record.clsid = clsid;
    record.friendlyName = name;
    record.category = category;
    record.merit = MERIT_NORMAL;
    record.factory = FilterFactoryFor<TestPassThrough>();
    registry.Register(std::move(record));
  }
  const auto records = registry.FiltersInCategory(category);
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ(L"Second", records[0].friendlyName);
  EXPECT_EQ(L"First", records[1].friendlyName);
  EXPECT_TRUE(CreateFilter(first)) << "both classes make the same filter";
  registry.Unregister(first);
  registry.Unregister(second);
  EXPECT_TRUE(registry.FiltersInCategory(category).empty());
  EXPECT_FALSE(CreateFilter(first));
  EXPECT_TRUE(RegPinTypeMatches({MEDIATYPE_Video, GUID_NULL}, MEDIATYPE_Video, MEDIASUBTYPE_YUY2));
  EXPECT_TRUE(RegPinTypeMatches({MEDIATYPE_Video, MEDIASUBTYPE_YUY2}, MEDIATYPE_Video, GUID_NULL));
  EXPECT_FALSE(RegPinTypeMatches({MEDIATYPE_Audio, GUID_NULL}, MEDIATYPE_Video, MEDIASUBTYPE_YUY2));
  EXPECT_FALSE(
      RegPinTypeMatches({MEDIATYPE_Video, MEDIASUBTYPE_RGB24}, MEDIATYPE_Video, MEDIASUBTYPE_YUY2));
}

}  // namespace
}  // namespace vidorra::test
