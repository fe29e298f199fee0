// Samples per second through source -> 3 pass-through filters -> sink, with no clock: the
// per-sample cost of the graph machinery (allocators, delivery, locks, renderer checks).
// Goal: at least 100000 samples/s, so 60 fps HD leaves the cores to the codecs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "FilterPins.h"
#include "RecordingSink.h"
#include "TestPassThrough.h"
#include "TestPushSource.h"

namespace vidorra::test {
namespace {

constexpr int kPassThroughs = 3;
constexpr int kFramesPerRun = 20'000;
constexpr long kEventTimeoutMs = 60'000;

void BM_GraphThroughput(benchmark::State& state) {
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  TestPushSourceConfig config;
  config.frameCount = kFramesPerRun;
  config.mediaType = MakeTestVideoType(MEDIASUBTYPE_TestA, static_cast<long>(state.range(0)), 2);
  auto source = MakeComObject<TestPushSource>(config);
  auto sink = MakeComObject<RecordingSink>();
  graph->AddFilter(source.Get(), L"Source");
  ComPtr<IPin> out(source->OutputPin());
  std::vector<ComPtr<TestPassThrough>> middles;
  for (int i = 0; i < kPassThroughs; ++i) {
    middles.push_back(MakeComObject<TestPassThrough>());
    graph->AddFilter(middles.back().Get(), L"Pass");
    graph->ConnectDirect(out.Get(), PinAt(middles.back().Get(), 0).Get(), nullptr);
    out = PinAt(middles.back().Get(), 1);
  }
  graph->AddFilter(sink.Get(), L"Sink");
  if (FAILED(graph->ConnectDirect(out.Get(), sink->InputPinInterface(), nullptr))) {
    state.SkipWithError("cannot build the graph");
    return;
  }
  QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
  auto control = QueryAs<IMediaControl>(graph.Get());
  auto events = QueryAs<IMediaEventEx>(graph.Get());

  for (auto _ : state) {
    control->Run();
    long code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    if (events->GetEvent(&code, &p1, &p2, kEventTimeoutMs) != S_OK || code != EC_COMPLETE) {
      state.SkipWithError("the stream did not complete");
      break;
    }
    control->Stop();
  }
  state.SetItemsProcessed(state.iterations() * kFramesPerRun);
}

// Line width in pixels: 16-bit pixels, two lines a sample (tiny samples: machinery only).
// Samples per second of the process's CPU time (all its threads): on a machine shared with other
// work, wall time measures the other work too. Seven repetitions: the median and the spread
// (lowest, highest) are the figures to quote.
BENCHMARK(BM_GraphThroughput)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Repetitions(7)
    ->ComputeStatistics("min",
                        [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
    ->ComputeStatistics("max", [](const std::vector<double>& v) {
      return *std::max_element(v.begin(), v.end());
    });

}  // namespace
}  // namespace vidorra::test

BENCHMARK_MAIN();
