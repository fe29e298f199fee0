// How long the streaming thread stops at a split: a DV file played on the graph's clock (25
// frames/s, as a camcorder delivers) through a timing pass-through into AVI Mux -> File writer,
// the mux beginning a new file every 5 seconds (SplitAtNextFrame, asked for on the streaming
// thread just before the picture that begins the file: the old file's finish, the move to the
// next file and the new file's header all happen inside that picture's Receive). The goal is
// under 5 ms for the longest of them. Prints the longest and the median Receive of the pictures
// that began a file, and the longest and median of the others.
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

constexpr int kFramesPerFile = 125;

// Names the files out0.avi, out1.avi ... in a folder.
class FolderNamer : public CUnknown, public IAviFileNamer {
 public:
  explicit FolderNamer(const TempDir& dir) : dir_(dir) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IAviFileNamer) return GetInterface(static_cast<IAviFileNamer*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP NextFileName(const SYSTEMTIME*, LPOLESTR* name) override {
    *name = CoTaskMemStrDup(Utf8ToWide(dir_.File("out" + std::to_string(++count_) + ".avi")));
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  int Count() const { return count_; }

 private:
  const TempDir& dir_;
  int count_ = 0;  // the streaming thread's only
};

// Asks the mux for a new file before every kFramesPerFile-th picture and times each picture's
// way through the mux (the Deliver into its Receive), the split ones apart.
class SplitTimer : public TestPassThrough {
 public:
  void SetSplitter(IAviFileSplitter* splitter) { splitter_ = splitter; }
  HRESULT Receive(IMediaSample* sample) override {
    const bool split = ++frames_ % kFramesPerFile == 0;
    if (split) splitter_->SplitAtNextFrame();
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = TestPassThrough::Receive(sample);
    const double took =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    std::lock_guard lock(mutex_);
    (split ? split_ : other_).push_back(took);
    return hr;
  }
  std::vector<double> Sorted(bool split) {
    std::lock_guard lock(mutex_);
    std::vector<double> all = split ? split_ : other_;
    std::sort(all.begin(), all.end());
    return all;
  }

 private:
  ComPtr<IAviFileSplitter> splitter_;
  int frames_ = 0;
  std::mutex mutex_;
  std::vector<double> split_;
  std::vector<double> other_;
};

void BM_SplitStallRealTime(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0)) * 25;
  TempDir dir;
  const std::string dvPath = dir.File("in.dv");
  DvFrameMaker maker;
  WriteDvFile(dvPath, maker, frames);
  for (auto _ : state) {
    ComPtr<IBaseFilter> source = LoadedDvSource(dvPath);
    auto timer = MakeComObject<SplitTimer>();
    auto namer = MakeComObject<FolderNamer>(dir);
    RecordingGraph g;
    if (!source || FAILED(g.Build({source.Get(), timer.Get()})) ||
        FAILED(g.SetFile(dir.File("out0.avi")))) {
      state.SkipWithError("cannot build the graph");
      return;
    }
    ComPtr<IAviFileSplitter> splitter = QueryAs<IAviFileSplitter>(g.mux.Get());
    timer->SetSplitter(splitter.Get());
    if (!splitter || FAILED(splitter->SetFileNamer(namer.Get()))) {
      state.SkipWithError("the mux takes no namer");
      return;
    }
    if (!RunToCompletion(g.graph.Get(), static_cast<long>(state.range(0) + 60) * 1000)) {
      state.SkipWithError("the recording did not complete");
      return;
    }
    // Every file holds its frames.
    uint32_t recorded = 0;
    for (int i = 0; i <= namer->Count(); ++i) {
      const auto info = avi::AviReader::Read(dir.File("out" + std::to_string(i) + ".avi"));
      if (info && !info->streams.empty()) recorded += info->streams[0].length;
    }
    if (recorded != static_cast<uint32_t>(frames)) {
      state.SkipWithError("the files do not hold every frame");
      return;
    }
    const auto split = timer->Sorted(true), other = timer->Sorted(false);
    if (split.empty() || other.empty()) {
      state.SkipWithError("no split");
      return;
    }
    state.counters["split_max_ms"] = split.back();
    state.counters["other_max_ms"] = other.back();
    std::printf("%zu files at 25 frames/s: the picture that begins a file, max %.3f ms, median "
                "%.3f ms; the other %zu pictures, max %.3f ms, median %.3f ms\n",
                split.size() + 1, split.back(), split[split.size() / 2], other.size(),
                other.back(), other[other.size() / 2]);
  }
}
BENCHMARK(BM_SplitStallRealTime)
    ->Arg(60)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace vidorra::test

BENCHMARK_MAIN();
