// The preview and the recording of the simulated DV camcorder as the program builds them (the
// data module's preview graph through the deinterlacer into a shown video window, offscreen,
// the camcorder's own DV coding included): the CPU the whole process spends per second of
// preview, the CPU a DV type 2 recording adds to it, and the time from the start of the preview
// build to the first picture in the window. Against the CPU per frame of
// `ffmpeg -threads 1 -i F -vf yadif -pix_fmt bgra -f null -` on PAL DV files made by ffmpeg's
// test sources (the slope between a 5 s and a 1 s file, so that ffmpeg's start-up falls out as
// our steady state has none), and with bwdif, our deinterlacer's own algorithm. Rounds
// interleave both sides; medians and the spread are reported. Goals: preview at most 1.5x
// ffmpeg's CPU per frame, recording at most 2 points of one core more, first picture under 1 s.
#include <SimulatedMachine.h>
#include <VideoRenderer.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "graph.h"

namespace {

constexpr int kSeconds = 5;
constexpr int kShortSeconds = 1;
constexpr double kFramesPerSecond = 25.0;

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs the Qt event loop for `seconds` (the window paints meanwhile); the loop sleeps between
// events, as the program's does.
void Pump(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

// The CPU (user + system) of a command and its children, in seconds.
double CommandCpuSeconds(const std::string& command) {
  rusage before{};
  getrusage(RUSAGE_CHILDREN, &before);
  if (std::system(command.c_str()) != 0) return -1;
  rusage after{};
  getrusage(RUSAGE_CHILDREN, &after);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
         seconds(before.ru_stime);
}

struct Engine {
  Engine() {
    std::ofstream(dir.filePath(QStringLiteral("machine")).toStdString())
        << "video dv Camcorder\naudio tone Micro\n";
    ::setenv("VIDORRA_SIMULATION", dir.filePath(QStringLiteral("machine")).toUtf8().constData(), 1);
    vidorra::win::SimulatedMachine::ReloadCurrentForTesting();
    module = std::make_unique<TdmCam>();
    window = std::make_unique<TVideoWindow>();
    window->SetName(QStringLiteral("vwEcran"));
    window->resize(384, 288);
    window->show();
    window->SetFilterGraph(module->fg);
    module->SelectVideoDevice(QStringLiteral("Camcorder"));
    // "Désentrelacer" ticked: the picture is deinterlaced, like ffmpeg's below.
    module->DeinterlacerInstalled = module->BindFilterByName(
        QStringLiteral("DirectShow Filters"), QStringLiteral("Pinnacle Video Deinterlacer"),
        module->Deinterlacer);
    module->UseDeinterlacer = module->DeinterlacerInstalled;
  }
  ~Engine() {
    module->fg->StopGraph();
    window.reset();
    module.reset();
  }
  long Presented() {
    auto* renderer = static_cast<vidorra::filters::CVideoRenderer*>(window->MemberFilter());
    return renderer == nullptr ? 0 : renderer->WindowForTesting()->FramesPresented();
  }
  QTemporaryDir dir;
  std::unique_ptr<TdmCam> module;
  std::unique_ptr<TVideoWindow> window;
};

void BM_PreviewAndRecordingOfTheDVCamcorder(benchmark::State& state) {
  int argc = 0;
  QApplication app(argc, nullptr);
  Engine engine;
  // A long file and a short one of the same first frames: ffmpeg's cost per frame is the slope
  // between them, so its process start-up falls out, as our in-process steady state has none.
  const std::string dv = engine.dir.filePath(QStringLiteral("pal.dv")).toStdString();
  const std::string shortDv = engine.dir.filePath(QStringLiteral("short.dv")).toStdString();
  auto make = [](int seconds, const std::string& path) {
    return "ffmpeg -v error -f lavfi -i testsrc2=size=720x576:rate=25 -t " +
           std::to_string(seconds) + " -c:v dvvideo -pix_fmt yuv420p -f dv -y " + path;
  };
  if (!engine.module->UseDeinterlacer) {
    state.SkipWithError("the deinterlacer is not installed");
    return;
  }
  if (std::system(make(kSeconds, dv).c_str()) != 0 ||
      std::system(make(kShortSeconds, shortDv).c_str()) != 0) {
    state.SkipWithError("ffmpeg could not make the DV files");
    return;
  }
  // ffmpeg's CPU per frame for a filter, from the long and the short file.
  auto ffmpegPerFrame = [&](const std::string& filter) {
    auto command = [&](const std::string& file) {
      return "ffmpeg -v error -threads 1 -i " + file + " -vf " + filter +
             " -pix_fmt bgra -f null -";
    };
    return (CommandCpuSeconds(command(dv)) - CommandCpuSeconds(command(shortDv))) /
           ((kSeconds - kShortSeconds) * kFramesPerSecond);
  };
  std::vector<double> overYadif, overBwdif, ourMs, yadifMs;
  double preview = 0, recording = 0, firstPicture = 0;
  int runs = 0;
  for (auto _ : state) {
    // Preview: from the start of the build to the first picture, then kSeconds of it.
    const auto start = std::chrono::steady_clock::now();
    engine.module->BuildPreviewGraph(engine.window->MemberFilter());
    engine.module->fg->RunGraph();
    const long shown = engine.Presented();
    while (engine.Presented() <= shown) {
      QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    firstPicture += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Pump(0.5);
    double cpu = ProcessCpuSeconds();
    Pump(kSeconds);
    const double share = (ProcessCpuSeconds() - cpu) / kSeconds;
    preview += share;
    // The same preview while a DV type 2 recording runs.
    engine.module->fg->StopGraph();
    const QString file = engine.dir.filePath(QStringLiteral("rec%1.avi").arg(runs));
    engine.module->RecordDVAudio = true;
    engine.module->BuildDVType2CaptureGraph(file);
    engine.module->fg->RunGraph();
    Pump(0.5);
    cpu = ProcessCpuSeconds();
    Pump(kSeconds);
    recording += (ProcessCpuSeconds() - cpu) / kSeconds;
    engine.module->fg->StopGraph();
    QFile::remove(file);
    const double ours = share / kFramesPerSecond;
    const double yadif = ffmpegPerFrame("yadif");
    const double bwdif = ffmpegPerFrame("bwdif");
    ourMs.push_back(ours * 1000);
    yadifMs.push_back(yadif * 1000);
    overYadif.push_back(ours / yadif);
    overBwdif.push_back(ours / bwdif);
    ++runs;
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto [lowest, highest] = std::minmax_element(overYadif.begin(), overYadif.end());
  state.counters["preview_cpu_share"] = preview / runs;
  state.counters["recording_added_points"] = (recording - preview) / runs * 100;
  state.counters["first_picture_ms"] = firstPicture / runs * 1000;
  state.counters["preview_ms_per_frame"] = median(ourMs);
  state.counters["ffmpeg_yadif_ms_per_frame"] = median(yadifMs);
  state.counters["over_yadif_median"] = median(overYadif);
  state.counters["over_yadif_lowest"] = *lowest;
  state.counters["over_yadif_highest"] = *highest;
  // Our deinterlacer's own algorithm: the same work on both sides.
  state.counters["over_bwdif_median"] = median(overBwdif);
}

BENCHMARK(BM_PreviewAndRecordingOfTheDVCamcorder)->Iterations(5)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
