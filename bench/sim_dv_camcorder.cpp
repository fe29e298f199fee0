// A simulated DV camcorder streaming in real time on the system clock into a Null Renderer:
// the CPU the whole process spends per second of stream (the test pattern, the DV encoder,
// the sound written into the frames, delivery), as a share of one core. Goal: under 10 %.
// Each run streams kSeconds; the frames delivered are checked against real time.
#include <SimulatedMachine.h>
#include <benchmark/benchmark.h>
#include <qedit.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "BenchDevices.h"
#include "BenchTiming.h"
#include "FilterPins.h"

namespace {

using vidorra::bench::BindFirstVideoDevice;
using vidorra::bench::ProcessCpuSeconds;
using vidorra::test::CreateFilter;
using vidorra::test::PinAt;

constexpr int kSeconds = 4;
constexpr double kFramesPerSecond = 25.0;

void BM_SimulatedDvCamcorderCpuShare(benchmark::State& state) {
  const std::filesystem::path machine =
      std::filesystem::temp_directory_path() / "vidorra-bench-machine.txt";
  std::ofstream(machine) << "video dv Camcorder\n";
  ::setenv("VIDORRA_SIMULATION", machine.c_str(), 1);
  vidorra::win::SimulatedMachine::ReloadCurrentForTesting();

  double shares = 0, framesPerSecond = 0;
  int runs = 0;
  for (auto _ : state) {
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     graph.ReleaseAndGetVoidAddressOf());
    ComPtr<IBaseFilter> camcorder = BindFirstVideoDevice();
    ComPtr<IBaseFilter> sink = CreateFilter(CLSID_NullRenderer);
    if (!graph || !camcorder || !sink) {
      state.SkipWithError("no camcorder or graph");
      break;
    }
    graph->AddFilter(camcorder.Get(), L"Camcorder");
    graph->AddFilter(sink.Get(), L"Null Renderer");
    ComPtr<IPin> output = PinAt(camcorder.Get(), 0);
    if (graph->ConnectDirect(output.Get(), PinAt(sink.Get(), 0).Get(), nullptr) != S_OK) {
      state.SkipWithError("cannot connect");
      break;
    }
    ComPtr<IMediaControl> control = QueryAs<IMediaControl>(graph.Get());
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    control->Run();
    std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
    control->Stop();
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    long delivered = 0, dropped = 0;
    ComPtr<IAMDroppedFrames> frames = QueryAs<IAMDroppedFrames>(output.Get());
    frames->GetNumNotDropped(&delivered);
    frames->GetNumDropped(&dropped);
    std::printf("run %d: %.1f %% of a core, %ld frames delivered, %ld dropped in %.2f s\n", runs,
                100.0 * cpu / wall, delivered, dropped, wall);
    if (delivered > kFramesPerSecond * wall + 1) state.SkipWithError("faster than real time");
    shares += cpu / wall;
    framesPerSecond += delivered / wall;
    ++runs;
  }
  if (runs > 0) {
    state.counters["cpu_share_percent"] = 100.0 * shares / runs;
    state.counters["frames_per_second"] = framesPerSecond / runs;
  }
  ::unsetenv("VIDORRA_SIMULATION");
  std::filesystem::remove(machine);
}
BENCHMARK(BM_SimulatedDvCamcorderCpuShare)->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
