// The V4L2 capture path: from the moment the capture thread dequeues a filled buffer to the
// moment the sample holding its picture reaches the renderer downstream, per frame, on a
// replayed device streaming 1280x720 YUYV at 120 frames/s (the copy into the sample included). The graph runs without
// a clock, so the renderer takes each sample at once. Goal: under 0.3 ms a frame.
#include <benchmark/benchmark.h>
#include <streams.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "replay/ReplayedV4l2.h"
#include "v4l2/V4l2Devices.h"

namespace {

using vidorra::devices::v4l2::V4l2Devices;
using vidorra::devices::replay::ReplayedV4l2;

int64_t SteadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Notes when each sample arrives.
class TimingSink : public CBaseRenderer {
 public:
  TimingSink() : CBaseRenderer(L"Timing Sink", GUID_NULL) {}
  HRESULT CheckMediaType(const CMediaType* mt) override {
    return mt && mt->subtype == MEDIASUBTYPE_YUY2 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT DoRenderSample(IMediaSample*) override {
    lastArrival_ = SteadyNanos();
    ++count_;
    return S_OK;
  }
  IPin* Input() { return InputPin(); }
  int Count() const { return count_.load(); }
  int64_t LastArrival() const { return lastArrival_.load(); }

 private:
  std::atomic<int> count_{0};
  std::atomic<int64_t> lastArrival_{0};
};

template <class Condition>
bool SpinUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

void BM_V4l2DequeueToDelivered720p(benchmark::State& state) {
  auto kernel = std::make_shared<ReplayedV4l2>();
  kernel->Plug("/dev/video0", vidorra::devices::replay::ReadV4l2Description(
                                  "Driver Info:\n\tCard type : Bench Camera\n"
                                  "ioctl: VIDIOC_ENUM_FMT\n\t[0]: 'YUYV' (YUYV 4:2:2)\n"
                                  "\t\tSize: Discrete 1280x720\n"
                                  "\t\t\tInterval: Discrete 0.008s (120.000 fps)\n",
                                  "bench.txt"));
  std::atomic<int64_t> lastDequeue{0};  // when the last buffer was dequeued
  kernel->SetIoctlHook([&](unsigned long request, void*, int result) {
    if (request == VIDIOC_DQBUF && result == 0) lastDequeue = SteadyNanos();
    return result;
  });
  V4l2Devices::Instance().UseForTesting(kernel, kernel);

  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
  ComPtr<IBaseFilter> source;
  V4l2Devices::Instance().Devices().front().create(source.GetAddressOf());
  ComPtr<TimingSink> sink = MakeComObject<TimingSink>();
  graph->AddFilter(source.Get(), L"Camera");
  graph->AddFilter(sink.Get(), L"Sink");
  ComPtr<IEnumPins> pins;
  source->EnumPins(pins.GetAddressOf());
  ComPtr<IPin> output;
  pins->Next(1, output.GetAddressOf(), nullptr);
  if (FAILED(graph->ConnectDirect(output.Get(), sink->Input(), nullptr)) ||
      FAILED(QueryAs<IMediaControl>(graph.Get())->Run()) ||
      !SpinUntil([&] { return sink->Count() > 0; })) {
    state.SkipWithError("the replayed camera does not stream");
    return;
  }

  std::vector<double> micros;
  for (auto _ : state) {
    const int before = sink->Count();
    if (!SpinUntil([&] { return sink->Count() > before; })) {
      state.SkipWithError("a frame did not arrive");
      break;
    }
    const double elapsed = static_cast<double>(sink->LastArrival() - lastDequeue) * 1e-9;
    state.SetIterationTime(elapsed);
    micros.push_back(elapsed * 1e6);
  }
  QueryAs<IMediaControl>(graph.Get())->Stop();
  graph->RemoveFilter(source.Get());
  source = nullptr;
  V4l2Devices::Instance().UseForTesting(nullptr, nullptr);
  kernel->SetIoctlHook(nullptr);
  if (!micros.empty()) {
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
  }
}
BENCHMARK(BM_V4l2DequeueToDelivered720p)->UseManualTime()->Unit(benchmark::kMicrosecond)
    ->Iterations(600);

}  // namespace

BENCHMARK_MAIN();
