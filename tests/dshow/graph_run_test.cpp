// Running graphs: streaming end to end, EC_COMPLETE, errors while streaming, repeated state
// changes, the renderer on the clock and without one, cueing and the run state, failing state
// changes.
#include <gtest/gtest.h>

#include <thread>

#include "FilterPins.h"
#include "RecordingSink.h"
#include "TestConverter.h"
#include "TestManualClock.h"
#include "TestPassThrough.h"
#include "TestPushSource.h"
#include "wait_until.h"

namespace vidorra::test {
namespace {

// source -> pass-through x n -> sink, all in one graph.
struct Chain {
  ComPtr<IGraphBuilder> graph;
  ComPtr<TestPushSource> source;
  std::vector<ComPtr<TestPassThrough>> middles;
  ComPtr<RecordingSink> sink;
  ComPtr<IMediaControl> control;

  Chain(TestPushSourceConfig config, int passThroughs, int failAtMiddle = -1, int failAtSink = -1,
        bool clocked = true)
      : graph(NewGraph(clocked)) {
    source = MakeComObject<TestPushSource>(std::move(config));
    sink = MakeComObject<RecordingSink>(GUID_NULL, failAtSink);
    EXPECT_EQ(S_OK, graph->AddFilter(source.Get(), L"Source"));
    ComPtr<IPin> out(source->OutputPin());
    for (int i = 0; i < passThroughs; ++i) {
      middles.push_back(MakeComObject<TestPassThrough>(i == 0 ? failAtMiddle : -1));
      EXPECT_TRUE(SUCCEEDED(graph->AddFilter(middles.back().Get(), L"Middle")));
      EXPECT_EQ(S_OK, graph->Connect(out.Get(), PinAt(middles.back().Get(), 0).Get()));
      out = PinAt(middles.back().Get(), 1);
    }
    EXPECT_EQ(S_OK, graph->AddFilter(sink.Get(), L"Sink"));
    EXPECT_EQ(S_OK, graph->Connect(out.Get(), sink->Input()));
    control = QueryAs<IMediaControl>(graph.Get());
  }
};

// Samples flow through the chain in order with their times and end in one EC_COMPLETE; on the
// graph's clock the renderer waits for each sample's time, without one it renders at once (an
// hour a frame would never end otherwise); in-place filters pass the source's samples on
// unless upstream declared them read-only. A failure anywhere in the stream (source,
// transform, renderer) ends it with EC_ERRORABORT after the samples before it.
TEST(GraphRun, SamplesFlowInOrderOrTheStreamEndsWithTheFailure) {
  enum Where { kNowhere, kSource, kMiddle, kSink };
  const struct {
    const char* name;
    int frames;
    REFERENCE_TIME duration;
    int passThroughs;
    bool clocked, readOnly;
    Where failAt;
    int failIndex;
    long event;
    HRESULT error;  // the event's parameter, when a failure
    int delivered;  // -1: not checked
  } cases[] = {
      {"three pass-throughs", 30, 400'000, 3, false, false, kNowhere, -1, EC_COMPLETE, S_OK, 30},
      {"on the clock", 4, 200'000, 0, true, false, kNowhere, -1, EC_COMPLETE, S_OK, 4},
      {"an hour a frame, no clock", 4, 36'000'000'000, 0, false, false, kNowhere, -1, EC_COMPLETE,
       S_OK, 4},
      {"read-only samples", 5, 400'000, 2, false, true, kNowhere, -1, EC_COMPLETE, S_OK, 5},
      {"the source fails", -1, 400'000, 1, false, false, kSource, 5, EC_ERRORABORT, E_OUTOFMEMORY,
       5},
      {"a transform fails", -1, 400'000, 2, false, false, kMiddle, 3, EC_ERRORABORT, E_FAIL, 3},
      {"the renderer fails", -1, 400'000, 0, false, false, kSink, 2, EC_ERRORABORT, S_OK, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Chain chain({.frameCount = c.frames,
                 .frameDuration = c.duration,
                 .failAtFrame = c.failAt == kSource ? c.failIndex : -1,
                 .failure = c.error},
                c.passThroughs, c.failAt == kMiddle ? c.failIndex : -1,
                c.failAt == kSink ? c.failIndex : -1, c.clocked);
    IMemAllocator* pool = chain.source->Stream(0)->Allocator();
    if (c.readOnly) {
      // Upstream declares its samples read-only (as a tee sharing them would).
      auto input = QueryAs<IMemInputPin>(PinAt(chain.middles[0].Get(), 0).Get());
      ComPtr<IMemAllocator> shared;
      ASSERT_EQ(S_OK, input->GetAllocator(shared.GetAddressOf()));
      ASSERT_EQ(S_OK, input->NotifyAllocator(shared.Get(), TRUE));
      pool = chain.middles[0]->OutputPin()->Allocator();
      ASSERT_NE(pool, chain.source->Stream(0)->Allocator());
    }
    ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
    const auto event = NextGraphEvent(chain.graph.Get(), {}, 10'000);
    ASSERT_TRUE(event);
    EXPECT_EQ(c.event, event->code);
    EXPECT_TRUE(SUCCEEDED(c.error) || event->param1 == c.error);
    EXPECT_FALSE(c.event == EC_COMPLETE && NextGraphEvent(chain.graph.Get(), {}, 0))
        << "a second event";
    EXPECT_EQ(S_OK, chain.control->Stop());
    const auto samples = chain.sink->Samples();
    EXPECT_TRUE(c.delivered < 0 || samples.size() == static_cast<size_t>(c.delivered))
        << samples.size();
    if (c.event != EC_COMPLETE) continue;
    for (size_t i = 0; i < samples.size(); ++i) {
      EXPECT_EQ(i, samples[i].frame);
      EXPECT_EQ(static_cast<REFERENCE_TIME>(i) * c.duration, samples[i].start);
      EXPECT_TRUE(c.clocked ? samples[i].renderedAt >= samples[i].start
                            : samples[i].renderedAt == -1)
          << "frame " << i << " rendered at " << samples[i].renderedAt;
      EXPECT_TRUE(c.passThroughs == 0 || samples[i].allocator == pool) << "frame " << i;
    }
    for (auto& middle : chain.middles) EXPECT_EQ(c.frames, middle->Count());
  }
}

// The graph's EC_COMPLETE needs every renderer's: one still fed by its source holds it back.
// The graph stops the filters downstream first: a transform that still runs finds its output
// allocator decommitted under it. That is the stop reaching it, not a failure of the stream:
// no EC_ERRORABORT (one would end whatever the graph runs next).
TEST(GraphRun, ATransformWhoseDownstreamStoppedFirstReportsNoFailure) {
  ComPtr<IGraphBuilder> graph = NewGraph();
  // One frame, then a wait on the clock for the next that outlasts the test.
  auto source = MakeComObject<TestPushSource>(
      TestPushSourceConfig{.frameDuration = 36'000'000'000, .paceOnClock = true});
  auto converter = MakeComObject<TestConverter>();
  auto sink = MakeComObject<RecordingSink>(GUID_NULL);
  ASSERT_EQ(S_OK, graph->AddFilter(source.Get(), L"Source"));
  ASSERT_EQ(S_OK, graph->AddFilter(converter.Get(), L"Converter"));
  ASSERT_EQ(S_OK, graph->AddFilter(sink.Get(), L"Sink"));
  graph->AddFilter(MakeComObject<RecordingSink>().Get(), L"Lonely");  // ends at every run
  ComPtr<IPin> input = PinAt(converter.Get(), 0);
  ASSERT_EQ(S_OK, graph->Connect(source->OutputPin(), input.Get()));
  ASSERT_EQ(S_OK, graph->Connect(PinAt(converter.Get(), 1).Get(), sink->Input()));
  auto control = QueryAs<IMediaControl>(graph.Get());
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return sink->Samples().size() == 1; }));
  EXPECT_FALSE(NextGraphEvent(graph.Get(), {}, 0)) << "one renderer of two";
  QueryAs<IMediaEventSink>(graph.Get())
      ->Notify(EC_COMPLETE, S_OK,
               reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(sink.Get())));
  EXPECT_EQ(EC_COMPLETE, NextGraphEvent(graph.Get(), {}, 0).value_or(GraphEvent{}).code);
  ASSERT_EQ(S_OK, sink->Stop());  // as the graph's stop does first
  // A flush that ended leaves nothing behind: the next sample reaches the converter, still running.
  ASSERT_TRUE(input->BeginFlush() == S_OK && input->EndFlush() == S_OK);
  auto memInput = QueryAs<IMemInputPin>(input.Get());
  ComPtr<IMemAllocator> allocator;
  ASSERT_EQ(S_OK, memInput->GetAllocator(allocator.GetAddressOf()));
  ComPtr<IMediaSample> sample;
  ASSERT_EQ(S_OK, allocator->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, 0));
  EXPECT_EQ(VFW_E_NOT_COMMITTED, memInput->Receive(sample.Get()));
  EXPECT_FALSE(NextGraphEvent(graph.Get(), {}, 0));
  EXPECT_EQ(S_OK, control->Stop());
}

TEST(GraphRun, ARunningGraphRefusesChangesAndStopInterruptsAWaitOnTheClock) {
  Chain chain({.frameDuration = 36'000'000'000}, 1);
  ASSERT_TRUE(SUCCEEDED(chain.control->Run()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, chain.graph->RemoveFilter(chain.sink.Get()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, chain.graph->Disconnect(chain.sink->Input()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, QueryAs<IMediaFilter>(chain.graph.Get())->SetSyncSource(nullptr));
  // The second sample waits an hour on the clock; Stop must not.
  ASSERT_TRUE(WaitUntil([&] { return chain.sink->Count() >= 1; }));
  EXPECT_EQ(S_OK, chain.control->Stop());
  EXPECT_EQ(1, chain.sink->Count());
}

TEST(GraphRun, ThousandRunStopCyclesWhileStreaming) {
  Chain chain(TestPushSourceConfig{}, 1, -1, -1, false);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(SUCCEEDED(chain.control->Run())) << "cycle " << i;
    if (i % 100 == 0) {
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

// ---- Run state ----------------------------------------------------------------------------

// A filter without pins whose GetState while paused answers what the test sets; it may also
// report another state than its own, answer Pause and Stop with S_FALSE (a filter that gets
// there asynchronously, GetState then answering VFW_S_STATE_INTERMEDIATE), and keeps the start
// time of each Run.
class StateFilter : public CBaseFilter {
 public:
  explicit StateFilter(HRESULT answer) : CBaseFilter(L"State", GUID_NULL), answer_(answer) {}
  int GetPinCount() override { return 0; }
  CBasePin* GetPin(int) override { return nullptr; }
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override {
    if (timeout > 0) ++waitedOn;
    HRESULT hr = CBaseFilter::GetState(timeout, state);
    if (reported_ >= 0) *state = static_cast<FILTER_STATE>(reported_.load());
    if (stopping_) return VFW_S_STATE_INTERMEDIATE;
    return hr == S_OK && *state == State_Paused ? answer_.load() : hr;
  }
  STDMETHODIMP Pause() override {
    const HRESULT hr = CBaseFilter::Pause();
    return SUCCEEDED(hr) ? pauseAnswer_.load() : hr;
  }
  STDMETHODIMP Stop() override {
    const HRESULT hr = CBaseFilter::Stop();
    stopping_ = stopAnswer_ == S_FALSE;
    return SUCCEEDED(hr) ? stopAnswer_.load() : hr;
  }
  STDMETHODIMP Run(REFERENCE_TIME start) override {
    {
      std::lock_guard lock(runsMutex_);
      runs_.push_back(start);
    }
    return CBaseFilter::Run(start);
  }
  std::atomic<int> waitedOn{0};  // GetState calls that may wait for the state
  void Answer(HRESULT answer) { answer_.store(answer); }
  void Report(int state) { reported_ = state; }  // -1: its own
  void AnswerPauseAndStop(HRESULT answer) { pauseAnswer_ = stopAnswer_ = answer; }
  void Stopped() { stopping_ = false; }
  std::vector<REFERENCE_TIME> Runs() {
    std::lock_guard lock(runsMutex_);
    return runs_;
  }

 private:
  std::atomic<HRESULT> answer_;
  std::atomic<int> reported_{-1};
  std::atomic<HRESULT> pauseAnswer_{S_OK}, stopAnswer_{S_OK};
  std::atomic<bool> stopping_{false};
  std::mutex runsMutex_;
  std::vector<REFERENCE_TIME> runs_;
};

TEST(GraphRun, GetStateCombinesTheFiltersAnswers) {
  constexpr HRESULT kCueing = VFW_S_STATE_INTERMEDIATE;
  const struct {
    std::vector<HRESULT> answers;
    HRESULT state;  // the graph's GetState while paused
    HRESULT pause, run;
  } cases[] = {
      {{S_OK, S_OK}, S_OK, S_OK, S_OK},
      {{S_OK, kCueing}, kCueing, S_FALSE, S_FALSE},
      // A paused live source sends nothing: the renderers after it are not waited for.
      {{kCueing, VFW_S_CANT_CUE}, VFW_S_CANT_CUE, S_OK, S_OK},
      {{E_UNEXPECTED, VFW_S_CANT_CUE}, E_FAIL, S_OK, S_OK},
  };
  for (const auto& c : cases) {
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
  // A filter in another state than the graph's: on its way when paused, else wrong (the
  // graph's state is only compared with the filter's).
  const struct {
    FILTER_STATE graph, filter;
    HRESULT state;
  } mismatches[] = {{State_Running, State_Paused, kCueing}, {State_Running, State_Stopped, E_FAIL}};
  for (const auto& m : mismatches) {
    SCOPED_TRACE(testing::Message() << "graph " << m.graph << ", filter " << m.filter);
    auto graph = NewGraph();
    auto odd = MakeComObject<StateFilter>(S_OK);
    graph->AddFilter(odd.Get(), nullptr);
    auto control = QueryAs<IMediaControl>(graph.Get());
    ASSERT_EQ(S_OK, m.graph == State_Running  ? control->Run()
                    : m.graph == State_Paused ? control->Pause()
                                              : control->Stop());
    odd->Report(m.filter);
    OAFilterState state = State_Stopped;
    EXPECT_EQ(m.state, control->GetState(0, &state));
    EXPECT_EQ(m.graph, state);
    odd->Report(-1);
    EXPECT_EQ(S_OK, control->GetState(0, &state));
    EXPECT_EQ(S_OK, control->Stop());
  }
}

// Run answers S_FALSE and runs the filters once they have cued; a Pause, and a Stop, withdraw
// a run that is still waiting.
TEST(GraphRun, RunOnAGraphStillPausingRunsTheFiltersOnceTheyHaveCued) {
  auto graph = NewGraph();
  auto cueing = MakeComObject<StateFilter>(VFW_S_STATE_INTERMEDIATE);
  auto ready = MakeComObject<StateFilter>(S_OK);
  AddFilters(graph.Get(), {{cueing.Get(), L"Cueing"}, {ready.Get(), L"Ready"}});
  auto control = QueryAs<IMediaControl>(graph.Get());
  cueing->AnswerPauseAndStop(S_FALSE);
  EXPECT_EQ(S_FALSE, control->Run());
  OAFilterState state = State_Stopped;
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(0, &state));
  EXPECT_EQ(State_Running, state) << "the state the graph is going to";
  ASSERT_TRUE(WaitUntil([&] { return cueing->waitedOn > 0; })) << "waiting for it to cue";
  EXPECT_EQ(State_Paused, ready->State());
  EXPECT_EQ(S_FALSE, control->Run()) << "still pausing";
  cueing->Answer(S_OK);
  EXPECT_EQ(S_OK, control->GetState(INFINITE, &state)) << "once every filter runs";
  EXPECT_EQ(State_Running, ready->State());
  EXPECT_EQ(State_Running, cueing->State());
  EXPECT_EQ(ready->Runs(), cueing->Runs()) << "one start time, one Run each";
  EXPECT_EQ(ready->Runs().size(), 1u);
  // A filter that stops asynchronously: so does the graph.
  EXPECT_EQ(S_FALSE, control->Stop());
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(0, &state));
  EXPECT_EQ(State_Stopped, state);
  cueing->Stopped();
  EXPECT_EQ(S_OK, control->GetState(0, &state));
  cueing->AnswerPauseAndStop(S_OK);
  cueing->Answer(VFW_S_STATE_INTERMEDIATE);
  EXPECT_EQ(S_FALSE, control->Run());
  EXPECT_EQ(S_FALSE, control->Pause());
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(0, &state));
  EXPECT_EQ(State_Paused, state);
  EXPECT_EQ(S_OK, control->Stop());
  EXPECT_EQ(State_Stopped, cueing->State());
}

// Run straight from stopped passes through pause, as a graph's Run does. A Pause while a sample
// waits on the clock for its time turns the wait into the paused hold, which Stop releases; a
// first sample received while paused is held and cues the renderer.
TEST(GraphRun, APauseTurnsAWaitOnTheClockIntoAHoldThatStopReleases) {
  auto source = MakeComObject<TestPushSource>();
  auto sink = MakeComObject<RecordingSink>();
  ASSERT_EQ(S_OK, source->OutputPin()->Connect(sink->Input(), nullptr));
  auto input = QueryAs<IMemInputPin>(sink->Input());
  ComPtr<IMemAllocator> allocator;
  ASSERT_EQ(S_OK, input->GetAllocator(allocator.GetAddressOf()));
  ASSERT_EQ(S_OK, allocator->Commit());
  ComPtr<IMediaSample> sample;
  ASSERT_EQ(S_OK, allocator->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, 0));
  REFERENCE_TIME times[] = {10'000'000, 10'000'001};
  ASSERT_EQ(S_OK, sample->SetTime(&times[0], &times[1]));
  auto clock = MakeComObject<TestManualClock>();
  ASSERT_EQ(S_OK, sink->SetSyncSource(clock.Get()));
  EXPECT_EQ(S_OK, sink->Run(0));
  std::atomic<HRESULT> received{E_PENDING};
  std::thread upstream([&] { received = input->Receive(sample.Get()); });
  EXPECT_TRUE(WaitUntil([&] { return clock->PendingAdvises() == 1; })) << "waiting for its time";
  EXPECT_EQ(S_OK, sink->Pause()) << "cued by the sample it holds";
  EXPECT_TRUE(WaitUntil([&] { return clock->PendingAdvises() == 0; })) << "no longer on the clock";
  FILTER_STATE state = State_Stopped;
  EXPECT_TRUE(sink->GetState(0, &state) == S_OK && state == State_Paused);
  EXPECT_EQ(E_PENDING, received.load());
  EXPECT_EQ(S_OK, sink->Stop());
  upstream.join();
  EXPECT_EQ(S_OK, received.load());
  EXPECT_EQ(0, sink->Count()) << "released, not rendered";
  EXPECT_EQ(S_FALSE, sink->Pause()) << "not cued until a sample comes";
  std::thread held([&] { received = input->Receive(sample.Get()); });
  EXPECT_EQ(S_OK, sink->GetState(INFINITE, &state)) << "woken as the sample cues it, held";
  EXPECT_EQ(S_OK, sink->Stop());
  held.join();
  sample.Reset();
  source->OutputPin()->Disconnect();
  sink->Input()->Disconnect();
}

}  // namespace
}  // namespace vidorra::test
