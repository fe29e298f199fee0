// Colour bars -> DV Video Encoder -> AVI Mux -> File writer, against
// `ffmpeg -f rawvideo ... -c:v dvvideo -threads 1 out.avi` on the same frames (one core each).
// Prints both times and the ratio (ffmpeg time / ours: above 1 means we are faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "../tests/filters/avi_test_support.h"
#include "FilterPins.h"
#include "avi/AviReader.h"
#include "dv/DvMediaTypes.h"

namespace {

using vidorra::test::Quote;
using vidorra::test::RunCommand;
using vidorra::test::TempDir;

constexpr int kFrames = 250;
constexpr int kWidth = 720, kHeight = 576;

// Pushes the same bars kFrames times, as fast as taken.
class BarsStream : public CSourceStream {
 public:
  BarsStream(CSource* filter, const std::vector<uint8_t>& bars)
      : CSourceStream(filter, L"Output"), bars_(bars) {}
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    *mt = vidorra::dv::PictureType(vidorra::dv::PictureFormat::kYuy2, kWidth, kHeight, 400000);
    return S_OK;
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    request->cBuffers = 2;
    request->cbBuffer = static_cast<long>(bars_.size());
    request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
  }
  HRESULT OnThreadCreate() override {
    frame_ = 0;
    return S_OK;
  }
  HRESULT FillBuffer(IMediaSample* sample) override {
    if (frame_ >= kFrames) return S_FALSE;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, bars_.data(), bars_.size());
    sample->SetActualDataLength(static_cast<long>(bars_.size()));
    REFERENCE_TIME start = frame_ * 400000LL, stop = start + 400000;
    sample->SetTime(&start, &stop);
    ++frame_;
    return S_OK;
  }

 private:
  const std::vector<uint8_t>& bars_;
  int frame_ = 0;
};

class BarsSource : public CSource {
 public:
  explicit BarsSource(const std::vector<uint8_t>& bars) : CSource(L"Bars", GUID_NULL) {
    AddPin(std::make_unique<BarsStream>(this, bars));
  }
};

using vidorra::test::CreateFilter;
using vidorra::test::PinAt;
using vidorra::test::RunToCompletion;

bool EncodeWithOurGraph(const std::vector<uint8_t>& bars, const std::string& aviPath) {
  ComPtr<IGraphBuilder> graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   graph.ReleaseAndGetVoidAddressOf());
  QueryAs<IMediaFilter>(graph.Get())->SetSyncSource(nullptr);
  auto source = MakeComObject<BarsSource>(bars);
  ComPtr<IBaseFilter> encoder = CreateFilter(CLSID_DVVideoEnc);
  ComPtr<IBaseFilter> mux = CreateFilter(CLSID_AviDest);
  ComPtr<IBaseFilter> writer = CreateFilter(CLSID_FileWriter);
  QueryAs<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToWide(aviPath).c_str(), nullptr);
  graph->AddFilter(source.Get(), L"Bars");
  graph->AddFilter(encoder.Get(), L"DV Video Encoder");
  graph->AddFilter(mux.Get(), L"AVI Mux");
  graph->AddFilter(writer.Get(), L"File writer");
  if (graph->ConnectDirect(PinAt(source.Get(), 0).Get(), PinAt(encoder.Get(), 0).Get(), nullptr) !=
          S_OK ||
      graph->ConnectDirect(PinAt(encoder.Get(), 1).Get(), PinAt(mux.Get(), 1).Get(), nullptr) !=
          S_OK ||
      graph->ConnectDirect(PinAt(mux.Get(), 0).Get(), PinAt(writer.Get(), 0).Get(), nullptr) !=
          S_OK) {
    return false;
  }
  return RunToCompletion(graph.Get(), 120000);
}

void BM_BarsToDvAvi(benchmark::State& state) {
  TempDir dir;
  const std::vector<uint8_t> bars = vidorra::test::Yuy2Bars(kWidth, kHeight, 0);
  const std::string rawPath = dir.File("bars.yuv");
  {
    std::ofstream out(rawPath, std::ios::binary);
    for (int i = 0; i < kFrames; ++i) {
      out.write(reinterpret_cast<const char*>(bars.data()),
                static_cast<std::streamsize>(bars.size()));
    }
  }
  double ours = 0, theirs = 0;
  int runs = 0;
  for (auto _ : state) {
    const std::string a = dir.File("ours.avi"), b = dir.File("ffmpeg.avi");
    std::remove(a.c_str());
    std::remove(b.c_str());
    const auto t0 = std::chrono::steady_clock::now();
    if (!EncodeWithOurGraph(bars, a)) state.SkipWithError("our graph failed");
    const auto t1 = std::chrono::steady_clock::now();
    int status = 0;
    RunCommand("ffmpeg -v error -threads 1 -f rawvideo -pix_fmt yuyv422 -s 720x576 -r 25 -i " +
                   Quote(rawPath) + " -c:v dvvideo -threads 1 " + Quote(b),
               &status);
    const auto t2 = std::chrono::steady_clock::now();
    if (status != 0) state.SkipWithError("ffmpeg failed");
    ours += std::chrono::duration<double>(t1 - t0).count();
    theirs += std::chrono::duration<double>(t2 - t1).count();
    ++runs;
    const auto info = vidorra::avi::AviReader::Read(a);
    if (!info || info->streams.empty() || info->streams[0].length != kFrames) {
      state.SkipWithError("our file does not hold every frame");
    }
  }
  state.counters["ours_s"] = ours / runs;
  state.counters["ffmpeg_s"] = theirs / runs;
  state.counters["ratio_ffmpeg_over_ours"] = theirs / ours;
  std::printf(
      "Bars -> DV encoder -> AVI (%d frames): ours %.3f s, ffmpeg dvvideo %.3f s, "
      "ratio %.2f\n",
      kFrames, ours / runs, theirs / runs, theirs / ours);
}
BENCHMARK(BM_BarsToDvAvi)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
