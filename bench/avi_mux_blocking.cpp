// How long a Receive on the AVI Mux's input blocks while it records a real-time source: a DV
// file played on the graph's clock at 25 frames/s (as a camcorder delivers), through a timing
// pass-through, into AVI Mux -> File writer, for two minutes. A live source drops a frame when
// its delivery blocks for long; the goal is under 5 ms at the 99.9th percentile. Prints the
// 99.9th percentile, the maximum and the median of the Receive times.
#include <benchmark/benchmark.h>
#include <streams.h>
#include <vidorra_filters.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

#include "../tests/filters/avi_test_support.h"
#include "TestPassThrough.h"
#include "avi/AviReader.h"

namespace vidorra::test {
namespace {

// Times each sample's way through the mux downstream of it (the Deliver into its Receive).
class ReceiveTimer : public TestPassThrough {
 public:
  HRESULT Receive(IMediaSample* sample) override {
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = TestPassThrough::Receive(sample);
    const auto took = std::chrono::steady_clock::now() - start;
    std::lock_guard lock(mutex_);
    micros_.push_back(std::chrono::duration<double, std::micro>(took).count());
    return hr;
  }
  std::vector<double> Sorted() {
    std::lock_guard lock(mutex_);
    std::vector<double> all = micros_;
    std::sort(all.begin(), all.end());
    return all;
  }

 private:
  std::mutex mutex_;
  std::vector<double> micros_;
};

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const size_t i = std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()));
  return sorted[i];
}

void BM_MuxReceiveBlockingRealTime(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0)) * 25;
  TempDir dir;
  const std::string dvPath = dir.File("in.dv");
  DvFrameMaker maker;
  WriteDvFile(dvPath, maker, frames);
  for (auto _ : state) {
    const std::string aviPath = dir.File("out.avi");
    std::remove(aviPath.c_str());
    ComPtr<IBaseFilter> source = LoadedDvSource(dvPath);
    auto timer = MakeComObject<ReceiveTimer>();
    RecordingGraph g;
    // The graph's own clock paces the source: one frame every 40 ms.
    if (!source || FAILED(g.Build({source.Get(), timer.Get()})) || FAILED(g.SetFile(aviPath))) {
      state.SkipWithError("cannot build the graph");
      return;
    }
    if (!RunToCompletion(g.graph.Get(), static_cast<long>(state.range(0) + 60) * 1000)) {
      state.SkipWithError("the recording did not complete");
      return;
    }
    const auto info = avi::AviReader::Read(aviPath);
    if (!info || info->streams.empty() || info->streams[0].length != static_cast<uint32_t>(frames)) {
      state.SkipWithError("the file does not hold every frame");
      return;
    }
    const auto sorted = timer->Sorted();
    const double p999 = Percentile(sorted, 0.999) / 1000, max = sorted.back() / 1000,
                 median = Percentile(sorted, 0.5) / 1000;
    state.counters["p999_ms"] = p999;
    state.counters["max_ms"] = max;
    state.counters["median_ms"] = median;
    std::printf("Receive on the mux input, %zu samples at 25/s: median %.3f ms, 99.9th %.3f ms, "
                "max %.3f ms\n",
                sorted.size(), median, p999, max);
  }
}
BENCHMARK(BM_MuxReceiveBlockingRealTime)
    ->Arg(120)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace vidorra::test

BENCHMARK_MAIN();
