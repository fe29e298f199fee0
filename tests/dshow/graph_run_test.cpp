// Running graphs: streaming end to end, EC_COMPLETE, errors while streaming, repeated state
// changes, the renderer on the clock and without one, cueing and the run state, failing state
// changes, IBasicAudio.
#include <atomic>
#include <thread>

#include "TestCountingSink.h"
#include "TestPassThrough.h"
#include "TestPushSource.h"
#include "graph_test_support.h"
#include "wait_until.h"

namespace vidorra::test {
namespace {

// source -> pass-through x n -> sink, all in one graph.
struct Chain {
  ComPtr<IGraphBuilder> graph = NewGraph();
  ComPtr<TestPushSource> source;
  std::vector<ComPtr<TestPassThrough>> middles;
  ComPtr<TestCountingSink> sink;
  ComPtr<IMediaControl> control;

  Chain(TestPushSourceConfig config, int passThroughs, int failAtMiddle = -1, int failAtSink = -1) {
    source = MakeComObject<TestPushSource>(std::move(config));
    sink = MakeComObject<TestCountingSink>(GUID_NULL, failAtSink);
    EXPECT_EQ(S_OK, graph->AddFilter(source.Get(), L"Source"));
    ComPtr<IPin> out(source->OutputPin());
    for (int i = 0; i < passThroughs; ++i) {
      middles.push_back(MakeComObject<TestPassThrough>(i == 0 ? failAtMiddle : -1));
      EXPECT_TRUE(SUCCEEDED(graph->AddFilter(middles.back().Get(), L"Middle")));
      EXPECT_EQ(S_OK, graph->Connect(out.Get(), PinAt(middles.back().Get(), 0).Get()));
      out = PinAt(middles.back().Get(), 1);
    }
    EXPECT_EQ(S_OK, graph->AddFilter(sink.Get(), L"Sink"));
    EXPECT_EQ(S_OK, graph->Connect(out.Get(), sink->InputPinInterface()));
    control = QueryAs<IMediaControl>(graph.Get());
  }

  void NoClock() {
    ComPtr<IMediaFilter> filter = QueryAs<IMediaFilter>(graph.Get());
    EXPECT_EQ(S_OK, filter->SetSyncSource(nullptr));
  }
};

TEST(GraphRun, SamplesFlowThroughThreePassThroughsAndCompleteOnce) {
  TestPushSourceConfig config;
  config.frameCount = 30;
  Chain chain(std::move(config), 3);
  chain.NoClock();
  ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
  GraphEvent event{};
  ASSERT_TRUE(NextEvent(chain.graph.Get(), &event, 10'000));
  EXPECT_EQ(EC_COMPLETE, event.code);
  EXPECT_EQ(S_OK, event.param1);
  EXPECT_FALSE(NextEvent(chain.graph.Get(), &event, 0)) << "a second event " << event.code;
  EXPECT_EQ(S_OK, chain.control->Stop());
  const auto samples = chain.sink->Samples();
  ASSERT_EQ(30u, samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    EXPECT_EQ(i, samples[i].frame);
    EXPECT_EQ(static_cast<REFERENCE_TIME>(i) * 400'000, samples[i].start);
  }
  for (auto& middle : chain.middles) EXPECT_EQ(30, middle->Count());
}

// A failure anywhere in the stream (source, transform, renderer) ends it with EC_ERRORABORT;
// the samples before it reach the sink.
TEST(GraphRun, AStreamingFailureBecomesErrorAbort) {
  TestPushSourceConfig failingSource;
  failingSource.failAtFrame = 5;
  failingSource.failure = E_OUTOFMEMORY;
  const struct {
    const char* where;
    TestPushSourceConfig config;
    int passThroughs, failAtMiddle, failAtSink;
    HRESULT error;
    int delivered;
  } cases[] = {
      {"source", failingSource, 1, -1, -1, E_OUTOFMEMORY, 5},
      {"transform", {}, 2, 3, -1, E_FAIL, 3},
      {"renderer", {}, 0, -1, 2, S_OK, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    Chain chain(c.config, c.passThroughs, c.failAtMiddle, c.failAtSink);
    chain.NoClock();
    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
    GraphEvent event{};
    ASSERT_TRUE(NextEvent(chain.graph.Get(), &event, 10'000));
    EXPECT_EQ(EC_ERRORABORT, event.code);
    if (FAILED(c.error)) {
      EXPECT_EQ(c.error, event.param1);
    }
    EXPECT_EQ(S_OK, chain.control->Stop());
    if (c.delivered >= 0) {
      EXPECT_EQ(c.delivered, chain.sink->Count());
    }
  }
}

TEST(GraphRun, InPlaceFiltersPassTheSameSampleUnlessItIsReadOnly) {
  for (const bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only" : "writable");
    TestPushSourceConfig config;
    config.frameCount = 5;
    Chain chain(config, 2);
    chain.NoClock();
    if (readOnly) {
      // Upstream declares its samples read-only (as a tee sharing them would).
      auto input = QueryAs<IMemInputPin>(PinAt(chain.middles[0].Get(), 0).Get());
      ComPtr<IMemAllocator> pool;
      ASSERT_EQ(S_OK, input->GetAllocator(pool.GetAddressOf()));
      ASSERT_EQ(S_OK, input->NotifyAllocator(pool.Get(), TRUE));
    }
    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
    GraphEvent event{};
    ASSERT_TRUE(NextEvent(chain.graph.Get(), &event, 10'000));
    chain.control->Stop();
    IMemAllocator* sourcePool = chain.source->Stream(0)->Allocator();
    IMemAllocator* expected = readOnly ? chain.middles[0]->OutputPin()->Allocator() : sourcePool;
    if (readOnly) {
      ASSERT_NE(sourcePool, expected);
    }
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(5u, samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
      EXPECT_EQ(expected, samples[i].allocator);
      EXPECT_EQ(i, samples[i].frame) << "copied data";
      EXPECT_EQ(static_cast<REFERENCE_TIME>(i) * 400'000, samples[i].start) << "copied times";
    }
  }
}

TEST(GraphRun, RunningGraphRefusesRemovalAndConnection) {
  Chain chain(TestPushSourceConfig{}, 1);
  chain.NoClock();
  ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, chain.graph->RemoveFilter(chain.sink.Get()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, chain.graph->Disconnect(chain.sink->InputPinInterface()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, QueryAs<IMediaFilter>(chain.graph.Get())->SetSyncSource(nullptr));
  ASSERT_EQ(S_OK, chain.control->Stop());
  EXPECT_EQ(S_OK, chain.graph->RemoveFilter(chain.sink.Get()));
}

TEST(GraphRun, ThousandRunStopCyclesWhileStreaming) {
  Chain chain(TestPushSourceConfig{}, 1);
  chain.NoClock();
  constexpr int kStreamingCheckEvery = 100;
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(SUCCEEDED(chain.control->Run())) << "cycle " << i;
    if (i % kStreamingCheckEvery == 0) {
      // Now and then, stop only once samples are really flowing.
      const int before = chain.sink->Count();
      ASSERT_TRUE(WaitUntil([&] { return chain.sink->Count() > before + 2; })) << "cycle " << i;
    }
    if (i % 3 == 1) {
      ASSERT_TRUE(SUCCEEDED(chain.control->Pause()));
    }
    ASSERT_EQ(S_OK, chain.control->Stop()) << "cycle " << i;
  }
  OAFilterState state = State_Running;
  EXPECT_EQ(S_OK, chain.control->GetState(0, &state));
  EXPECT_EQ(State_Stopped, state);
  EXPECT_EQ(State_Stopped, chain.source->State());
}

// On the graph's clock the renderer waits for each sample's presentation time; without a
// clock it renders at once (an hour a frame would never end otherwise).
TEST(GraphRun, RendererWaitsForPresentationTimeOnlyOnAClock) {
  for (bool clocked : {true, false}) {
    SCOPED_TRACE(clocked ? "clock" : "no clock");
    TestPushSourceConfig config;
    config.frameCount = 4;
    config.frameDuration = clocked ? 200'000 : 36'000'000'000;
    Chain chain(std::move(config), 0);
    if (!clocked) chain.NoClock();
    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
    ComPtr<IReferenceClock> clock;
    QueryAs<IMediaFilter>(chain.graph.Get())->GetSyncSource(clock.GetAddressOf());
    EXPECT_EQ(clocked, clock != nullptr);
    GraphEvent event{};
    ASSERT_TRUE(NextEvent(chain.graph.Get(), &event, 10'000));
    EXPECT_EQ(EC_COMPLETE, event.code);
    chain.control->Stop();
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(4u, samples.size());
    for (const RenderedSample& s : samples) {
      if (clocked) {
        EXPECT_GE(s.renderedAt, s.start) << "frame " << s.frame;
      } else {
        EXPECT_EQ(-1, s.renderedAt) << "frame " << s.frame;
      }
    }
  }
}

TEST(GraphRun, StopInterruptsARendererWaitingOnTheClock) {
  TestPushSourceConfig config;
  config.frameDuration = 36'000'000'000;
  Chain chain(std::move(config), 1);
  ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
  // The second sample waits an hour on the clock; Stop must not.
  ASSERT_TRUE(WaitUntil([&] { return chain.sink->Count() >= 1; }));
  EXPECT_EQ(S_OK, chain.control->Stop());
  EXPECT_EQ(1, chain.sink->Count());
}

// ---- Run state ----------------------------------------------------------------------------

// A filter without pins whose GetState while paused answers what the test sets.
class StateFilter : public CBaseFilter {
 public:
  explicit StateFilter(HRESULT answer) : CBaseFilter(L"State", GUID_NULL), answer_(answer) {}
  int GetPinCount() override { return 0; }
  CBasePin* GetPin(int) override { return nullptr; }
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override {
    const HRESULT hr = CBaseFilter::GetState(timeout, state);
    return hr == S_OK && *state == State_Paused ? answer_.load() : hr;
  }
  void Answer(HRESULT answer) { answer_.store(answer); }

 private:
  std::atomic<HRESULT> answer_;
};

TEST(GraphRun, GetStateCombinesTheFiltersAnswers) {
  constexpr HRESULT kCueing = VFW_S_STATE_INTERMEDIATE;
  struct Case {
    std::vector<HRESULT> answers;
    HRESULT state;  // the graph's GetState while paused
    HRESULT pause;
    HRESULT run;
  };
  const Case cases[] = {
      {{S_OK, S_OK}, S_OK, S_OK, S_OK},
      {{S_OK, kCueing}, kCueing, S_FALSE, S_FALSE},
      {{VFW_S_CANT_CUE, S_OK}, VFW_S_CANT_CUE, S_OK, S_OK},
      // A paused live source sends nothing: the renderers after it are not waited for.
      {{kCueing, VFW_S_CANT_CUE}, VFW_S_CANT_CUE, S_OK, S_OK},
      {{E_UNEXPECTED, VFW_S_CANT_CUE}, E_FAIL, S_OK, S_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.answers));
    auto graph = NewGraph();
    std::vector<ComPtr<StateFilter>> filters;
    for (HRESULT answer : c.answers) {
      filters.push_back(MakeComObject<StateFilter>(answer));
      graph->AddFilter(filters.back().Get(), nullptr);
    }
    auto control = QueryAs<IMediaControl>(graph.Get());
    OAFilterState state = State_Stopped;
    EXPECT_EQ(S_OK, control->GetState(0, &state));
    EXPECT_EQ(c.pause, control->Pause());
    EXPECT_EQ(c.state, control->GetState(0, &state));
    EXPECT_EQ(State_Paused, state);
    EXPECT_EQ(c.run, control->Run());
    EXPECT_EQ(S_OK, control->Stop());
  }
}

TEST(GraphRun, RunOnAGraphStillPausingRunsTheFiltersOnceTheyHaveCued) {
  auto graph = NewGraph();
  auto cueing = MakeComObject<StateFilter>(VFW_S_STATE_INTERMEDIATE);
  auto ready = MakeComObject<StateFilter>(S_OK);
  graph->AddFilter(cueing.Get(), L"Cueing");
  graph->AddFilter(ready.Get(), L"Ready");
  auto control = QueryAs<IMediaControl>(graph.Get());
  EXPECT_EQ(S_FALSE, control->Run());
  OAFilterState state = State_Stopped;
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(0, &state));
  EXPECT_EQ(State_Running, state) << "the state the graph is going to";
  EXPECT_EQ(State_Paused, cueing->State());
  EXPECT_EQ(State_Paused, ready->State());
  EXPECT_EQ(S_FALSE, control->Run()) << "still pausing";
  cueing->Answer(S_OK);
  EXPECT_TRUE(WaitUntil([&] { return ready->State() == State_Running; }));
  EXPECT_EQ(State_Running, cueing->State());
  EXPECT_EQ(S_OK, control->GetState(0, &state));
  EXPECT_EQ(State_Running, state);

  // A Pause, and a Stop, withdraw a run that is still waiting.
  EXPECT_EQ(S_OK, control->Stop());
  cueing->Answer(VFW_S_STATE_INTERMEDIATE);
  EXPECT_EQ(S_FALSE, control->Run());
  EXPECT_EQ(S_FALSE, control->Pause());
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(0, &state));
  EXPECT_EQ(State_Paused, state);
  EXPECT_EQ(S_OK, control->Stop());
  EXPECT_EQ(State_Stopped, cueing->State());
}

// A renderer paused without a sample is in transition until one comes; a source that paces
// itself on the clock sends none before the run, so it answers VFW_S_CANT_CUE and the graph
// runs at once.
TEST(GraphRun, ARendererCuesOnItsFirstSampleAndAPacedSourceCannotCue) {
  for (const bool paced : {false, true}) {
    SCOPED_TRACE(paced ? "paced source" : "free source");
    TestPushSourceConfig config;
    config.paceOnClock = paced;
    config.frameDuration = 200'000;
    Chain chain(std::move(config), 0);
    EXPECT_EQ(S_FALSE, chain.sink->Pause());
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, chain.sink->GetState(0, &state));
    EXPECT_EQ(State_Paused, state);
    EXPECT_EQ(S_OK, chain.sink->Stop());
    ASSERT_TRUE(SUCCEEDED(chain.control->Pause()));
    OAFilterState graphState = State_Stopped;
    const HRESULT cued = paced ? VFW_S_CANT_CUE : S_OK;
    EXPECT_TRUE(WaitUntil([&] { return chain.control->GetState(0, &graphState) == cued; }));
    EXPECT_EQ(State_Paused, graphState);
    EXPECT_EQ(paced ? 0 : 1, chain.source->FramesDelivered()) << "the first frame is held";
    EXPECT_EQ(0, chain.sink->Count()) << "and not rendered while paused";
    EXPECT_EQ(S_OK, chain.control->Run());
    EXPECT_TRUE(WaitUntil([&] { return chain.sink->Count() >= 2; }));
    EXPECT_EQ(S_OK, chain.control->GetState(0, &graphState));
    EXPECT_EQ(State_Running, graphState);
    EXPECT_EQ(S_OK, chain.control->Stop());
  }
}

TEST(GraphRun, StopReleasesAReceiveHeldWhilePaused) {
  auto source = MakeComObject<TestPushSource>();
  auto sink = MakeComObject<TestCountingSink>();
  ASSERT_EQ(S_OK, source->OutputPin()->Connect(sink->InputPinInterface(), nullptr));
  auto input = QueryAs<IMemInputPin>(sink->InputPinInterface());
  ComPtr<IMemAllocator> allocator;
  ASSERT_EQ(S_OK, input->GetAllocator(allocator.GetAddressOf()));
  ASSERT_EQ(S_OK, allocator->Commit());
  ComPtr<IMediaSample> sample;
  ASSERT_EQ(S_OK, allocator->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, 0));
  EXPECT_EQ(S_FALSE, sink->Pause());
  std::atomic<HRESULT> received{E_PENDING};
  std::thread upstream([&] { received = input->Receive(sample.Get()); });
  FILTER_STATE state = State_Stopped;
  EXPECT_TRUE(WaitUntil([&] { return sink->GetState(0, &state) == S_OK; })) << "held";
  EXPECT_EQ(E_PENDING, received.load());
  EXPECT_EQ(S_OK, sink->Stop());
  upstream.join();
  EXPECT_EQ(S_OK, received.load());
  EXPECT_EQ(0, sink->Count()) << "released, not rendered";
  sample.Reset();
  source->OutputPin()->Disconnect();
  sink->InputPinInterface()->Disconnect();
}

// A renderer that cannot start: Run must fail with its error and leave the graph stopped.
class FailingRenderer : public TestCountingSink {
 public:
  HRESULT OnStartStreaming() override { return VFW_E_NO_AUDIO_HARDWARE; }
};

TEST(GraphRun, AFilterFailingToRunFailsRunAndStopsTheGraph) {
  auto graph = NewGraph();
  auto source = MakeComObject<TestPushSource>();
  auto sink = MakeComObject<FailingRenderer>();
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(sink.Get(), L"Sink");
  ASSERT_EQ(S_OK, graph->Connect(source->OutputPin(), sink->InputPinInterface()));
  auto control = QueryAs<IMediaControl>(graph.Get());
  EXPECT_EQ(VFW_E_NO_AUDIO_HARDWARE, control->Run());
  OAFilterState state = State_Running;
  control->GetState(0, &state);
  EXPECT_EQ(State_Stopped, state);
  EXPECT_EQ(State_Stopped, source->State());
}

TEST(GraphRun, BasicAudioIsForwardedToEveryAudioRendererAndNotImplementedWithoutOne) {
  auto graph = NewGraph();
  auto audio = QueryAs<IBasicAudio>(graph.Get());
  ASSERT_TRUE(audio);
  long volume = 0;
  EXPECT_EQ(E_NOTIMPL, audio->put_Volume(-500));
  EXPECT_EQ(E_NOTIMPL, audio->get_Volume(&volume));
  graph->AddFilter(MakeComObject<TestCountingSink>().Get(), L"Not audio");
  EXPECT_EQ(E_NOTIMPL, audio->put_Volume(-500));
  ComPtr<IBaseFilter> renderers[] = {CreateFilter(CLSID_DSoundRender),
                                     CreateFilter(CLSID_DSoundRender)};
  for (const auto& renderer : renderers) {
    ASSERT_TRUE(renderer);
    graph->AddFilter(renderer.Get(), nullptr);
  }
  EXPECT_EQ(S_OK, audio->put_Volume(-2500));
  for (const auto& renderer : renderers) {
    volume = 0;
    EXPECT_EQ(S_OK, QueryAs<IBasicAudio>(renderer.Get())->get_Volume(&volume));
    EXPECT_EQ(-2500, volume);
  }
  volume = 0;
  EXPECT_EQ(S_OK, audio->get_Volume(&volume));
  EXPECT_EQ(-2500, volume);
}

}  // namespace
}  // namespace vidorra::test
