// DV file -> AVI Mux -> File writer, against `ffmpeg -f dv -i F -c copy out.avi` on the same
// file. Prints both times and the ratio (ffmpeg time / ours: above 1 means we are faster).
#include <benchmark/benchmark.h>
#include <streams.h>
#include <vidorra_filters.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "../tests/filters/avi_test_support.h"
#include "FilterPins.h"
#include "avi/AviReader.h"

namespace {

using vidorra::test::DvFrameMaker;
using vidorra::test::Quote;
using vidorra::test::RunCommand;
using vidorra::test::TempDir;

constexpr int kFrames = 750;  // 30 s of PAL DV, 108 MB

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

using vidorra::test::CreateFilter;
using vidorra::test::PinAt;
using vidorra::test::RunToCompletion;

// Records the DV file into an AVI file through our graph; returns false on any failure.
bool RecordWithOurGraph(const std::string& dvPath, const std::string& aviPath) {
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);  // as fast as it goes
  ComPtr<IBaseFilter> source = CreateFilter(CLSID_DvFileSource);
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer = CreateFilter(CLSID_FileWriter);
  if (!graph || !source || !mux || !writer) return false;
  QueryAs<IFileSourceFilter>(source.Get())->Load(Utf8ToWide(dvPath).c_str(), nullptr);
  QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(aviPath).c_str(), nullptr);
  graph->AddFilter(source.Get(), L"Source");
  graph->AddFilter(mux.Get(), L"AVI Mux");
  graph->AddFilter(writer.Get(), L"File writer");
  if (graph->ConnectDirect(PinAt(source.Get(), 0).Get(), PinAt(mux.Get(), 1).Get(), nullptr) !=
          S_OK ||
      graph->ConnectDirect(PinAt(mux.Get(), 0).Get(), PinAt(writer.Get(), 0).Get(), nullptr) !=
          S_OK) {
    return false;
  }
  return RunToCompletion(graph.Get(), 60000);
}

void BM_DvFileToAvi(benchmark::State& state) {
  TempDir dir;
  const std::string dvPath = dir.File("in.dv");
  {
    DvFrameMaker maker;
    std::ofstream out(dvPath, std::ios::binary);
    for (int i = 0; i < kFrames; ++i) {
      const auto frame = maker.Frame(i);
      out.write(reinterpret_cast<const char*>(frame.data()),
                static_cast<std::streamsize>(frame.size()));
    }
  }
  double ours = 0, theirs = 0;
  int runs = 0;
  for (auto _ : state) {
    const std::string a = dir.File("ours.avi"), b = dir.File("ffmpeg.avi");
    std::remove(a.c_str());
    std::remove(b.c_str());
    const auto t0 = std::chrono::steady_clock::now();
    if (!RecordWithOurGraph(dvPath, a)) state.SkipWithError("our graph failed");
    const auto t1 = std::chrono::steady_clock::now();
    int status = 0;
    RunCommand("ffmpeg -v error -f dv -i " + Quote(dvPath) + " -c copy " + Quote(b), &status);
    const auto t2 = std::chrono::steady_clock::now();
    if (status != 0) state.SkipWithError("ffmpeg failed");
    ours += Seconds(t1 - t0);
    theirs += Seconds(t2 - t1);
    ++runs;
    const auto info = vidorra::avi::AviReader::Read(a);
    if (!info || info->streams.empty() || info->streams[0].length != kFrames) {
      state.SkipWithError("our file does not hold every frame");
    }
  }
  state.counters["ours_s"] = ours / runs;
  state.counters["ffmpeg_s"] = theirs / runs;
  state.counters["ratio_ffmpeg_over_ours"] = theirs / ours;
  std::printf("DV file -> AVI (%d frames): ours %.3f s, ffmpeg -c copy %.3f s, ratio %.2f\n",
              kFrames, ours / runs, theirs / runs, theirs / ours);
}
BENCHMARK(BM_DvFileToAvi)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
