// Colour conversion speed: YUY2 -> RGB32 frames per second on one core through the platform's
// pixel converter, at 720 x 576 and 1280 x 720, against the ffmpeg command line converting the
// same frames in the same run (`ffmpeg -f rawvideo -pix_fmt yuyv422 ... -pix_fmt bgra -f null`).
// The ratio ours / ffmpeg is printed per size; the goal is at least 0.9.
//
// ffmpeg's rate is taken as the slope between a short and a long run so that its start-up
// time does not count against it. Both sides are measured in CPU time.
#include <PixelFormatConverter.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using vidorra::filters::FrameLayout;
using vidorra::filters::PixelFormat;
using vidorra::filters::PixelFormatConverter;

constexpr int kDistinctFrames = 10;
constexpr int kFfmpegShortLoops = 1;
constexpr int kFfmpegLongLoops = 40;
constexpr int kFfmpegAttempts = 3;

std::vector<BYTE> MakeYuy2Frames(int width, int height, int count) {
  const FrameLayout layout{PixelFormat::kYuy2, width, height, false};
  // Room after the last frame, as the filters' allocators give it, so the converter works in
  // place as it does in a graph.
  std::vector<BYTE> frames(layout.ImageSize() * count + PixelFormatConverter::kBufferPadding);
  uint32_t state = 12345;
  for (BYTE& b : frames) {
    state = state * 1103515245u + 12345u;
    b = static_cast<BYTE>(state >> 16);
  }
  return frames;
}

void BM_Yuy2ToRgb32(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const FrameLayout in{PixelFormat::kYuy2, width, height, false};
  const FrameLayout out{PixelFormat::kRgb32, width, height, false};
  const std::vector<BYTE> frames = MakeYuy2Frames(width, height, kDistinctFrames);
  std::vector<BYTE> picture(out.ImageSize() + PixelFormatConverter::kBufferPadding);
  PixelFormatConverter converter;
  if (!converter.Configure(in, out)) {
    state.SkipWithError("converter refused YUY2 -> RGB32");
    return;
  }
  int index = 0;
  for (auto _ : state) {
    const size_t offset = in.ImageSize() * index;
    converter.Convert(frames.data() + offset, frames.size() - offset, picture.data(),
                      picture.size());
    benchmark::DoNotOptimize(picture.data());
    index = (index + 1) % kDistinctFrames;
  }
  state.SetItemsProcessed(state.iterations());
}
// Best of three repetitions on each side: the machine is shared, so the fastest run is the
// one least disturbed by other work.
constexpr int kRepetitions = 3;
BENCHMARK(BM_Yuy2ToRgb32)
    ->Args({720, 576})
    ->Args({1280, 720})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);

// Keeps the best frames-per-second figure of each benchmark for the comparison.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("items_per_second");
      if (run.run_type != Run::RT_Iteration || it == run.counters.end()) continue;
      // "BM_Name/720/576/repeats:3" -> "BM_Name/720/576"
      std::string name = run.benchmark_name();
      name = name.substr(0, name.find("/repeats:"));
      double& best = rates[name];
      if (it->second.value > best) best = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;
};

// CPU seconds (user + system) ffmpeg spends converting the frame file `loops` times over, or a
// negative value. CPU time rather than wall time, like the benchmark's own figure, so that
// other work on the machine does not count against either side; the best of a few runs.
double CpuSeconds(const rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double TimeFfmpeg(const std::filesystem::path& file, int width, int height, int loops) {
  const std::string command =
      "ffmpeg -nostdin -hide_banner -loglevel error -threads 1 "
      "-filter_threads 1 -stream_loop " +
      std::to_string(loops - 1) + " -f rawvideo -pix_fmt yuyv422 -s " + std::to_string(width) +
      "x" + std::to_string(height) + " -i '" + file.string() +
      "' -pix_fmt bgra -f null - >/dev/null 2>&1";
  double best = -1.0;
  for (int attempt = 0; attempt < kFfmpegAttempts; ++attempt) {
    rusage before{};
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &before);
    const int status = std::system(command.c_str());
    getrusage(RUSAGE_CHILDREN, &after);
    if (status != 0) return -1.0;
    const double seconds = CpuSeconds(after) - CpuSeconds(before);
    if (best < 0 || seconds < best) best = seconds;
  }
  return best;
}

double FfmpegFramesPerSecond(int width, int height) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() /
      ("vidorra-colour-" + std::to_string(width) + "x" + std::to_string(height) + ".yuv");
  const std::vector<BYTE> frames = MakeYuy2Frames(width, height, kDistinctFrames);
  {
    std::ofstream out(file, std::ios::binary);
    const FrameLayout layout{PixelFormat::kYuy2, width, height, false};
    out.write(reinterpret_cast<const char*>(frames.data()),
              static_cast<std::streamsize>(layout.ImageSize() * kDistinctFrames));
  }
  const double shortRun = TimeFfmpeg(file, width, height, kFfmpegShortLoops);
  const double longRun = TimeFfmpeg(file, width, height, kFfmpegLongLoops);
  std::filesystem::remove(file);
  if (shortRun < 0 || longRun <= shortRun) return -1.0;
  const int extraFrames = (kFfmpegLongLoops - kFfmpegShortLoops) * kDistinctFrames;
  return extraFrames / (longRun - shortRun);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const std::pair<int, int> sizes[] = {{720, 576}, {1280, 720}};
  for (const auto& [width, height] : sizes) {
    const std::string name =
        "BM_Yuy2ToRgb32/" + std::to_string(width) + "/" + std::to_string(height);
    const auto ours = reporter.rates.find(name);
    if (ours == reporter.rates.end()) continue;
    const double theirs = FfmpegFramesPerSecond(width, height);
    if (theirs <= 0) {
      std::printf("%dx%d YUY2->RGB32: ours %.0f fps; ffmpeg not measured\n", width, height,
                  ours->second);
      continue;
    }
    const double ratio = ours->second / theirs;
    std::printf("%dx%d YUY2->RGB32: ours %.0f fps, ffmpeg %.0f fps, ratio %.2f (goal >= 0.9) %s\n",
                width, height, ours->second, theirs, ratio, ratio >= 0.9 ? "ok" : "BELOW GOAL");
  }
  benchmark::Shutdown();
  return 0;
}
