// Graph building: names, enumeration, direct and intelligent connection, loops, rendering,
// removal of connected filters, reconnection, pin categories, interfaces and reference counts.
#include "TestConverter.h"
#include "TestCountingSink.h"
#include "TestPassThrough.h"
#include "TestPushSource.h"
#include "graph_test_support.h"

namespace vidorra::test {
namespace {

// A name taken gets a numbered suffix; no name at all gets the first free number.
TEST(GraphBuild, DuplicateAndMissingNamesAreNumbered) {
  auto graph = NewGraph();
  std::vector<ComPtr<TestPassThrough>> f;
  for (int i = 0; i < 6; ++i) f.push_back(MakeComObject<TestPassThrough>());
  EXPECT_EQ(S_OK, graph->AddFilter(f[0].Get(), L"Tee"));
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(f[1].Get(), L"Tee"));
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(f[2].Get(), L"Tee"));
  EXPECT_EQ((std::vector<std::wstring>{L"Tee 0002", L"Tee 0001", L"Tee"}),
            FilterNames(graph.Get()));
  ComPtr<IBaseFilter> found;
  ASSERT_EQ(S_OK, graph->FindFilterByName(L"Tee 0001", found.GetAddressOf()));
  EXPECT_TRUE(IsSameObject(found.Get(), static_cast<IBaseFilter*>(f[1].Get())));
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(L"Tee 0003", found.ReleaseAndGetAddressOf()));
  EXPECT_FALSE(found);
  EXPECT_TRUE(FAILED(graph->AddFilter(f[0].Get(), L"Other"))) << "the same filter twice";

  EXPECT_EQ(S_OK, graph->AddFilter(f[3].Get(), nullptr));
  EXPECT_EQ(S_OK, graph->AddFilter(f[4].Get(), L""));
  FILTER_INFO info{};
  ASSERT_EQ(S_OK, f[4]->QueryFilterInfo(&info));
  EXPECT_STREQ(L"0002", info.achName);
  ASSERT_TRUE(info.pGraph);
  EXPECT_TRUE(IsSameObject(info.pGraph, graph.Get()));
  info.pGraph->Release();
  ASSERT_EQ(S_OK, graph->RemoveFilter(f[3].Get()));
  EXPECT_EQ(S_OK, graph->AddFilter(f[5].Get(), nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"0001", L"0002", L"Tee 0002", L"Tee 0001", L"Tee"}),
            FilterNames(graph.Get()));
}

TEST(GraphBuild, EnumFiltersListsTheNewestFirstAndKnowsWhenTheGraphChanged) {
  auto graph = NewGraph();
  std::vector<ComPtr<TestPassThrough>> filters;
  for (const wchar_t* name : {L"A", L"B", L"C", L"D"}) {
    filters.push_back(MakeComObject<TestPassThrough>());
    ASSERT_EQ(S_OK, graph->AddFilter(filters.back().Get(), name));
  }
  ASSERT_EQ(S_OK, graph->RemoveFilter(filters[1].Get()));
  EXPECT_EQ((std::vector<std::wstring>{L"D", L"C", L"A"}), FilterNames(graph.Get()));
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->RemoveFilter(filters[1].Get()));
  FILTER_INFO info{};
  filters[1]->QueryFilterInfo(&info);
  EXPECT_EQ(nullptr, info.pGraph);

  ComPtr<IEnumFilters> enumerator;
  ASSERT_EQ(S_OK, graph->EnumFilters(enumerator.GetAddressOf()));
  ComPtr<IBaseFilter> next;
  ASSERT_EQ(S_OK, enumerator->Next(1, next.GetAddressOf(), nullptr));
  ComPtr<IEnumFilters> clone;
  ASSERT_EQ(S_OK, enumerator->Clone(clone.GetAddressOf()));
  // A change of the graph puts every enumerator out of step until it is reset.
  ASSERT_EQ(S_OK, graph->AddFilter(filters[1].Get(), L"E"));
  for (IEnumFilters* stale : {enumerator.Get(), clone.Get()}) {
    ULONG fetched = 7;
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, stale->Next(1, next.ReleaseAndGetAddressOf(), &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, stale->Skip(1));
  }
  ASSERT_EQ(S_OK, enumerator->Reset());
  ASSERT_EQ(S_OK, enumerator->Next(1, next.ReleaseAndGetAddressOf(), nullptr));
  EXPECT_TRUE(IsSameObject(next.Get(), static_cast<IBaseFilter*>(filters[1].Get())));
  EXPECT_EQ(S_OK, enumerator->Skip(3));
  EXPECT_EQ(S_FALSE, enumerator->Next(1, next.ReleaseAndGetAddressOf(), nullptr));
}

TEST(GraphBuild, ConnectDirectNegotiatesTheSourceType) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto sink = MakeComObject<TestCountingSink>();
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(sink.Get(), L"Sink");
  ASSERT_EQ(S_OK, graph->ConnectDirect(source->OutputPin(), sink->InputPinInterface(), nullptr));
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED,
            graph->ConnectDirect(source->OutputPin(), sink->InputPinInterface(), nullptr));
  CMediaType mt;
  ASSERT_EQ(S_OK, sink->InputPinInterface()->ConnectionMediaType(&mt));
  EXPECT_EQ(MEDIASUBTYPE_TestA, *mt.Subtype());
  EXPECT_TRUE(mt == source->Config().mediaType);
  EXPECT_EQ(Peer(sink->InputPinInterface()).Get(), source->OutputPin());
  LPWSTR id = nullptr;
  ASSERT_EQ(S_OK, source->OutputPin()->QueryId(&id));
  EXPECT_STREQ(L"Output", id);
  CoTaskMemFree(id);
}

TEST(GraphBuild, ConnectDirectRefusesWrongDirectionsTypesAndStrangers) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto sinkOfB = MakeComObject<TestCountingSink>(MEDIASUBTYPE_TestB);
  auto stranger = MakeComObject<TestCountingSink>();
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(sinkOfB.Get(), L"Sink");
  EXPECT_EQ(VFW_E_INVALID_DIRECTION,
            graph->ConnectDirect(sinkOfB->InputPinInterface(), source->OutputPin(), nullptr));
  EXPECT_TRUE(
      FAILED(graph->ConnectDirect(source->OutputPin(), sinkOfB->InputPinInterface(), nullptr)));
  EXPECT_FALSE(Peer(source->OutputPin()));
  EXPECT_EQ(VFW_E_NOT_IN_GRAPH,
            graph->ConnectDirect(source->OutputPin(), stranger->InputPinInterface(), nullptr));
  // A fully specified type the source does not offer is refused.
  CMediaType other = MakeTestVideoType(MEDIASUBTYPE_TestB);
  auto sinkAny = MakeComObject<TestCountingSink>();
  graph->AddFilter(sinkAny.Get(), L"Any");
  EXPECT_TRUE(
      FAILED(graph->ConnectDirect(source->OutputPin(), sinkAny->InputPinInterface(), &other)));
}

// Intelligent connect inserts the registered converter where one fits; where none does it
// fails, and the filters tried on the way are gone again.
TEST(GraphBuild, IntelligentConnectInsertsTheRegisteredConverterOrFailsCleanly) {
  for (const GUID& wanted : {MEDIASUBTYPE_TestB, MEDIASUBTYPE_TestC}) {
    const bool converts = wanted == MEDIASUBTYPE_TestB;
    SCOPED_TRACE(converts ? "converter" : "none");
    auto graph = NewGraph();
    auto source = MakeComObject<TestPushSource>();
    auto sink = MakeComObject<TestCountingSink>(wanted);
    graph->AddFilter(source.Get(), L"Source");
    graph->AddFilter(sink.Get(), L"Sink");
    if (!converts) {
      EXPECT_EQ(VFW_E_CANNOT_CONNECT,
                graph->Connect(source->OutputPin(), sink->InputPinInterface()));
      EXPECT_EQ((std::vector<std::wstring>{L"Sink", L"Source"}), FilterNames(graph.Get()));
      EXPECT_FALSE(Peer(source->OutputPin()));
      continue;
    }
    ASSERT_EQ(S_OK, graph->Connect(source->OutputPin(), sink->InputPinInterface()));
    const auto names = FilterNames(graph.Get());
    ASSERT_EQ(3u, names.size());
    EXPECT_EQ(L"Test Converter", names[0]);
    ComPtr<IBaseFilter> converter;
    ASSERT_EQ(S_OK, graph->FindFilterByName(L"Test Converter", converter.GetAddressOf()));
    EXPECT_EQ(Peer(source->OutputPin()).Get(), PinAt(converter.Get(), 0).Get());
    CMediaType mt;
    sink->InputPinInterface()->ConnectionMediaType(&mt);
    EXPECT_EQ(MEDIASUBTYPE_TestB, *mt.Subtype());
  }
}

// A chain the application prepared (a filter already in the graph with free pins) is used
// before any registered filter, by Connect and by Render.
TEST(GraphBuild, IntelligentConnectTriesTheFiltersInTheGraphFirst) {
  struct Case {
    const char* name;
    GUID converterOutput;  // what the converter already in the graph gives
    bool render;
  };
  const Case cases[] = {
      {"Connect through a converter no registered filter matches", MEDIASUBTYPE_TestC, false},
      {"Connect through it although a registered one would do", MEDIASUBTYPE_TestB, false},
      {"Render through it into the sink already there", MEDIASUBTYPE_TestC, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto graph = NewGraph();
    auto source = MakeComObject<TestPushSource>();
    auto prepared = MakeComObject<TestConverter>(MEDIASUBTYPE_TestA, c.converterOutput);
    auto sink = MakeComObject<TestCountingSink>(c.converterOutput);
    graph->AddFilter(source.Get(), L"Source");
    graph->AddFilter(prepared.Get(), L"Prepared");
    graph->AddFilter(sink.Get(), L"Sink");
    ASSERT_EQ(S_OK, c.render ? graph->Render(source->OutputPin())
                             : graph->Connect(source->OutputPin(), sink->InputPinInterface()));
    EXPECT_EQ(Peer(source->OutputPin()).Get(), PinAt(prepared.Get(), 0).Get());
    EXPECT_EQ(Peer(sink->InputPinInterface()).Get(), PinAt(prepared.Get(), 1).Get());
    EXPECT_EQ(3u, FilterNames(graph.Get()).size()) << "no filter added";
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

// A filter able to change its connections while active decides; the others refuse.
class ConnectWhilePausedSink : public TestCountingSink {
 public:
  ConnectWhilePausedSink() { InputPin()->SetCanConnectWhileActive(true); }
};

TEST(GraphBuild, ConnectDirectWhilePausedIsLeftToTheFilters) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto second = MakeComObject<TestPushSource>();
  auto willing = MakeComObject<ConnectWhilePausedSink>();
  auto unwilling = MakeComObject<TestCountingSink>();
  second->Stream(0)->SetCanConnectWhileActive(true);
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(second.Get(), L"Second source");
  graph->AddFilter(willing.Get(), L"Willing");
  graph->AddFilter(unwilling.Get(), L"Unwilling");
  ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph.Get());
  ASSERT_TRUE(SUCCEEDED(control->Pause()));
  EXPECT_EQ(VFW_E_NOT_STOPPED,
            graph->ConnectDirect(source->OutputPin(), unwilling->InputPinInterface(), nullptr));
  EXPECT_EQ(S_OK, graph->ConnectDirect(second->OutputPin(), willing->InputPinInterface(), nullptr));
  EXPECT_EQ(VFW_E_NOT_STOPPED, graph->Connect(source->OutputPin(), unwilling->InputPinInterface()))
      << "intelligent connect only in a stopped graph";
  EXPECT_EQ(S_OK, control->Stop());
}

TEST(GraphBuild, RenderFindsARegisteredRendererThroughTheConverter) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  graph->AddFilter(source.Get(), L"Source");
  ASSERT_EQ(S_OK, graph->Render(source->OutputPin()));
  const auto names = FilterNames(graph.Get());
  ASSERT_EQ(3u, names.size());
  EXPECT_EQ(L"Test Converter", names[0]);
  EXPECT_EQ(L"Test Counting Sink", names[1]);
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->Render(source->OutputPin()));
}

TEST(GraphBuild, DisconnectAndReconnect) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto sink = MakeComObject<TestCountingSink>();
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(sink.Get(), L"Sink");
  ASSERT_EQ(S_OK, graph->Connect(source->OutputPin(), sink->InputPinInterface()));
  ASSERT_EQ(S_OK, graph->Reconnect(sink->InputPinInterface()));
  EXPECT_EQ(Peer(sink->InputPinInterface()).Get(), source->OutputPin());
  EXPECT_EQ(S_OK, graph->Disconnect(source->OutputPin()));
  EXPECT_EQ(S_OK, graph->Disconnect(sink->InputPinInterface()));
  EXPECT_EQ(S_FALSE, graph->Disconnect(sink->InputPinInterface()));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, graph->Reconnect(sink->InputPinInterface()));
}

TEST(GraphBuild, PinCategoryIsReadThroughIKsPropertySet) {
  auto source = MakeComObject<TestPushSource>();
  ComPtr<IKsPropertySet> none = QueryAs<IKsPropertySet>(source->OutputPin());
  EXPECT_FALSE(none);
  source->Stream(0)->SetPinCategory(PIN_CATEGORY_CAPTURE);
  ComPtr<IKsPropertySet> props = QueryAs<IKsPropertySet>(source->OutputPin());
  ASSERT_TRUE(props);
  GUID category = GUID_NULL;
  DWORD returned = 0;
  ASSERT_EQ(S_OK, props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                             sizeof(category), &returned));
  EXPECT_EQ(PIN_CATEGORY_CAPTURE, category);
  EXPECT_EQ(sizeof(GUID), returned);
  DWORD support = 0;
  EXPECT_EQ(S_OK, props->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support));
  EXPECT_EQ(static_cast<DWORD>(KSPROPERTY_SUPPORT_GET), support);
  EXPECT_TRUE(FAILED(props->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                sizeof(category))));
  // The pin's IUnknown is the same object through either interface.
  EXPECT_TRUE(IsSameObject(props.Get(), source->OutputPin()));
}

// Removing a connected filter disconnects both sides; releasing a running graph stops and
// releases every filter.
TEST(GraphBuild, RemovingAFilterOrReleasingTheGraphLetsGoOfIt) {
  auto source = MakeComObject<TestPushSource>();
  auto middle = MakeComObject<TestPassThrough>();
  auto sink = MakeComObject<TestCountingSink>();
  {
    auto graph = NewGraph();
    graph->AddFilter(source.Get(), L"Source");
    graph->AddFilter(middle.Get(), L"Middle");
    graph->AddFilter(sink.Get(), L"Sink");
    ASSERT_EQ(S_OK, graph->Connect(source->OutputPin(), PinAt(middle.Get(), 0).Get()));
    ASSERT_EQ(S_OK, graph->Connect(PinAt(middle.Get(), 1).Get(), sink->InputPinInterface()));
    ASSERT_EQ(S_OK, graph->RemoveFilter(middle.Get()));
    EXPECT_FALSE(Peer(source->OutputPin()));
    EXPECT_FALSE(Peer(sink->InputPinInterface()));
    EXPECT_FALSE(Peer(PinAt(middle.Get(), 0).Get()));
    EXPECT_EQ(1u, middle->RefCountForTesting());
    ASSERT_EQ(S_OK, graph->Connect(source->OutputPin(), sink->InputPinInterface()));
    // S_FALSE while the renderer has not cued its first sample yet.
    ASSERT_TRUE(SUCCEEDED(QueryAs<IMediaControl>(graph.Get())->Run()));
    EXPECT_GT(source->RefCountForTesting(), 1u);
  }
  EXPECT_EQ(1u, source->RefCountForTesting());
  EXPECT_EQ(1u, sink->RefCountForTesting());
  EXPECT_EQ(State_Stopped, sink->State());
}

TEST(GraphBuild, QueryInterfaceIsSymmetric) {
  auto graph = NewGraph();
  const IID* iids[] = {&IID_IFilterGraph,  &IID_IGraphBuilder, &IID_IFilterGraph2,
                       &IID_IMediaControl, &IID_IMediaEvent,   &IID_IMediaEventEx,
                       &IID_IMediaFilter,  &IID_IBasicAudio,   &IID_IMediaEventSink,
                       &IID_IVideoWindow};
  // Each automation interface is its own IDispatch; the graph object answers none.
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(E_NOINTERFACE,
            graph->QueryInterface(IID_IDispatch, dispatch.ReleaseAndGetVoidAddressOf()));
  ComPtr<IUnknown> identity = QueryAs<IUnknown>(graph.Get());
  for (const IID* iid : iids) {
    ComPtr<IUnknown> itf;
    ASSERT_EQ(S_OK, graph->QueryInterface(*iid, itf.ReleaseAndGetVoidAddressOf()));
    ComPtr<IUnknown> back = QueryAs<IUnknown>(itf.Get());
    EXPECT_EQ(identity.Get(), back.Get());
    ComPtr<IUnknown> again;
    EXPECT_EQ(S_OK, itf->QueryInterface(IID_IGraphBuilder, again.ReleaseAndGetVoidAddressOf()));
  }
}

// IVideoWindow of the graph is its video renderer's; without one, there is no window.
TEST(GraphBuild, TheGraphsVideoWindowIsItsRenderers) {
  auto graph = NewGraph();
  auto window = QueryAs<IVideoWindow>(graph.Get());
  ASSERT_TRUE(window);
  long left = -1;
  EXPECT_EQ(E_NOINTERFACE, window->put_Left(10));
  EXPECT_EQ(E_NOINTERFACE, window->get_Left(&left));
  UINT count = 1;
  EXPECT_EQ(E_NOTIMPL, window->GetTypeInfoCount(&count));
  EXPECT_EQ(0u, count);
  ComPtr<IBaseFilter> renderer = CreateFilter(CLSID_VideoRenderer);
  ASSERT_TRUE(renderer);
  graph->AddFilter(MakeComObject<TestCountingSink>().Get(), L"Not a window");
  graph->AddFilter(renderer.Get(), L"Video Renderer");
  EXPECT_EQ(S_OK, window->SetWindowPosition(10, 20, 320, 240));
  long top = 0, width = 0, height = 0;
  ASSERT_EQ(S_OK,
            QueryAs<IVideoWindow>(renderer.Get())->GetWindowPosition(&left, &top, &width, &height));
  EXPECT_EQ((std::vector<long>{10, 20, 320, 240}), (std::vector<long>{left, top, width, height}));
  EXPECT_EQ(S_OK, window->get_Left(&left));
  EXPECT_EQ(10, left);
}

}  // namespace
}  // namespace vidorra::test
