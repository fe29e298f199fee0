// Graph building: names, enumeration, direct and intelligent connection, rendering, removal
// of connected filters, reconnection, pin categories and reference counts.
#include "TestConverter.h"
#include "TestCountingSink.h"
#include "TestPassThrough.h"
#include "TestPushSource.h"
#include "graph_test_support.h"

namespace vidorra::test {
namespace {

TEST(GraphBuild, DuplicateNamesGetNumberedSuffixes) {
  auto graph = NewGraph();
  auto a = MakeComObject<TestPassThrough>();
  auto b = MakeComObject<TestPassThrough>();
  auto c = MakeComObject<TestPassThrough>();
  EXPECT_EQ(S_OK, graph->AddFilter(a.Get(), L"Tee"));
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(b.Get(), L"Tee"));
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(c.Get(), L"Tee"));
  EXPECT_EQ((std::vector<std::wstring>{L"Tee", L"Tee 0001", L"Tee 0002"}),
            FilterNames(graph.Get()));
  ComPtr<IBaseFilter> found;
  ASSERT_EQ(S_OK, graph->FindFilterByName(L"Tee 0001", found.GetAddressOf()));
  EXPECT_TRUE(IsSameObject(found.Get(), static_cast<IBaseFilter*>(b.Get())));
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(L"Tee 0003", found.ReleaseAndGetAddressOf()));
  EXPECT_FALSE(found);
  // The same filter twice is refused.
  EXPECT_TRUE(FAILED(graph->AddFilter(a.Get(), L"Other")));
}

TEST(GraphBuild, NullNameUsesTheFiltersOwnName) {
  auto graph = NewGraph();
  auto a = MakeComObject<TestPassThrough>();
  auto b = MakeComObject<TestPassThrough>();
  EXPECT_EQ(S_OK, graph->AddFilter(a.Get(), nullptr));
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(b.Get(), nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"Test Pass Through", L"Test Pass Through 0001"}),
            FilterNames(graph.Get()));
  FILTER_INFO info{};
  ASSERT_EQ(S_OK, b->QueryFilterInfo(&info));
  EXPECT_STREQ(L"Test Pass Through 0001", info.achName);
  ASSERT_TRUE(info.pGraph);
  EXPECT_TRUE(IsSameObject(info.pGraph, graph.Get()));
  info.pGraph->Release();
}

TEST(GraphBuild, EnumFiltersKeepsAdditionOrderAfterRemoval) {
  auto graph = NewGraph();
  std::vector<ComPtr<TestPassThrough>> filters;
  for (const wchar_t* name : {L"A", L"B", L"C", L"D"}) {
    filters.push_back(MakeComObject<TestPassThrough>());
    ASSERT_EQ(S_OK, graph->AddFilter(filters.back().Get(), name));
  }
  ASSERT_EQ(S_OK, graph->RemoveFilter(filters[1].Get()));
  EXPECT_EQ((std::vector<std::wstring>{L"A", L"C", L"D"}), FilterNames(graph.Get()));
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->RemoveFilter(filters[1].Get()));
  FILTER_INFO info{};
  filters[1]->QueryFilterInfo(&info);
  EXPECT_EQ(nullptr, info.pGraph);
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
  ComPtr<IPin> peer = Peer(sink->InputPinInterface());
  EXPECT_EQ(peer.Get(), source->OutputPin());

  PIN_INFO info{};
  ASSERT_EQ(S_OK, source->OutputPin()->QueryPinInfo(&info));
  EXPECT_STREQ(L"Output", info.achName);
  EXPECT_EQ(PINDIR_OUTPUT, info.dir);
  EXPECT_TRUE(IsSameObject(info.pFilter, static_cast<IBaseFilter*>(source.Get())));
  info.pFilter->Release();
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

TEST(GraphBuild, IntelligentConnectInsertsTheRegisteredConverter) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto sink = MakeComObject<TestCountingSink>(MEDIASUBTYPE_TestB);
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(sink.Get(), L"Sink");
  ASSERT_EQ(S_OK, graph->Connect(source->OutputPin(), sink->InputPinInterface()));
  const auto names = FilterNames(graph.Get());
  ASSERT_EQ(3u, names.size());
  EXPECT_EQ(L"Test Converter", names[2]);
  ComPtr<IBaseFilter> converter;
  ASSERT_EQ(S_OK, graph->FindFilterByName(L"Test Converter", converter.GetAddressOf()));
  ComPtr<IPin> converterIn = Peer(source->OutputPin());
  ASSERT_TRUE(converterIn);
  PIN_INFO info{};
  converterIn->QueryPinInfo(&info);
  EXPECT_TRUE(IsSameObject(info.pFilter, converter.Get()));
  info.pFilter->Release();
  CMediaType mt;
  sink->InputPinInterface()->ConnectionMediaType(&mt);
  EXPECT_EQ(MEDIASUBTYPE_TestB, *mt.Subtype());
}

TEST(GraphBuild, IntelligentConnectFailsCleanlyWhenNothingConverts) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto sink = MakeComObject<TestCountingSink>(MEDIASUBTYPE_TestC);
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(sink.Get(), L"Sink");
  EXPECT_EQ(VFW_E_CANNOT_CONNECT, graph->Connect(source->OutputPin(), sink->InputPinInterface()));
  // Filters tried on the way are gone again.
  EXPECT_EQ((std::vector<std::wstring>{L"Source", L"Sink"}), FilterNames(graph.Get()));
  EXPECT_FALSE(Peer(source->OutputPin()));
}

TEST(GraphBuild, RenderFindsARegisteredRendererThroughTheConverter) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  graph->AddFilter(source.Get(), L"Source");
  ASSERT_EQ(S_OK, graph->Render(source->OutputPin()));
  const auto names = FilterNames(graph.Get());
  ASSERT_EQ(3u, names.size());
  EXPECT_EQ(L"Test Counting Sink", names[1]);
  EXPECT_EQ(L"Test Converter", names[2]);
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->Render(source->OutputPin()));
}

TEST(GraphBuild, RemovingAConnectedFilterDisconnectsBothSides) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto middle = MakeComObject<TestPassThrough>();
  auto sink = MakeComObject<TestCountingSink>();
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(middle.Get(), L"Middle");
  graph->AddFilter(sink.Get(), L"Sink");
  ASSERT_EQ(S_OK, graph->Connect(source->OutputPin(), PinAt(middle.Get(), 0).Get()));
  ASSERT_EQ(S_OK, graph->Connect(PinAt(middle.Get(), 1).Get(), sink->InputPinInterface()));
  ASSERT_EQ(S_OK, graph->RemoveFilter(middle.Get()));
  EXPECT_FALSE(Peer(source->OutputPin()));
  EXPECT_FALSE(Peer(sink->InputPinInterface()));
  EXPECT_FALSE(Peer(PinAt(middle.Get(), 0).Get()));
  // The pins are free for a new connection.
  EXPECT_EQ(S_OK, graph->Connect(source->OutputPin(), sink->InputPinInterface()));
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

TEST(GraphBuild, ReleasingTheGraphReleasesEveryFilter) {
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
    ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph.Get());
    ASSERT_EQ(S_OK, control->Run());
    EXPECT_GT(source->RefCountForTesting(), 1u);
  }
  EXPECT_EQ(1u, source->RefCountForTesting());
  EXPECT_EQ(1u, middle->RefCountForTesting());
  EXPECT_EQ(1u, sink->RefCountForTesting());
  EXPECT_EQ(State_Stopped, sink->State());
}

TEST(GraphBuild, QueryInterfaceIsSymmetric) {
  auto graph = NewGraph();
  const IID* iids[] = {&IID_IFilterGraph,  &IID_IGraphBuilder, &IID_IFilterGraph2,
                       &IID_IMediaControl, &IID_IMediaEvent,   &IID_IMediaEventEx,
                       &IID_IMediaFilter,  &IID_IBasicAudio,   &IID_IMediaEventSink};
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

}  // namespace
}  // namespace vidorra::test
