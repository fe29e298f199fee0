// The V4L2 capture path: from the moment the capture thread dequeues a filled buffer to the
// moment the sample holding its picture reaches the renderer downstream, per frame, on a fake
// device streaming 1280x720 YUYV (the copy into the sample included). The graph runs without
// a clock, so the renderer takes each sample at once. Goal: under 0.3 ms a frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TestV4l2Fake.h"
#include "v4l2/V4l2Devices.h"

namespace {

using vidorra::devices::v4l2::V4l2Devices;
using vidorra::test::FakeNode;
using vidorra::test::FakeV4l2;

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
  auto fake = std::make_shared<FakeV4l2>();
  FakeNode node;
  node.devnode = "/dev/video0";
  node.card = "Bench Camera";
  node.busInfo = "usb-bench";
  node.formats = {{V4L2_PIX_FMT_YUYV, {{1280, 720}}, {{1, 30}}}};
  fake->Plug(node);
  V4l2Devices::Instance().UseForTesting(fake, fake);

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
      !SpinUntil([&] { return fake->Streaming("/dev/video0") && fake->Polling() > 0; })) {
    state.SkipWithError("the fake camera does not stream");
    return;
  }

  std::vector<double> micros;
  uint32_t sequence = 0;
  for (auto _ : state) {
    const int before = sink->Count();
    if (!SpinUntil([&] { return fake->Capture("/dev/video0", sequence); }) ||
        !SpinUntil([&] { return sink->Count() > before; })) {
      state.SkipWithError("a frame did not arrive");
      break;
    }
    ++sequence;
    const double elapsed = static_cast<double>(sink->LastArrival() - fake->LastDequeue()) * 1e-9;
    state.SetIterationTime(elapsed);
    micros.push_back(elapsed * 1e6);
  }
  QueryAs<IMediaControl>(graph.Get())->Stop();
  graph->RemoveFilter(source.Get());
  source = nullptr;
  V4l2Devices::Instance().UseForTesting(nullptr, nullptr);
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
